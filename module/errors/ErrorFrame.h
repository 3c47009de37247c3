// CErrorFrame: one catcher of CExceptionError on the calling thread's stack of catchers. It lives
// on the stack for the catcher's extent and links itself in and out. The checks tell the
// innermost frame of every error they raise before they throw it (OnRaise), so that a frame can
// report the error while the routine inside it still holds what it owns: C++ runs the
// destructors of the body before any handler.
//
// A frame is one of two kinds:
//   - an operation guard's (reports/OperationGuard.h): it reports under the routine's report code
//     through the report function the guard installs, once;
//   - a shielding frame, for a catcher that handles its errors itself (the Running Object Table
//     access reports to the diagnostics library): what is raised inside it reaches no guard's
//     report.
// The frame knows the report only as a function pointer, so that nothing here depends on where
// reports go. Not copyable.
#pragma once

#include "errors/ExceptionError.h"

// Reports one caught error under a report code; never throws.
using PFN_REPORT_ERROR = void (*)(const CExceptionError& error, const char* reportCode) noexcept;

class CErrorFrame {
public:
    // A shielding frame: reports nothing.
    CErrorFrame() noexcept : CErrorFrame(nullptr, nullptr) {}
    // A guard's frame: reports under reportCode through report.
    CErrorFrame(const char* reportCode, PFN_REPORT_ERROR report) noexcept;
    ~CErrorFrame();
    CErrorFrame(const CErrorFrame&) = delete;
    CErrorFrame& operator=(const CErrorFrame&) = delete;

    // Called by the checks just before they throw: the innermost frame, if it is a guard's,
    // reports the error now and remembers that it did.
    static void OnRaise(const CExceptionError& error) noexcept;

    // The guard's first handler: reports an error that was not reported when it was raised.
    void ReportIfNotYet(const CExceptionError& error) noexcept;

private:
    [[nodiscard]] bool Reports() const noexcept {
        return m_reportCode != nullptr && m_report != nullptr;
    }

    const char* m_reportCode;
    PFN_REPORT_ERROR m_report;
    bool m_reported = false;
    CErrorFrame* m_outer;
};
