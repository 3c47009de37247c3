// CInterfacePtr<T>: owns one counted reference on a COM interface and releases it when it goes
// out of scope, on every path. Move-only: a second reference is taken explicitly with Share(),
// and a reference handed over by an out-parameter is received through Put().
#pragma once

#include <cstddef>

#include "norn/InterfaceId.h"

namespace norn {

template <class T>
class CInterfacePtr {
public:
    CInterfacePtr() noexcept = default;
    CInterfacePtr(std::nullptr_t) noexcept {}
    ~CInterfacePtr() { Reset(); }

    CInterfacePtr(const CInterfacePtr&) = delete;
    CInterfacePtr& operator=(const CInterfacePtr&) = delete;
    CInterfacePtr(CInterfacePtr&& other) noexcept : m_p(other.Detach()) {}
    CInterfacePtr& operator=(CInterfacePtr&& other) noexcept {
        if (this != &other) {
            Reset();
            m_p = other.Detach();
        }
        return *this;
    }

    // Takes over a reference that the caller owns.
    static CInterfacePtr Attach(T* p) noexcept {
        CInterfacePtr result;
        result.m_p = p;
        return result;
    }
    // Takes a new reference of its own.
    static CInterfacePtr Share(T* p) noexcept {
        if (p != nullptr) p->AddRef();
        return Attach(p);
    }

    T* Get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    // For out-parameters that hand over a reference: releases the current one first.
    T** Put() noexcept {
        Reset();
        return &m_p;
    }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

    T* Detach() noexcept {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }
    void Reset() noexcept {
        if (T* p = Detach()) p->Release();
    }

    // QueryInterface for U; empty when the object is empty or does not implement U.
    template <class U>
    CInterfacePtr<U> Query() const noexcept {
        CInterfacePtr<U> result;
        if (m_p == nullptr) return result;
        if (FAILED(m_p->QueryInterface(InterfaceId<U>::value, result.PutVoid()))) {
            result.Detach();  // a failed QueryInterface hands out nothing to release
        }
        return result;
    }

private:
    T* m_p = nullptr;
};

}  // namespace norn
