// The checks through which failure points raise a CExceptionError. A failure point is the source
// file and the report line of one place where a routine can fail; report lines are the error
// contract that the error manager keys on. Each routine names its failure points once, in a table
// at the top of its source file, and hands them to the checks:
//
//   ThrowIfNull(control.Get(), kBackup.controlInterface);
//   ThrowIfFailed(hr, kRestore.savedValueRead);
//   ThrowIfCallFailed(hr, status, kBackup.prepareReadCall, kBackup.prepareReadStatus);
//   ThrowFail(kRestore.serialNumberMissing);
//
// They are the only way the module raises one: each tells the operation guard around it first,
// so that the report is made while the routine still holds what it owns.
#pragma once

#include "errors/ExceptionError.h"

struct CFailurePoint {
    const OLECHAR* file;
    LONG line;
};

// A failure point in the module's own source file, kModuleSourceFile.
constexpr CFailurePoint ModuleLine(LONG line) noexcept {
    return {kModuleSourceFile, line};
}

// Returns for a success code (S_FALSE included); otherwise throws the HRESULT. When an object
// and a non-zero interface id are given and the object supports error information for that
// interface, the thread's error information travels with the error.
void ThrowIfFailed(HRESULT hr, CFailurePoint point, IUnknown* object = nullptr,
                   REFIID iid = GUID_NULL);

// Throws E_POINTER for a null pointer.
void ThrowIfNull(const void* pointer, CFailurePoint point);

// Throws E_FAIL: a failed condition.
[[noreturn]] void ThrowFail(CFailurePoint point);

// A driver call and the status word it answers: a failed HRESULT is thrown at callPoint, then a
// nonzero status fails with E_FAIL at statusPoint. The status is taken by reference and read only
// here, so the call may stand in the same statement:
//   ThrowIfCallFailed(control->Call(&status), status, callPoint, statusPoint);
void ThrowIfCallFailed(HRESULT hr, const LONG& status, CFailurePoint callPoint,
                       CFailurePoint statusPoint);
