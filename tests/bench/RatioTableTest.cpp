#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "RatioTable.h"

namespace norn::bench {
namespace {

using BenchRun = benchmark::BenchmarkReporter::Run;

// A run as the benchmark library reports it, its counters already per call; a negative floor
// leaves the floor's counter out.
BenchRun MakeRun(const std::string& name, double microseconds, const char* aggregate = nullptr,
                 double floorMicroseconds = -1) {
    BenchRun run;
    if (floorMicroseconds >= 0) run.counters[kFloorCounter] = floorMicroseconds;
    run.run_name.function_name = name;
    run.time_unit = benchmark::kMicrosecond;
    run.iterations = 1;
    run.real_accumulated_time = microseconds * 1e-6;
    if (aggregate != nullptr) {
        run.run_type = BenchRun::RT_Aggregate;
        run.aggregate_name = aggregate;
    }
    return run;
}

class RatioTable : public ::testing::Test {
protected:
    RatioTable() { m_table.Reporter().SetOutputStream(&m_console); }

    void Report(const std::vector<BenchRun>& runs) { m_table.Reporter().ReportRuns(runs); }
    std::string Markdown() const { return m_table.Markdown(1.5); }

    std::ostringstream m_console;
    CRatioTable m_table;
};

// The operations' table: of repetitions the median counts, not the mean, the spread or a single
// repetition reported before or after it; a ratio above the goal (not one at it) is marked and
// listed; a missing floor or result shows "-". Every run reaches the console too.
TEST_F(RatioTable, TakesMediansMarksRatiosAboveTheGoalAndShowsMissingResults) {
    m_table.AddRow("F3", "F3 backup");
    m_table.AddRow("F2", "F2 restore");
    m_table.AddRow("F8", "F8 erase");
    m_table.AddRow("F4", "F4 serial number");
    Report({MakeRun("F3", 10, nullptr, 1), MakeRun("F3", 30, "median", 20),
            MakeRun("F3", 99, "mean", 99), MakeRun("F3", 1, "stddev", 1),
            MakeRun("F3", 12, nullptr, 1), MakeRun("F2", 31, nullptr, 20), MakeRun("F8", 5)});
    const std::string text = Markdown();
    for (const char* row :
         {"| F3 backup | 30.00 µs | 20.00 µs | 1.50 |\n",
          "| F2 restore | 31.00 µs | 20.00 µs | 1.55 (above 1.5) |\n",
          "| F8 erase | 5.00 µs | - | - |\n", "| F4 serial number | - | - | - |\n"}) {
        EXPECT_NE(text.find(row), std::string::npos) << text;
    }
    EXPECT_EQ(m_table.AboveGoal(1.5), std::vector<std::string>{"F2 restore"});
    EXPECT_NE(m_console.str().find("F3"), std::string::npos) << "runs reach the console";
}

// Singles stand under one heading per section; a failed run counts as a failure, not as a time.
TEST_F(RatioTable, GroupsSinglesPerSectionAndCountsAFailedRunAsFailure) {
    m_table.AddSingle("load", "cold", "Qt too");
    m_table.AddSingle("load", "warm", "Qt resident");
    m_table.AddSingle("errors", "manager", "to the error manager");
    m_table.AddSingle("errors", "failure", "one failure");
    Report({MakeRun("cold", 4000), MakeRun("warm", 250), MakeRun("manager", 80)});
    EXPECT_FALSE(m_table.AnyFailed());
    BenchRun failed = MakeRun("failure", 1);
    failed.error_occurred = true;
    Report({failed});
    EXPECT_TRUE(m_table.AnyFailed());
    EXPECT_NE(
        Markdown().find("\n| load | time per call |\n|---|---:|\n| Qt too | 4000.00 µs |\n| "
                        "Qt resident | 250.00 µs |\n\n| errors | time per call |\n|---|---:|\n"
                        "| to the error manager | 80.00 µs |\n| one failure | - |\n"),
        std::string::npos)
        << Markdown();
}

}  // namespace
}  // namespace norn::bench
