// The report of a caught CExceptionError: to the error manager as an ErrorEntry record or, when
// no error manager is reachable, as one event-log line "Error in %s (Line %ld)" under the event
// source "Tarvo_Orm".
#pragma once

#include <norn/ErrorManager.h>

#include "errors/ExceptionError.h"
#include "norn/ScopedBstr.h"

// CErrorEntry: an ErrorEntry that owns its six BSTR fields and frees them on destruction. It is
// handed to the error manager as a bitwise copy of its ErrorEntry part, so the error manager
// must copy what it keeps. Not copyable.
class CErrorEntry : public ErrorEntry {
public:
    // Fills every field from the error (taken as a copy); the report code stays null. Throws
    // when a text cannot be allocated.
    CErrorEntry(REFGUID identifier, const OLECHAR* sourceName, CExceptionError error);
    ~CErrorEntry();
    CErrorEntry(const CErrorEntry&) = delete;
    CErrorEntry& operator=(const CErrorEntry&) = delete;

    // Replaces the report code with the 8-bit text converted in the thread's ANSI code page.
    void SetReportCode(const char* reportCode);
};

// Reports one caught error under the report code of the routine that caught it. Never throws;
// nothing that happens while reporting changes the routine's result.
void ReportToErrorManager(const CExceptionError& error, const char* reportCode) noexcept;

// The "FileVersion" text of the module's own version resource.
[[nodiscard]] bool GetModuleVersionString(norn::CScopedBstr& version);

// The last non-empty backslash-separated component of the path (the whole path when it has
// none), at most capacity - 1 characters, zero-terminated. A null path gives an empty text.
void ExtractFileName(const OLECHAR* path, OLECHAR* buffer, size_t capacity);

constexpr const OLECHAR* kReportSourceName = OLESTR("Brightwork");
constexpr size_t kReportFileCapacity = 64;
