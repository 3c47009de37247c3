// The event log: syslog always, plus one tab-separated line per event in the file that
// NORN_EVENT_LOG names.
#include <windows.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// A temporary directory with NORN_EVENT_LOG pointing into it and a registered source; all of it
// undone when the object goes out of scope.
class CEventLogFile {
public:
    CEventLogFile() {
        const char* previous = std::getenv("NORN_EVENT_LOG");
        if (previous != nullptr) m_previous = previous;
        char directory[] = "/tmp/norn_eventlog_XXXXXX";
        if (mkdtemp(directory) == nullptr) return;
        m_directory = directory;
        m_file = m_directory + "/events.log";
        setenv("NORN_EVENT_LOG", m_file.c_str(), 1);
        m_source = RegisterEventSourceW(nullptr, u"Tarvo_Orm");
    }
    ~CEventLogFile() {
        if (m_source != nullptr) {
            EXPECT_TRUE(DeregisterEventSource(m_source));
        }
        if (m_previous)
            setenv("NORN_EVENT_LOG", m_previous->c_str(), 1);
        else
            unsetenv("NORN_EVENT_LOG");
        unlink(m_file.c_str());
        rmdir(m_directory.c_str());
    }
    bool Ready() const { return m_source != nullptr; }
    const std::string& Directory() const { return m_directory; }
    const std::string& File() const { return m_file; }
    BOOL Report(WORD type, DWORD eventId, std::vector<LPCWSTR> strings) const {
        return ReportEventW(m_source, type, 0, eventId, nullptr, static_cast<WORD>(strings.size()),
                            0, strings.data(), nullptr);
    }
    std::string Contents() const {
        std::ifstream in(m_file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    HANDLE m_source = nullptr;
    std::string m_directory;
    std::string m_file;
    std::optional<std::string> m_previous;
};

TEST(ReportEventW, EachReportAppendsExactlyOneTabSeparatedLine) {
    CEventLogFile eventLog;
    ASSERT_TRUE(eventLog.Ready());
    ASSERT_TRUE(eventLog.Report(EVENTLOG_ERROR_TYPE, 0, {u"Error in Brightwork (Line 2489)"}));
    ASSERT_TRUE(eventLog.Report(EVENTLOG_ERROR_TYPE, 0, {u"Error in Brightwork (Line 2489)"}));
    const std::string line = "Tarvo_Orm\tERROR\t0\tError in Brightwork (Line 2489)\n";
    EXPECT_EQ(eventLog.Contents(), line + line);
}

TEST(ReportEventW, TypeWordsEventIdAndSeveralStrings) {
    CEventLogFile eventLog;
    ASSERT_TRUE(eventLog.Ready());
    const struct {
        WORD m_type;
        const char* m_word;
    } cases[] = {{EVENTLOG_SUCCESS, "SUCCESS"},      {EVENTLOG_ERROR_TYPE, "ERROR"},
                 {EVENTLOG_WARNING_TYPE, "WARNING"}, {EVENTLOG_INFORMATION_TYPE, "INFORMATION"},
                 {0x0008, "AUDIT_SUCCESS"},          {0x0010, "AUDIT_FAILURE"}};
    std::string expected;
    for (const auto& c : cases) {
        ASSERT_TRUE(eventLog.Report(c.m_type, 4294967295u, {u"Z\u00FCrich", u"", u"\xD834\xDD1E"}));
        expected += std::string("Tarvo_Orm\t") + c.m_word +
                    "\t4294967295\tZ\xC3\xBCrich\t\t\xF0\x9D\x84\x9E\n";
    }
    ASSERT_TRUE(eventLog.Report(EVENTLOG_INFORMATION_TYPE, 7, {}));
    EXPECT_EQ(eventLog.Contents(), expected + "Tarvo_Orm\tINFORMATION\t7\n");
}

TEST(ReportEventW, LineBreaksAndTabsInsideStringsStayOnOneLine) {
    CEventLogFile eventLog;
    ASSERT_TRUE(eventLog.Ready());
    ASSERT_TRUE(eventLog.Report(EVENTLOG_WARNING_TYPE, 12, {u"first\nsecond\tthird\r\n", u"last"}));
    EXPECT_EQ(eventLog.Contents(), "Tarvo_Orm\tWARNING\t12\tfirst second third  \tlast\n");
}

TEST(ReportEventW, ConcurrentReportsNeverInterleave) {
    CEventLogFile eventLog;
    ASSERT_TRUE(eventLog.Ready());
    const std::u16string text(2000, u'x');
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i)
                eventLog.Report(EVENTLOG_INFORMATION_TYPE, 1, {text.c_str()});
        });
    }
    for (auto& thread : threads) thread.join();
    std::istringstream lines(eventLog.Contents());
    const std::string expected = "Tarvo_Orm\tINFORMATION\t1\t" + std::string(2000, 'x');
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) ASSERT_EQ(line, expected);
    EXPECT_EQ(count, 200);
}

TEST(ReportEventW, WithoutNornEventLogOnlySyslogIsWritten) {
    CEventLogFile eventLog;
    ASSERT_TRUE(eventLog.Ready());
    unsetenv("NORN_EVENT_LOG");
    EXPECT_TRUE(eventLog.Report(EVENTLOG_ERROR_TYPE, 0, {u"syslog only"}));
    struct stat info {};
    EXPECT_NE(stat(eventLog.File().c_str(), &info), 0);
}

TEST(ReportEventW, UnopenableFileFailsWithLastError) {
    CEventLogFile eventLog;
    ASSERT_TRUE(eventLog.Ready());
    setenv("NORN_EVENT_LOG", (eventLog.Directory() + "/missing/events.log").c_str(), 1);
    SetLastError(0);
    EXPECT_FALSE(eventLog.Report(EVENTLOG_ERROR_TYPE, 0, {u"lost"}));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(ReportEventW, NullHandleFailsWithInvalidHandle) {
    LPCWSTR strings[] = {u"nowhere"};
    SetLastError(0);
    EXPECT_FALSE(ReportEventW(nullptr, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(DeregisterEventSource(nullptr));
}

TEST(RegisterEventSourceW, NeedsASourceNameAndTheLocalMachine) {
    SetLastError(0);
    EXPECT_EQ(RegisterEventSourceW(nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RegisterEventSourceW(u"\\\\remote", u"Tarvo_Orm"), nullptr);
}

}  // namespace
