// The diagnostics library stand-in: what one report leaves on stderr and in the log file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "KXDIAG.h"

namespace {

class KxdiagTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_path = ::testing::TempDir() + "kxdiag_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
        std::remove(m_path.c_str());
        setenv("NORN_KXDIAG_LOG", m_path.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("NORN_KXDIAG_LOG");
        std::remove(m_path.c_str());
    }
    std::string Log() const {
        std::ifstream file(m_path, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    std::string m_path;
};

TEST_F(KxdiagTest, OneReportIsOneLogLineAndOneStderrLine) {
    const char* text = _Tarvo_formatErrorString("Unexpected exception");
    ASSERT_STREQ(text, "Unexpected exception");
    ::testing::internal::CaptureStderr();
    const int answer =
        _Tarvo_TestShowErrorDialogLogInfo2("CROTAccess", 212, "CROTAccess::NameToIfPointer", text);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, 0) << "never a debugger stop";
    EXPECT_EQ(Log(), "CROTAccess\t212\tCROTAccess::NameToIfPointer\tUnexpected exception\n");
    EXPECT_EQ(err, "KXDIAG CROTAccess(212) CROTAccess::NameToIfPointer: Unexpected exception\n");
}

TEST_F(KxdiagTest, ReportsAppendAndNullOrBrokenTextsStayOneLine) {
    EXPECT_STREQ(_Tarvo_formatErrorString(nullptr), "");
    _Tarvo_TestShowErrorDialogLogInfo2(nullptr, -1, nullptr, nullptr);
    _Tarvo_TestShowErrorDialogLogInfo2("a", 1, "b", "two\nlines\tand tab");
    EXPECT_EQ(Log(), "\t-1\t\t\na\t1\tb\ttwo lines and tab\n");
}

}  // namespace
