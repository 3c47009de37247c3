#include "RatioTable.h"

#include <cstdio>

namespace norn::bench {

CRatioTable& CRatioTable::Instance() {
    static CRatioTable table;
    return table;
}

void CRatioTable::AddRow(const std::string& name, const std::string& label) {
    m_rows.push_back({name, label});
}

void CRatioTable::AddSingle(const std::string& section, const std::string& name,
                            const std::string& label) {
    m_singles.push_back({section, name, label});
}

void CRatioTable::CReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) m_table.Keep(run);
    ConsoleReporter::ReportRuns(runs);
}

void CRatioTable::Keep(const benchmark::BenchmarkReporter::Run& run) {
    if (run.error_occurred) {
        m_failed = true;
        return;
    }
    using Run = benchmark::BenchmarkReporter::Run;
    const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
    if (!median && run.run_type != Run::RT_Iteration) return;  // mean, stddev, ...
    CTime& kept = m_times[run.run_name.function_name];
    if (kept.median && !median) return;  // the median of the repetitions wins over one run
    auto floor = run.counters.find(kFloorCounter);
    kept = {run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit),
            floor != run.counters.end() ? floor->second.value * 1e-6 : -1.0, median};
}

double CRatioTable::Seconds(const std::string& name) const {
    auto found = m_times.find(name);
    return found != m_times.end() ? found->second.seconds : -1.0;
}

double CRatioTable::FloorSeconds(const std::string& name) const {
    auto found = m_times.find(name);
    return found != m_times.end() ? found->second.floorSeconds : -1.0;
}

double CRatioTable::Ratio(const CRow& row) const {
    const double module = Seconds(row.name);
    const double floor = FloorSeconds(row.name);
    return module > 0 && floor > 0 ? module / floor : -1.0;
}

namespace {

std::string Format(const char* format, double value) {
    if (value < 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Microseconds(double seconds) {
    return seconds < 0 ? "-" : Format("%.2f µs", seconds * 1e6);
}

}  // namespace

std::vector<std::string> CRatioTable::AboveGoal(double goal) const {
    std::vector<std::string> labels;
    for (const CRow& row : m_rows) {
        if (Ratio(row) > goal) labels.push_back(row.label);
    }
    return labels;
}

std::string CRatioTable::Markdown(double goal) const {
    std::string text = "| operation | time per call | floor | ratio |\n|---|---:|---:|---:|\n";
    for (const CRow& row : m_rows) {
        const double ratio = Ratio(row);
        text += "| " + row.label + " | " + Microseconds(Seconds(row.name)) + " | " +
                Microseconds(FloorSeconds(row.name)) + " | " + Format("%.2f", ratio) +
                (ratio > goal ? " (above " + Format("%.1f", goal) + ")" : "") + " |\n";
    }
    std::string section;
    for (const CSingle& single : m_singles) {
        if (single.section != section) {
            section = single.section;
            text += "\n| " + section + " | time per call |\n|---|---:|\n";
        }
        text += "| " + single.label + " | " + Microseconds(Seconds(single.name)) + " |\n";
    }
    return text;
}

}  // namespace norn::bench
