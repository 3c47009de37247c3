// ATL's exception type: nothing but an HRESULT. Not derived from _com_error.
#pragma once

#include "winbase.h"

class CAtlException {
public:
    CAtlException(HRESULT hr = E_FAIL) noexcept : m_hr(hr) {}
    operator HRESULT() const noexcept { return m_hr; }

    HRESULT m_hr;
};

namespace ATL {
using ::CAtlException;

[[noreturn]] inline void AtlThrow(HRESULT hr) {
    throw CAtlException(hr);
}

// The HRESULT made from the calling thread's last error code.
[[noreturn]] inline void AtlThrowLastWin32() {
    AtlThrow(HRESULT_FROM_WIN32(GetLastError()));
}
}  // namespace ATL
