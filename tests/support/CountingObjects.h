// COM objects for tests that count their references, so that a test can see that every
// reference handed out came back. They live on the test's stack: the last Release does not
// delete them.
#pragma once

#include <windows.h>

#include <atomic>

#include "norn/InterfaceId.h"

namespace norn::test {

// Implements IUnknown only.
class CCountingObject final : public IUnknown {
public:
    ULONG Refs() const { return m_refs; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown) return E_NOINTERFACE;
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }

private:
    std::atomic<ULONG> m_refs{0};
};

// An IErrorInfo with a fixed description, help file and help context.
class CCountingErrorInfo final : public IErrorInfo {
public:
    ULONG Refs() const { return m_refs; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IErrorInfo) return E_NOINTERFACE;
        *ppv = static_cast<IErrorInfo*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }

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

private:
    std::atomic<ULONG> m_refs{0};
};

}  // namespace norn::test
