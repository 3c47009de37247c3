#include "driver/DriverAccess.h"

#include <norn/FirmwareNames.h>

#include "reports/OperationGuard.h"
#include "rot/ROTAccess.h"

IUnknown* GetIfPointer() noexcept {
    return RunGuarded<IUnknown*>("GetIfPointer", nullptr, [] {
        IUnknown* object = nullptr;
        // Found or not, the pointer tells: it stays null when no driver is registered.
        static_cast<void>(ROTNameToIfPointer(norn::names::kMeasurementDriver, &object));
        return object;
    });
}
