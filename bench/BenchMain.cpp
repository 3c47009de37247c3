// norn_bench: the module's host operations timed against their POSIX floor, the cost of one
// reported failure, and the cost of loading the library. Prints Google Benchmark's own lines,
// then the tables; --table=FILE writes them to FILE as well. Exits 1 when an operation failed
// while it was being timed.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "BenchContext.h"
#include "HostBoundaryBenchmarks.h"
#include "MachineDescription.h"
#include "OperationBenchmarks.h"
#include "RatioTable.h"

namespace {

// The module's own work should be small next to the file system's.
constexpr double kRatioGoal = 1.5;

bool HasFlag(const std::vector<char*>& arguments, const char* flag) {
    for (const char* argument : arguments) {
        if (std::strncmp(argument, flag, std::strlen(flag)) == 0) return true;
    }
    return false;
}

// Five repetitions of 0.2 s each, reported as their median, unless the command line says
// otherwise; --table=FILE is ours and taken out.
std::vector<char*> Arguments(int argc, char** argv, std::string& tableFile) {
    static char minTime[] = "--benchmark_min_time=0.2";
    static char repetitions[] = "--benchmark_repetitions=5";
    static char aggregatesOnly[] = "--benchmark_report_aggregates_only=true";
    std::vector<char*> arguments;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--table=", 8) == 0) {
            tableFile = argv[i] + 8;
        } else {
            arguments.push_back(argv[i]);
        }
    }
    if (!HasFlag(arguments, "--benchmark_min_time")) arguments.push_back(minTime);
    if (!HasFlag(arguments, "--benchmark_repetitions")) {
        arguments.push_back(repetitions);
        arguments.push_back(aggregatesOnly);
    }
    return arguments;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace norn::bench;
    std::string tableFile;
    std::vector<char*> arguments = Arguments(argc, argv, tableFile);
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) return 2;

    RegisterLoadBenchmarks();
    RegisterOperationBenchmarks();
    RegisterErrorPathBenchmarks();
    CRatioTable& table = CRatioTable::Instance();
    try {
        benchmark::RunSpecifiedBenchmarks(&table.Reporter());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "norn_bench: %s\n", error.what());
        return 1;
    }

    const std::string text = "Measured on: " + MachineDescription(BenchDirectory()) + "\n\n" +
                             table.Markdown(kRatioGoal);
    std::printf("\n%s", text.c_str());
    for (const std::string& label : table.AboveGoal(kRatioGoal)) {
        std::printf("above the goal of %.1f: %s\n", kRatioGoal, label.c_str());
    }
    if (!tableFile.empty()) std::ofstream(tableFile) << text;
    if (table.AnyFailed()) {
        std::fprintf(stderr, "norn_bench: an operation failed while it was timed\n");
        return 1;
    }
    return 0;
}
