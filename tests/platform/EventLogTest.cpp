// The event log: the calls' results as Windows gives them; under the layer also syslog always,
// plus one tab-separated line per event in the file that NORN_EVENT_LOG names.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ApiUnderTest.h"
#include "support/LogCapture.h"

namespace {

class EventSource : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(m_source, nullptr); }
    void TearDown() override {
        EXPECT_TRUE(m_source == nullptr || DeregisterEventSource(m_source));
    }
    BOOL Report(WORD type, DWORD eventId, std::vector<LPCWSTR> strings) const {
        return ReportEventW(m_source, type, 0, eventId, nullptr, static_cast<WORD>(strings.size()),
                            0, strings.data(), nullptr);
    }

    norn::test::CLogCapture m_log = norn::test::CLogCapture::EventLog();
    HANDLE m_source = RegisterEventSourceW(nullptr, OLESTR("Tarvo_Orm"));
};

// A source that is not registered is accepted, and every event type is reported. The layer's file,
// its stand-in for the Windows event log service, is checked after every report: each appends
// exactly one line, its tabs and line breaks turned into spaces.
TEST_F(EventSource, ReportsEveryTypeAsOneLinePerEvent) {
    const struct {
        WORD type;
        DWORD id;
        std::vector<LPCWSTR> strings;
        std::string line;
    } rows[] = {
        {EVENTLOG_ERROR_TYPE,
         0,
         {OLESTR("Error in Brightwork (Line 2489)")},
         "Tarvo_Orm\tERROR\t0\tError in Brightwork (Line 2489)"},
        {EVENTLOG_SUCCESS,
         4294967295u,
         {OLESTR("Z\u00FCrich"), OLESTR(""), OLESTR("\xD834\xDD1E")},
         "Tarvo_Orm\tSUCCESS\t4294967295\tZ\xC3\xBCrich\t\t\xF0\x9D\x84\x9E"},
        {EVENTLOG_WARNING_TYPE,
         12,
         {OLESTR("first\nsecond\tthird\r\n"), OLESTR("last")},
         "Tarvo_Orm\tWARNING\t12\tfirst second third  \tlast"},
        {EVENTLOG_INFORMATION_TYPE, 7, {}, "Tarvo_Orm\tINFORMATION\t7"},
    };
    std::vector<std::string> expected;
    for (const auto& row : rows) {
        ASSERT_TRUE(Report(row.type, row.id, row.strings)) << row.line;
        expected.push_back(row.line);
        if (m_log.Readable()) {
            EXPECT_EQ(m_log.Lines(), expected);
        }
    }
}

// The variable is read at each report, not remembered from the registration; without it (or
// empty) the event goes to syslog only.
TEST_F(EventSource, LayerFollowsNornEventLogAtEachReport) {
    NORN_LINUX_LAYER_ONLY("the event log file is the layer's");
    for (const char* value : {"", static_cast<const char*>(nullptr)}) {
        norn::test::SetLogVariable("NORN_EVENT_LOG", value);
        EXPECT_TRUE(Report(EVENTLOG_ERROR_TYPE, 0, {OLESTR("syslog only")}));
    }
    norn::test::SetLogVariable("NORN_EVENT_LOG", "/nonexistent/norn/events.log");
    SetLastError(0);
    EXPECT_FALSE(Report(EVENTLOG_ERROR_TYPE, 0, {OLESTR("lost")}));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
