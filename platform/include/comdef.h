// _com_error with the semantics of the COM support library:
// - construction with fAddRef false takes over the caller's reference on the error info;
// - copy and assignment share the error info with one more reference and never copy the
//   message text (the copy's cache starts empty);
// - the virtual destructor releases the error info and LocalFree's the message text;
// - ErrorMessage() fills the message text lazily; ErrorInfo() returns a new reference.
#pragma once

#include "oleauto.h"
#include "winbase.h"

class _com_error {
public:
    _com_error(HRESULT hr, IErrorInfo* perrinfo = nullptr, bool fAddRef = false) noexcept
        : m_hresult(hr), m_perrinfo(perrinfo), m_pszMsg(nullptr) {
        if (m_perrinfo != nullptr && fAddRef) m_perrinfo->AddRef();
    }

    _com_error(const _com_error& that) noexcept
        : m_hresult(that.m_hresult), m_perrinfo(that.m_perrinfo), m_pszMsg(nullptr) {
        if (m_perrinfo != nullptr) m_perrinfo->AddRef();
    }

    virtual ~_com_error() noexcept {
        if (m_perrinfo != nullptr) m_perrinfo->Release();
        if (m_pszMsg != nullptr) LocalFree(static_cast<HLOCAL>(m_pszMsg));
    }

    _com_error& operator=(const _com_error& that) noexcept {
        if (this == &that) return *this;
        IErrorInfo* previous = m_perrinfo;
        m_hresult = that.m_hresult;
        m_perrinfo = that.m_perrinfo;
        if (m_perrinfo != nullptr) m_perrinfo->AddRef();
        if (previous != nullptr) previous->Release();
        if (m_pszMsg != nullptr) LocalFree(static_cast<HLOCAL>(m_pszMsg));
        m_pszMsg = nullptr;
        return *this;
    }

    HRESULT Error() const noexcept { return m_hresult; }
    WORD WCode() const noexcept { return HRESULTToWCode(m_hresult); }

    IErrorInfo* ErrorInfo() const noexcept {
        if (m_perrinfo != nullptr) m_perrinfo->AddRef();
        return m_perrinfo;
    }

    DWORD HelpContext() const noexcept {
        DWORD context = 0;
        if (m_perrinfo != nullptr) m_perrinfo->GetHelpContext(&context);
        return context;
    }

    ::GUID GUID() const noexcept {
        ::GUID guid = GUID_NULL;
        if (m_perrinfo != nullptr) m_perrinfo->GetGUID(&guid);
        return guid;
    }

    // The system text of the HRESULT, or "IDispatch error #n" for a WCode, or
    // "Unknown error 0x%0lX"; allocated once with LocalAlloc and cached.
    const WCHAR* ErrorMessage() const noexcept {
        if (m_pszMsg == nullptr) m_pszMsg = NornFormatComErrorMessage(m_hresult);
        return m_pszMsg;
    }

    static HRESULT WCodeToHRESULT(WORD wCode) noexcept {
        return wCode >= 0xFE00 ? static_cast<HRESULT>(0x8004FE00) : 0x80040200 + wCode;
    }
    static WORD HRESULTToWCode(HRESULT hr) noexcept {
        return (hr >= static_cast<HRESULT>(0x80040200) && hr <= static_cast<HRESULT>(0x8004FFFF))
                   ? static_cast<WORD>(hr - 0x80040200)
                   : 0;
    }

protected:
    // Implemented by the platform library: the message text for _com_error::ErrorMessage.
    NORN_PLATFORM_CXX_API static WCHAR* NornFormatComErrorMessage(HRESULT hr) noexcept;

    HRESULT m_hresult;
    IErrorInfo* m_perrinfo;
    mutable WCHAR* m_pszMsg;
};
