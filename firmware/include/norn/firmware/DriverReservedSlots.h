// The reserved slots of the three driver interfaces, each forwarded to one handler together with
// its interface's name and its number. One override in the simulator would otherwise answer the
// same-named slots of all three interfaces, and the journal could not tell them apart.
#pragma once

#include <windows.h>

#include "norn/MeasurementDriver.h"

namespace norn::firmware::detail {

// Reserved3 to Reserved6, which every driver interface has.
template <class Interface, const char* Name>
class CReservedSlots3To6 : public Interface {
public:
    HRESULT STDMETHODCALLTYPE Reserved3() final { return OnReserved(Name, 3); }
    HRESULT STDMETHODCALLTYPE Reserved4() final { return OnReserved(Name, 4); }
    HRESULT STDMETHODCALLTYPE Reserved5() final { return OnReserved(Name, 5); }
    HRESULT STDMETHODCALLTYPE Reserved6() final { return OnReserved(Name, 6); }

protected:
    // `interfaceName` is Name, "IEEPROMBlock" and so on; `slot` the N of ReservedN.
    virtual HRESULT OnReserved(const char* interfaceName, int slot) = 0;
};

template <class Interface, const char* Name>
class CReservedSlots3To7 : public CReservedSlots3To6<Interface, Name> {
public:
    HRESULT STDMETHODCALLTYPE Reserved7() final { return this->OnReserved(Name, 7); }
};

template <class Interface, const char* Name>
class CReservedSlots3To8 : public CReservedSlots3To7<Interface, Name> {
public:
    HRESULT STDMETHODCALLTYPE Reserved8() final { return this->OnReserved(Name, 8); }
};

inline constexpr char kEEPROMBlockName[] = "IEEPROMBlock";
inline constexpr char kEEPROMControlName[] = "IEEPROMControl";
inline constexpr char kDriverValueName[] = "IDriverValue";

using CEEPROMBlockSlots = CReservedSlots3To8<IEEPROMBlock, kEEPROMBlockName>;
using CEEPROMControlSlots = CReservedSlots3To7<IEEPROMControl, kEEPROMControlName>;
using CDriverValueSlots = CReservedSlots3To6<IDriverValue, kDriverValueName>;

}  // namespace norn::firmware::detail
