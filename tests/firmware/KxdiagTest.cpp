// The diagnostics library stand-in: what one report leaves on stderr and in the log file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KXDIAG.h"
#include "support/LogCapture.h"

namespace {

TEST(Kxdiag, EachReportIsOneLogLineAndOneStderrLine) {
    const auto log = norn::test::CLogCapture::Diagnostics();
    const char* text = _Tarvo_formatErrorString("Unexpected exception");
    ASSERT_STREQ(text, "Unexpected exception");
    ::testing::internal::CaptureStderr();
    const int answer =
        _Tarvo_TestShowErrorDialogLogInfo2("CROTAccess", 212, "CROTAccess::NameToIfPointer", text);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "KXDIAG CROTAccess(212) CROTAccess::NameToIfPointer: Unexpected exception\n");
    EXPECT_EQ(answer, 0) << "never a debugger stop";
    EXPECT_STREQ(_Tarvo_formatErrorString(nullptr), "");
    _Tarvo_TestShowErrorDialogLogInfo2(nullptr, -1, nullptr, nullptr);
    _Tarvo_TestShowErrorDialogLogInfo2("a", 1, "b", "two\nlines\tand tab");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "CROTAccess\t212\tCROTAccess::NameToIfPointer\tUnexpected exception",
                               "\t-1\t\t", "a\t1\tb\ttwo lines and tab"}));
}

}  // namespace
