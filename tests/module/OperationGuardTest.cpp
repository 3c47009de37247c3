// The operation guard: what a routine returns and reports when its body throws.
#include <atlexcept.h>

#include <gtest/gtest.h>

#include <new>

#include "errors/Checks.h"
#include "reports/OperationGuard.h"
#include "support/LogCapture.h"

using norn::test::CLogCapture;

namespace {

// No COM on this thread: the error manager cannot be found, so reports go to the event log. On
// Windows that is the system's, whose lines stay unread: the results are checked there alone.
class OperationGuardTest : public ::testing::Test {
protected:
    CLogCapture m_events = CLogCapture::EventLog();
};

TEST_F(OperationGuardTest, ResultOfABodyThatSucceedsPassesThrough) {
    EXPECT_EQ(RunGuarded<int>("F4", 1, [] { return 0; }), 0);
    if (m_events.Readable()) {
        EXPECT_TRUE(m_events.Lines().empty());
    }
}

TEST_F(OperationGuardTest, ExceptionErrorIsReportedOnceAndGivesTheFailureValue) {
    const int result = RunGuarded<int>("F4", 1, []() -> int {
        ThrowFail({kModuleSourceFile, 2489});
    });
    EXPECT_EQ(result, 1);
    if (!m_events.Readable()) {
        GTEST_SKIP() << "the event log is the system's; its lines stay unread";
    }
    const auto lines = m_events.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Tarvo_Orm\tERROR\t0\tError in Brightwork (Line 2489)");
}

TEST_F(OperationGuardTest, OtherExceptionsGiveTheFailureValueWithoutAReport) {
    EXPECT_EQ(
        RunGuarded<bool>("CreateMACFile", false, []() -> bool { ATL::AtlThrow(E_OUTOFMEMORY); }),
        false);
    EXPECT_EQ(RunGuarded<IUnknown*>("GetIfPointer", nullptr,
                                    []() -> IUnknown* { throw std::bad_alloc(); }),
              nullptr);
    EXPECT_EQ(RunGuarded<int>("D4", 1, []() -> int { throw 42; }), 1);
    if (m_events.Readable()) {
        EXPECT_TRUE(m_events.Lines().empty()) << "no report";
    }
}

}  // namespace
