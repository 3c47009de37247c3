#include "driver/DriverAccess.h"

#include <norn/FirmwareNames.h>

#include "reports/OperationGuard.h"
#include "rot/ROTAccess.h"

IUnknown* GetIfPointer() noexcept {
    return RunGuarded<IUnknown*>("GetIfPointer", nullptr, [] {
        IUnknown* object = nullptr;
        ROTNameToIfPointer(norn::names::kMeasurementDriver, &object);
        return object;
    });
}
