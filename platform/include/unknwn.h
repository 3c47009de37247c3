// IUnknown, declared as the Windows SDK does: no destructor, so that slot N is the Nth
// declared virtual method (g++ would give a virtual destructor two slots, MSVC one).
#pragma once

#include "guiddef.h"
#include "winerror.h"

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

NORN_PLATFORM_API const IID IID_IUnknown;
