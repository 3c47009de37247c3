// The measurement driver, fetched afresh from the Running Object Table for every use: nothing
// of the driver is held between operations.
#pragma once

#include <norn/MeasurementDriver.h>

#include "norn/InterfacePtr.h"

// A reference on the driver object registered as "<process id>TarvoMeasDriver", or null after
// the lookup's own report. Guarded: an error inside is reported under "GetIfPointer".
IUnknown* GetIfPointer() noexcept;

// Fetches the driver with GetIfPointer, asks it for one interface and releases the object.
// Empty when the driver is missing or lacks the interface: the caller checks with ThrowIfNull.
template <class Interface>
norn::CInterfacePtr<Interface> GetDriverInterface() {
    return norn::CInterfacePtr<IUnknown>::Attach(GetIfPointer()).Query<Interface>();
}

// The EEPROM control's calls, named for what they do, with the arguments the driver takes. Each
// returns the call's HRESULT and leaves the driver status word in *status, for the caller's
// failure points (ThrowIfCallFailed, or a later check where the contract wants one).
constexpr LONG kOpenForWrite = 0;  // SetEEPROMMode: opens a series of block writes
constexpr LONG kCommit = 2;        // SetEEPROMMode: commits the block writes so far
constexpr LONG kModeFlag = 1;      // the one flag SetEEPROMMode is called with

inline HRESULT OpenBlockWrites(IEEPROMControl* control, LONG* status) {
    return control->SetEEPROMMode(kOpenForWrite, kModeFlag, status);
}

inline HRESULT CommitBlockWrites(IEEPROMControl* control, LONG* status) {
    return control->SetEEPROMMode(kCommit, kModeFlag, status);
}

// Makes the blocks readable: PrepareRead with the one set of arguments the driver takes.
inline HRESULT PrepareBlockReads(IEEPROMControl* control, LONG* status) {
    return control->PrepareRead(1, 0, 0, 0, status);
}
