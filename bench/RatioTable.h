// CRatioTable: the benchmarks' results as the tables that `make bench` prints. Benchmarks add
// their rows when they are registered; the reporter (Reporter()) passes every run on to the
// console and keeps each benchmark's time per call, and the floor's where the benchmark counts
// one (kFloorCounter): the median of the repetitions, or the one run when there are none. Times
// are wall-clock, since the floors' work is in the kernel.
//
// Ownership: the benchmarks register with the process's one object (Instance()); tests make
// their own. The reporter lives inside the table it fills.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace norn::bench {

// The counter in which an operation's benchmark reports its floor, in microseconds per call.
constexpr const char* kFloorCounter = "floor_us";

class CRatioTable {
public:
    static CRatioTable& Instance();
    CRatioTable() : m_reporter(*this) {}
    CRatioTable(const CRatioTable&) = delete;
    CRatioTable& operator=(const CRatioTable&) = delete;

    // An operation whose benchmark `name` times the module and counts the floor.
    void AddRow(const std::string& name, const std::string& label);
    // A benchmark shown on its own in a section: the error path, load and unload.
    void AddSingle(const std::string& section, const std::string& name, const std::string& label);

    benchmark::BenchmarkReporter& Reporter() { return m_reporter; }

    // The tables as Markdown; ratios above `goal` are marked. Operations that did not run
    // (filtered out, or failed) show "-".
    std::string Markdown(double goal) const;
    // The labels of the operations whose ratio is above `goal`.
    std::vector<std::string> AboveGoal(double goal) const;
    // True when some benchmark reported an error (an operation that failed).
    bool AnyFailed() const { return m_failed; }

private:
    class CReporter : public benchmark::ConsoleReporter {
    public:
        explicit CReporter(CRatioTable& table) : m_table(table) {}
        void ReportRuns(const std::vector<Run>& runs) override;

    private:
        CRatioTable& m_table;
    };
    struct CRow {
        std::string name;
        std::string label;
    };
    struct CTime {
        double seconds = -1.0;
        double floorSeconds = -1.0;
        bool median = false;
    };
    struct CSingle {
        std::string section;
        std::string name;
        std::string label;
    };

    void Keep(const benchmark::BenchmarkReporter::Run& run);
    // Seconds per call, or a negative value when the benchmark has no result.
    double Seconds(const std::string& name) const;
    double FloorSeconds(const std::string& name) const;
    double Ratio(const CRow& row) const;

    CReporter m_reporter;
    std::vector<CRow> m_rows;
    std::vector<CSingle> m_singles;
    std::map<std::string, CTime> m_times;
    bool m_failed = false;
};

}  // namespace norn::bench
