// CExceptionError: the module's one exception type. An HRESULT (always a failure) with the source
// file and the report line of the failure point; report lines are the error contract that the
// error manager keys on, so every line comes from a table of failure points (errors/Checks.h),
// never from __LINE__.
//
// Owns its file BSTR. The error information, if any, is shared the way _com_error shares it.
// Thrown by value, caught by reference to const; it can also be caught as _com_error.
#pragma once

#include <comdef.h>

class CExceptionError : public _com_error {
public:
    // Takes a reference of its own on errorInfo. A failed allocation of the file copy throws
    // CAtlException(E_OUTOFMEMORY) instead.
    CExceptionError(HRESULT hr, const OLECHAR* file, LONG line, IErrorInfo* errorInfo = nullptr);
    // A byte-exact copy of the file; shares the error information; never copies the message.
    CExceptionError(const CExceptionError& other);
    // Takes the file over: a raised error is thrown by moving it, which allocates nothing.
    CExceptionError(CExceptionError&& other) noexcept;
    CExceptionError& operator=(const CExceptionError&) = delete;
    ~CExceptionError() override;

    BSTR File() const noexcept { return m_file; }
    LONG Line() const noexcept { return m_line; }

private:
    BSTR m_file;
    LONG m_line;
};

// The source file that the module's own failure points name.
constexpr const OLECHAR* kModuleSourceFile = OLESTR(".\\Brightwork");
