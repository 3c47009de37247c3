// The IUnknown of a COM object, written once: the interfaces are template arguments, and
// QueryInterface, AddRef and Release are generated from them.
//
//   class CProbe final : public norn::CComObjectBase<IErrorInfo, IExternalConnection> { ... };
//
// QueryInterface answers IUnknown, and each entry of the list, with the object's pointer to that
// entry; IUnknown is always the first entry's, so that every interface leads back to one
// identity. The identifiers come from norn::InterfaceId (norn/InterfaceId.h). An entry is either
// an interface or CChain<Base, Ids...>, which inherits Base and answers every identifier of Ids
// with Base's pointer: an interface together with those it derives from (IMoniker answers
// IPersistStream and IPersist too), or a class that implements the reserved slots of one
// interface (the simulators' CEEPROMBlockSlots answers IEEPROMBlock).
//
// Ownership comes in two kinds:
//  - CComObjectBase: the creator owns the object (on the stack, as a member, in a unique_ptr).
//    It counts the references handed out (Refs()) but the last Release does NOT delete it, so a
//    test can check at the end that every reference came back; whoever destroys it must make
//    sure that nobody still holds one.
//  - CSelfDeletingComObject: made with new and handed out; the last Release deletes it. The
//    count starts at 0: the creator takes the first reference (AddRef, or
//    CInterfacePtr::Share).
//
// The count is atomic. A derived class may override AddRef and Release (to count elsewhere, or
// to watch them); QueryInterface calls AddRef virtually, so that its reference counts the same
// way. Offers lets an object refuse, at run time, interfaces of its list (a simulator's fault
// plan does). Header-only, standard C++17 and <windows.h>: it builds on Linux against the
// platform layer and on Windows against the SDK.
#pragma once

#include <windows.h>

#include <atomic>
#include <type_traits>

#include "norn/InterfaceId.h"

namespace norn {

template <class Base, class... Ids>
struct CChain;

namespace detail {

// What an entry of the list inherits, and which identifiers it answers.
template <class Entry>
struct CComEntry {
    using Base = Entry;
    [[nodiscard]] static bool Answers(REFIID riid) { return riid == InterfaceId<Entry>::value; }
};

template <class ChainBase, class... Ids>
struct CComEntry<CChain<ChainBase, Ids...>> {
    // Base's pointer stands for an interface only when Base is or derives from it; an empty
    // class names an identifier, such as a class ID, that the object answers as itself.
    static_assert(((std::is_base_of_v<Ids, ChainBase> || std::is_empty_v<Ids>)&&...),
                  "a chained identifier must be Base, a base of Base, or an empty tag class");
    using Base = ChainBase;
    [[nodiscard]] static bool Answers(REFIID riid) {
        return ((riid == InterfaceId<Ids>::value) || ...);
    }
};

template <class First, class... Rest>
struct CFirstEntry {
    using Base = typename CComEntry<First>::Base;
};

}  // namespace detail

template <class... Entries>
class CComObjectBase : public detail::CComEntry<Entries>::Base... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (riid == InterfaceId<IUnknown>::value) {
            *ppv = Unknown();
        } else if (!Offers(riid) || !(Find<Entries>(riid, ppv) || ...)) {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }

    // The references handed out and not yet given back.
    ULONG Refs() const noexcept { return m_refs; }
    // The object's identity, e.g. for a Running Object Table registration.
    IUnknown* Unknown() noexcept { return static_cast<CFirst*>(this); }

protected:
    CComObjectBase() = default;
    ~CComObjectBase() = default;

    // Whether QueryInterface answers this identifier of the list now; IUnknown is always
    // answered. Called for every other identifier asked for.
    [[nodiscard]] virtual bool Offers(REFIID) { return true; }

private:
    using CFirst = typename detail::CFirstEntry<Entries...>::Base;

    template <class Entry>
    [[nodiscard]] bool Find(REFIID riid, void** ppv) {
        if (!detail::CComEntry<Entry>::Answers(riid)) return false;
        *ppv = static_cast<typename detail::CComEntry<Entry>::Base*>(this);
        return true;
    }

    std::atomic<ULONG> m_refs{0};
};

template <class... Entries>
class CSelfDeletingComObject : public CComObjectBase<Entries...> {
public:
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG refs = CComObjectBase<Entries...>::Release();
        if (refs == 0) delete this;
        return refs;
    }

protected:
    virtual ~CSelfDeletingComObject() = default;
};

}  // namespace norn
