// Collects the figures of one run and, when the run is whole (no test filter), checks them
// against RELIABILITY.md (optimised builds only). NORN_RELIABILITY_UPDATE=1 skips that check: the
// report script sets it while it measures the figures it is about to write.
#include "reliability/ReliabilityFigures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

namespace norn::test {
namespace {

std::vector<std::pair<std::string, long long>>& Figures() {
    static std::vector<std::pair<std::string, long long>> figures;
    return figures;
}

// The figure's value, a new figure at 0.
long long& Figure(const std::string& name) {
    for (auto& [existing, value] : Figures()) {
        if (existing == name) return value;
    }
    return Figures().emplace_back(name, 0).second;
}

class CFiguresEnvironment : public ::testing::Environment {
public:
    void TearDown() override {
        std::printf("\nreliability figures:\n");
        for (const auto& [name, value] : Figures())
            std::printf("  %s: %lld\n", name.c_str(), value);
        // Every failure point of the contract is provoked, and each case passed.
        const long long total = Figure("failure points");
        const long long covered = Figure("failure points covered");
        std::printf("%lld of %lld failure points covered\n", covered, total);
        const bool unfiltered = ::testing::GTEST_FLAG(filter) == "*";
        EXPECT_TRUE(!unfiltered || covered == total) << "a failure point is not covered";
        WriteFiguresFile();
#ifdef NORN_RELIABILITY_CHECK_DOCUMENT
        const char* update = std::getenv("NORN_RELIABILITY_UPDATE");
        if (unfiltered && (update == nullptr || std::string(update) != "1")) CheckDocument();
#endif
    }

private:
    static void WriteFiguresFile() {
        const char* path = std::getenv("NORN_RELIABILITY_FIGURES");
        if (path == nullptr) return;
        std::ofstream out(path, std::ios::trunc);
        for (const auto& [name, value] : Figures()) out << name << '\t' << value << '\n';
    }
    // The document holds each figure as a table row "| name | value |".
    static void CheckDocument() {
        std::ifstream in(NORN_RELIABILITY_DOCUMENT);
        const std::string document{std::istreambuf_iterator<char>(in), {}};
        for (const auto& [name, value] : Figures()) {
            const std::string row = "| " + name + " | " + std::to_string(value) + " |";
            EXPECT_NE(document.find(row), std::string::npos)
                << "RELIABILITY.md does not hold \"" << row
                << "\": the suites measured a different figure; run `make reliability`";
        }
    }
};

[[maybe_unused]] ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new CFiguresEnvironment);

}  // namespace

void AddReliabilityFigure(const std::string& name, long long amount) {
    Figure(name) += amount;
}

}  // namespace norn::test
