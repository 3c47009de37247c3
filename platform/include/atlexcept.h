// ATL's exception header, the part the module uses, with ATL's names and semantics. The one copy
// for both builds: on Linux it belongs to the platform layer; MinGW-w64 has no ATL, so the Windows
// build finds this file behind the system's headers (-idirafter) and <windows.h> there is the
// SDK's.
//
// CAtlException carries nothing but an HRESULT and is not derived from _com_error. AtlThrow
// throws one; AtlThrowLastWin32 throws the HRESULT made from the calling thread's last error.
#pragma once

#include <windows.h>

namespace ATL {

class CAtlException {
public:
    CAtlException(HRESULT hr = E_FAIL) noexcept : m_hr(hr) {}
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
