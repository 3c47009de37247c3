// The catalogue's one test, run for every row of the subsystem tables.
#include "reliability/FailurePoints.h"

#include "files/DataFilePaths.h"
#include "reliability/ReliabilityFigures.h"

namespace norn::test {

TEST_P(FailurePointTest, EndsAsTheContractSays) {
    const CFailurePoint& point = GetParam();
    ResolveDataFilePaths();  // as a caller of the payload file writers has done
    for (const CStep& step : point.given) step(*this);
    Begin();
    m_run = Finish(Call(point.call, *this));
    EXPECT_EQ(m_run.result, point.result);
    std::vector<std::string> trail;
    for (const CExpectedReport& r : point.reports)
        trail.push_back(TrailEntry(r.code, r.line, r.hresult));
    ASSERT_EQ(m_run.trail, trail) << "the error manager's reports";
    EXPECT_TRUE(m_run.filesNamed) << "the reports' file";
    for (size_t i = 0; i < trail.size(); ++i) {
        if (point.reports[i].held < 0 || i >= m_run.held.size()) continue;
        EXPECT_EQ(m_run.held[i], point.reports[i].held) << "driver references at " << trail[i];
    }
    EXPECT_EQ(m_run.diagnostics, point.diagnostics) << "diagnostics library reports, by line";
    EXPECT_EQ(m_run.events, point.events);
    EXPECT_EQ(m_run.commits, point.commits);
    for (const CStep& step : point.then) step(*this);

    if (!HasFailure()) AddReliabilityFigure("failure points covered");
}

void CRowTable::operator()(const std::string& name, std::vector<CStep> rowGiven,
                           std::vector<CExpectedReport> reports, std::vector<CStep> rowThen,
                           std::vector<std::string> diagnostics) {
    rowGiven.insert(rowGiven.begin(), given.begin(), given.end());
    rowThen.insert(rowThen.begin(), then.begin(), then.end());
    rows.push_back(Point(prefix + name, call, std::move(rowGiven), result, std::move(reports),
                         std::move(rowThen), std::move(diagnostics)));
}

void PrintTo(const CFailurePoint& point, std::ostream* out) {
    *out << point.id;
}

std::string CaseName(const ::testing::TestParamInfo<CFailurePoint>& info) {
    return info.param.id;
}

std::vector<CFailurePoint> Catalogued(std::initializer_list<std::vector<CFailurePoint>> tables) {
    std::vector<CFailurePoint> rows;
    for (const auto& table : tables) rows.insert(rows.end(), table.begin(), table.end());
    AddReliabilityFigure("failure points", static_cast<long long>(rows.size()));
    return rows;
}

LONG FailurePointTest::ReadBack(bool (*reader)(BYTE**, ULONG*)) {
    BYTE* buffer = m_untouched;
    m_count = 0xFFFFFFFF;
    const bool read = reader(&buffer, &m_count);
    m_bufferLeftAlone = buffer == m_untouched;
    if (read) delete[] buffer;
    return read ? TRUE : FALSE;
}

}  // namespace norn::test
