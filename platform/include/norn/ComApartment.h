// CComApartment: joins the calling thread to COM for the object's lifetime, the way a host
// does before it calls the module (which never initialises COM itself).
#pragma once

#include <windows.h>

namespace norn {

class CComApartment {
public:
    explicit CComApartment(DWORD model = COINIT_MULTITHREADED) noexcept
        : m_hr(CoInitializeEx(nullptr, model)) {}
    ~CComApartment() {
        if (SUCCEEDED(m_hr)) CoUninitialize();
    }
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

    HRESULT Result() const noexcept { return m_hr; }

private:
    HRESULT m_hr;
};

}  // namespace norn
