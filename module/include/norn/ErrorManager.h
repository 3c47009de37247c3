// The firmware's error manager as the module reports to it: the ErrorEntry record and the
// IErrorManager interface, registered in the Running Object Table as "<process id>ErrorManager".
#pragma once

#include <windows.h>

#include "norn/InterfaceId.h"

// One report, handed to ReportError by value. Every BSTR belongs to the reporter, who frees it
// once ReportError returns: an error manager copies what it keeps. The field order is contract;
// with 32-bit pointers the record is 64 bytes at the offsets checked below.
struct ErrorEntry {
    HRESULT hresult;
    BSTR description;   // from the error's error information; null without one
    LONG kind;          // always 1
    BSTR helpFile;      // from the error information; null without one
    ULONG helpContext;  // from the error information; 0 without one
    ULONG thread;       // the reporting thread
    GUID identifier;    // always the all-zero GUID
    BSTR source;        // "Brightwork"
    BSTR version;       // the module's file version text; null when it cannot be read
    BSTR reportCode;    // the routine that caught the error: "F4", "D31", "CreateDDSFile", ...
    BSTR file;          // last component of the error's source file, at most 63 characters
    LONG line;          // the failure point's report line
    LONG reserved;      // always 0
};

#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(ErrorEntry) == 64, "ErrorEntry is 64 bytes on the firmware's platform");
static_assert(offsetof(ErrorEntry, description) == 4 && offsetof(ErrorEntry, kind) == 8 &&
                  offsetof(ErrorEntry, helpFile) == 12 && offsetof(ErrorEntry, helpContext) == 16 &&
                  offsetof(ErrorEntry, thread) == 20 && offsetof(ErrorEntry, identifier) == 24 &&
                  offsetof(ErrorEntry, source) == 40 && offsetof(ErrorEntry, version) == 44 &&
                  offsetof(ErrorEntry, reportCode) == 48 && offsetof(ErrorEntry, file) == 52 &&
                  offsetof(ErrorEntry, line) == 56 && offsetof(ErrorEntry, reserved) == 60,
              "ErrorEntry keeps the error manager's field offsets");
#endif

struct IErrorManager : IUnknown {
    // Slot 3. The result is not used by the module.
    virtual HRESULT STDMETHODCALLTYPE ReportError(ErrorEntry entry) = 0;
};

NORN_INTERFACE_ID(IErrorManager, "F9097798-4903-11D4-8D2E-0000B45D1E06")
