// The operation guard: the one frame around every host-facing operation and every guarded inner
// routine. Nothing raised inside crosses it:
//   - a CExceptionError is reported under the routine's report code ("F4", "D31",
//     "CreateDDSFile", ...), then the routine returns its failure value;
//   - anything else (CAtlException for an allocation that failed, above all) gives the failure
//     value without a report.
// The routine's clean-up is RAII inside the body, so it runs on every path; an export is the
// guard plus one call.
#pragma once

#include "errors/ErrorReport.h"

template <class Result, class Body>
Result RunGuarded(const char* reportCode, Result failureValue, Body&& body) noexcept {
    try {
        return body();
    } catch (const CExceptionError& error) {
        ReportToErrorManager(error, reportCode);
    } catch (...) {
    }
    return failureValue;
}
