// The operation guard: what a routine returns and reports when its body throws. A
// CExceptionError is reported once, whether its failure point reported it at the raise or it
// reached the guard unreported; anything else gives the failure value without a report.
#include <atlexcept.h>

#include <gtest/gtest.h>

#include <functional>
#include <new>

#include "errors/Checks.h"
#include "reports/OperationGuard.h"
#include "support/LogCapture.h"

namespace {

// No COM on this thread: the error manager cannot be found, so reports go to the event log. On
// Windows that is the system's, whose lines stay unread: the results are checked there alone.
TEST(OperationGuardTest, ReportsEachExceptionErrorOnceAndNothingElse) {
    const struct {
        const char* body;
        std::function<int()> run;
        int result;
        size_t reports;
    } rows[] = {
        {"returns", [] { return 0; }, 0, 0},
        {"raises",
         []() -> int {
             ThrowFail({kModuleSourceFile, 2489});
         },
         1, 1},
        {"throws directly", []() -> int { throw CExceptionError(E_FAIL, kModuleSourceFile, 2489); },
         1, 1},
        {"runs out of memory", []() -> int { ATL::AtlThrow(E_OUTOFMEMORY); }, 1, 0},
        {"throws std::bad_alloc", []() -> int { throw std::bad_alloc(); }, 1, 0},
        {"throws anything", []() -> int { throw 42; }, 1, 0},
    };
    for (const auto& row : rows) {
        const auto events = norn::test::CLogCapture::EventLog();
        EXPECT_EQ(RunGuarded<int>("F4", 1, row.run), row.result) << row.body;
        if (!events.Readable()) continue;
        const auto lines = events.Lines();
        EXPECT_EQ(lines.size(), row.reports) << row.body;
        for (const auto& line : lines) {
            EXPECT_EQ(line, "Tarvo_Orm\tERROR\t0\tError in Brightwork (Line 2489)") << row.body;
        }
    }
}

}  // namespace
