// The event log: syslog always, plus one tab-separated line per event in the file that
// NORN_EVENT_LOG names.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/LogCapture.h"

namespace {

class EventLog : public ::testing::Test {
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
    HANDLE m_source = RegisterEventSourceW(nullptr, u"Tarvo_Orm");
};

// The file is checked after every report, so each must append exactly one line.
TEST_F(EventLog, AppendsOneTabSeparatedLinePerEvent) {
    std::vector<std::string> expected;
    const auto check = [&](WORD type, DWORD id, std::vector<LPCWSTR> strings, std::string line) {
        ASSERT_TRUE(Report(type, id, strings));
        expected.push_back(line);
        EXPECT_EQ(m_log.Lines(), expected);
    };
    check(EVENTLOG_ERROR_TYPE, 0, {u"Error in Brightwork (Line 2489)"},
          "Tarvo_Orm\tERROR\t0\tError in Brightwork (Line 2489)");
    check(EVENTLOG_SUCCESS, 4294967295u, {u"Z\u00FCrich", u"", u"\xD834\xDD1E"},
          "Tarvo_Orm\tSUCCESS\t4294967295\tZ\xC3\xBCrich\t\t\xF0\x9D\x84\x9E");
    check(EVENTLOG_WARNING_TYPE, 12, {u"first\nsecond\tthird\r\n", u"last"},
          "Tarvo_Orm\tWARNING\t12\tfirst second third  \tlast");
    check(EVENTLOG_INFORMATION_TYPE, 7, {}, "Tarvo_Orm\tINFORMATION\t7");
    check(0x0008, 1, {u"a"}, "Tarvo_Orm\tAUDIT_SUCCESS\t1\ta");
    check(0x0010, 1, {u"a"}, "Tarvo_Orm\tAUDIT_FAILURE\t1\ta");
}

TEST_F(EventLog, ConcurrentReportsNeverInterleave) {
    const std::u16string text(2000, u'x');
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
    EXPECT_TRUE(Report(EVENTLOG_ERROR_TYPE, 0, {u"syslog only"}));
    EXPECT_TRUE(m_log.Lines().empty());
    setenv("NORN_EVENT_LOG", "/nonexistent/norn/events.log", 1);
    SetLastError(0);
    EXPECT_FALSE(Report(EVENTLOG_ERROR_TYPE, 0, {u"lost"}));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(EventSource, InvalidHandlesAndNamesFail) {
    LPCWSTR strings[] = {u"nowhere"};
    SetLastError(0);
    EXPECT_FALSE(ReportEventW(nullptr, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(DeregisterEventSource(nullptr));
    SetLastError(0);
    EXPECT_EQ(RegisterEventSourceW(nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RegisterEventSourceW(u"\\\\remote", u"Tarvo_Orm"), nullptr);
}

}  // namespace
