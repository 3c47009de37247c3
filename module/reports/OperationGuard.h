// The operation guard: the one frame around every host-facing operation and every guarded inner
// routine. Nothing raised inside crosses it:
//   - a CExceptionError is reported under the routine's report code ("F4", "D31",
//     "CreateDDSFile", ...), then the routine's clean-up runs and it returns its failure value;
//   - anything else (CAtlException for an allocation that failed, above all) gives the failure
//     value without a report.
// The report comes before the clean-up: while the error manager hears of the failure, the
// routine still holds its interfaces and the restore still has its batch open. The guard's frame
// (errors/ErrorFrame.h) makes the report at the moment the error is raised, and the handler only
// reports an error that reached it some other way. An export is the guard plus one call.
#pragma once

#include "errors/ErrorFrame.h"
#include "reports/ErrorReport.h"

template <class Result, class Body>
Result RunGuarded(const char* reportCode, Result failureValue, Body&& body) noexcept {
    CErrorFrame frame(reportCode, ReportToErrorManager);
    try {
        return body();
    } catch (const CExceptionError& error) {
        frame.ReportIfNotYet(error);
    } catch (...) {
    }
    return failureValue;
}
