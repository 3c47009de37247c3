// Stands in for Visual Studio's ATL, which MinGW-w64 lacks.
//
// Only the part of ATL's exception header that the module uses, with ATL's names and semantics.
// CAtlException carries nothing but an HRESULT and is not derived from _com_error. AtlThrow
// throws one; AtlThrowLastWin32 throws the HRESULT made from the calling thread's last error.
#pragma once

#include <windows.h>

namespace ATL {

class CAtlException {
public:
    CAtlException() noexcept : m_hr(E_FAIL) {}
    CAtlException(HRESULT hr) noexcept : m_hr(hr) {}
    operator HRESULT() const noexcept { return m_hr; }

    HRESULT m_hr;
};

[[noreturn]] inline void AtlThrow(HRESULT hr) {
    throw CAtlException(hr);
}

[[noreturn]] inline void AtlThrowLastWin32() {
    const DWORD error = GetLastError();
    AtlThrow(HRESULT_FROM_WIN32(error));
}

}  // namespace ATL

// ATL brings its names into the global namespace unless told not to; the module relies on that
// for CAtlException only.
#if !defined(_ATL_NO_AUTOMATIC_NAMESPACE)
using ATL::CAtlException;
#endif
