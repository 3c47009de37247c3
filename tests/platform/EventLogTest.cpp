// The event log: the calls' results as Windows gives them; under the layer also syslog always,
// plus one tab-separated line per event in the file that NORN_EVENT_LOG names.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/ApiUnderTest.h"
#if !defined(_WIN32)
#include "support/LogCapture.h"
#endif

using norn::test::OleString;

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

    HANDLE m_source = RegisterEventSourceW(nullptr, OLESTR("Tarvo_Orm"));
};

// A source that is not registered is accepted, and every event type is reported.
TEST_F(EventSource, ReportsEveryTypeForAnUnregisteredSource) {
    const WORD types[] = {EVENTLOG_ERROR_TYPE,
                          EVENTLOG_WARNING_TYPE,
                          EVENTLOG_INFORMATION_TYPE,
                          EVENTLOG_SUCCESS,
                          0x0008,
                          0x0010};
    for (const WORD type : types) {
        EXPECT_TRUE(Report(type, 7, {OLESTR("Error in Brightwork (Line 2489)")})) << type;
    }
    EXPECT_TRUE(Report(EVENTLOG_ERROR_TYPE, 0, {}));
}

// The file is the layer's stand-in for the Windows event log service; Windows has no such file.
#if !defined(_WIN32)
class EventLog : public EventSource {
protected:
    norn::test::CLogCapture m_log = norn::test::CLogCapture::EventLog();
};

// The file is checked after every report, so each must append exactly one line.
TEST_F(EventLog, AppendsOneTabSeparatedLinePerEvent) {
    std::vector<std::string> expected;
    const auto check = [&](WORD type, DWORD id, std::vector<LPCWSTR> strings, std::string line) {
        ASSERT_TRUE(Report(type, id, strings));
        expected.push_back(line);
        EXPECT_EQ(m_log.Lines(), expected);
    };
    check(EVENTLOG_ERROR_TYPE, 0, {OLESTR("Error in Brightwork (Line 2489)")},
          "Tarvo_Orm\tERROR\t0\tError in Brightwork (Line 2489)");
    check(EVENTLOG_SUCCESS, 4294967295u,
          {OLESTR("Z\u00FCrich"), OLESTR(""), OLESTR("\xD834\xDD1E")},
          "Tarvo_Orm\tSUCCESS\t4294967295\tZ\xC3\xBCrich\t\t\xF0\x9D\x84\x9E");
    check(EVENTLOG_WARNING_TYPE, 12, {OLESTR("first\nsecond\tthird\r\n"), OLESTR("last")},
          "Tarvo_Orm\tWARNING\t12\tfirst second third  \tlast");
    check(EVENTLOG_INFORMATION_TYPE, 7, {}, "Tarvo_Orm\tINFORMATION\t7");
    check(0x0008, 1, {OLESTR("a")}, "Tarvo_Orm\tAUDIT_SUCCESS\t1\ta");
    check(0x0010, 1, {OLESTR("a")}, "Tarvo_Orm\tAUDIT_FAILURE\t1\ta");
}

TEST_F(EventLog, ConcurrentReportsNeverInterleave) {
    const OleString text(2000, OLESTR('x'));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) Report(EVENTLOG_INFORMATION_TYPE, 1, {text.c_str()});
        });
    }
    for (auto& thread : threads) thread.join();
    const std::string line = "Tarvo_Orm\tINFORMATION\t1\t" + std::string(2000, 'x');
    EXPECT_EQ(m_log.Lines(), std::vector<std::string>(200, line));
}

// The variable is read at each report, not remembered from the registration.
TEST_F(EventLog, FollowsNornEventLogAtEachReport) {
    unsetenv("NORN_EVENT_LOG");
    EXPECT_TRUE(Report(EVENTLOG_ERROR_TYPE, 0, {OLESTR("syslog only")}));
    EXPECT_TRUE(m_log.Lines().empty());
    setenv("NORN_EVENT_LOG", "/nonexistent/norn/events.log", 1);
    SetLastError(0);
    EXPECT_FALSE(Report(EVENTLOG_ERROR_TYPE, 0, {OLESTR("lost")}));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}
#endif

TEST(EventSourceCalls, InvalidHandlesAndNamesFail) {
    if (norn::test::UnderWine()) GTEST_SKIP() << "Wine's event log calls accept any handle";
    LPCWSTR strings[] = {OLESTR("nowhere")};
    SetLastError(0);
    EXPECT_FALSE(ReportEventW(nullptr, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(DeregisterEventSource(nullptr));
    SetLastError(0);
    EXPECT_EQ(RegisterEventSourceW(nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RegisterEventSourceW(OLESTR("\\\\remote"), OLESTR("Tarvo_Orm")), nullptr);
}

}  // namespace
