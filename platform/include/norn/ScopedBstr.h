// CScopedBstr: owns one BSTR and frees it with SysFreeString when it goes out of scope.
// Move-only. An allocation that fails leaves it empty: callers that must not go on without
// the text check it (or use the module's throwing helpers).
#pragma once

#include <windows.h>

namespace norn {

class CScopedBstr {
public:
    CScopedBstr() noexcept = default;
    explicit CScopedBstr(const OLECHAR* text) noexcept : m_bstr(SysAllocString(text)) {}
    ~CScopedBstr() { Reset(); }

    CScopedBstr(const CScopedBstr&) = delete;
    CScopedBstr& operator=(const CScopedBstr&) = delete;
    CScopedBstr(CScopedBstr&& other) noexcept : m_bstr(other.Detach()) {}
    CScopedBstr& operator=(CScopedBstr&& other) noexcept {
        if (this != &other) Reset(other.Detach());
        return *this;
    }

    static CScopedBstr Attach(BSTR bstr) noexcept {
        CScopedBstr result;
        result.m_bstr = bstr;
        return result;
    }

    BSTR Get() const noexcept { return m_bstr; }
    explicit operator bool() const noexcept { return m_bstr != nullptr; }
    UINT Length() const noexcept { return SysStringLen(m_bstr); }
    UINT ByteLength() const noexcept { return SysStringByteLen(m_bstr); }

    // For out-parameters that hand over a BSTR: frees the current one first.
    BSTR* Put() noexcept {
        Reset();
        return &m_bstr;
    }
    BSTR Detach() noexcept {
        BSTR bstr = m_bstr;
        m_bstr = nullptr;
        return bstr;
    }
    void Reset(BSTR bstr = nullptr) noexcept {
        if (m_bstr != bstr) SysFreeString(m_bstr);
        m_bstr = bstr;
    }

private:
    BSTR m_bstr = nullptr;
};

}  // namespace norn
