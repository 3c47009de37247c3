// Reports an error that the Running Object Table access caught itself through the maker's
// diagnostics library (KXDIAG), not to the error manager.
#pragma once

// Formats the message with _Tarvo_formatErrorString and logs it with
// _Tarvo_TestShowErrorDialogLogInfo2. An answer above 0 asks for a debugger stop at the
// reporting place; the module does not honour it, since stopping would halt the firmware's
// host process: the report is all that happens.
void ReportToDiagnostics(const char* sourceFile, int line, const char* context,
                         const char* message) noexcept;
