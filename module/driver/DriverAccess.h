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
