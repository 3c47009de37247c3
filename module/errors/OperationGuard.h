// The operation guard: the one frame around every host-facing operation and every guarded inner
// routine. Nothing raised inside crosses it:
//   - a CExceptionError is reported under the routine's report code ("F4", "D31",
//     "CreateDDSFile", ...), then the routine's clean-up runs and it returns its failure value;
//   - anything else (CAtlException for an allocation that failed, above all) gives the failure
//     value without a report.
// The report comes before the clean-up: while the error manager hears of the failure, the
// routine still holds its interfaces and the restore still has its batch open. C++ runs the
// destructors of the body before any handler, so the guard's frame makes the report at the
// moment the error is raised (the checks call CErrorFrame::OnRaise), and the handler only
// reports an error that reached it some other way. An export is the guard plus one call.
#pragma once

#include "errors/ErrorReport.h"

// CErrorFrame: one catcher of CExceptionError on the calling thread's stack of catchers; it
// lives on the stack for the catcher's extent and links itself in and out. A frame with a report
// code is an operation guard's; a frame without one shields a catcher that handles its errors
// itself (the Running Object Table access reports to the diagnostics library), so that what is
// raised inside it reaches no guard's report. Not copyable.
class CErrorFrame {
public:
    explicit CErrorFrame(const char* reportCode) noexcept;
    ~CErrorFrame();
    CErrorFrame(const CErrorFrame&) = delete;
    CErrorFrame& operator=(const CErrorFrame&) = delete;

    // Called by the checks just before they throw: the innermost frame, if it is a guard's,
    // reports the error now and remembers that it did.
    static void OnRaise(const CExceptionError& error) noexcept;

    // The guard's first handler: reports an error that was not reported when it was raised.
    void ReportIfNotYet(const CExceptionError& error) noexcept;

private:
    const char* m_reportCode;
    bool m_reported = false;
    CErrorFrame* m_outer;
};

template <class Result, class Body>
Result RunGuarded(const char* reportCode, Result failureValue, Body&& body) noexcept {
    CErrorFrame frame(reportCode);
    try {
        return body();
    } catch (const CExceptionError& error) {
        frame.ReportIfNotYet(error);
    } catch (...) {
    }
    return failureValue;
}
