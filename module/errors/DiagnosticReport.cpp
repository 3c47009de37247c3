#include "errors/DiagnosticReport.h"

#include <KXDIAG.h>

void ReportToDiagnostics(const char* sourceFile, int line, const char* context,
                         const char* message) noexcept {
    const char* text = _Tarvo_formatErrorString(message);
    _Tarvo_TestShowErrorDialogLogInfo2(sourceFile, line, context, text);
}
