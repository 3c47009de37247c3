// Rich error information interfaces.
#pragma once

#include "unknwn.h"

struct IErrorInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) = 0;                    // 3
    virtual HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) = 0;            // 4
    virtual HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) = 0;  // 5
    virtual HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) = 0;        // 6
    virtual HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) = 0;   // 7
};

struct ISupportErrorInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) = 0;  // 3
};

NORN_PLATFORM_API const IID IID_IErrorInfo;
NORN_PLATFORM_API const IID IID_ISupportErrorInfo;
