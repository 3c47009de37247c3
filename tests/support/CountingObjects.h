// COM objects for tests that count their references, so that a test can see that every
// reference handed out came back. They live on the test's stack: the last Release does not
// delete them.
#pragma once

#include <windows.h>

#include "norn/ComObject.h"

namespace norn::test {

// Implements IUnknown only.
class CCountingObject final : public CComObjectBase<IUnknown> {};

// An IErrorInfo with a fixed description, help file and help context.
class CCountingErrorInfo final : public CComObjectBase<IErrorInfo> {
public:
    HRESULT STDMETHODCALLTYPE GetGUID(GUID* guid) override {
        *guid = GUID_NULL;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* text) override {
        *text = SysAllocString(OLESTR("Counting"));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* text) override {
        *text = SysAllocString(OLESTR("Something failed"));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* text) override {
        *text = SysAllocString(OLESTR("help.chm"));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* context) override {
        *context = 42;
        return S_OK;
    }
};

}  // namespace norn::test
