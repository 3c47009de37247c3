// The checks through which failure points raise a CExceptionError. Each failure point is one
// statement naming its source file and its report line:
//
//   ThrowIfFailed(hr, kModuleSourceFile, 2497);
//   ThrowIfNull(values.Get(), kModuleSourceFile, 2492);
//   if (status != 0) ThrowFail(kModuleSourceFile, 2501);
//
// They are the only way the module raises one: each tells the operation guard around it first,
// so that the report is made while the routine still holds what it owns.
#pragma once

#include "errors/ExceptionError.h"

// Returns for a success code (S_FALSE included); otherwise throws the HRESULT. When an object
// and a non-zero interface id are given and the object supports error information for that
// interface, the thread's error information travels with the error.
void ThrowIfFailed(HRESULT hr, const OLECHAR* file, LONG line, IUnknown* object = nullptr,
                   REFIID iid = GUID_NULL);

// Throws E_POINTER for a null pointer.
void ThrowIfNull(const void* pointer, const OLECHAR* file, LONG line);

// Throws E_FAIL: a failed condition.
[[noreturn]] void ThrowFail(const OLECHAR* file, LONG line);
