#include "driver/DriverAccess.h"

#include <norn/FirmwareNames.h>

#include "driver/ROTAccess.h"
#include "errors/OperationGuard.h"

IUnknown* GetIfPointer() noexcept {
    return RunGuarded<IUnknown*>("GetIfPointer", nullptr, [] {
        IUnknown* object = nullptr;
        ROTNameToIfPointer(norn::names::kMeasurementDriver, &object);
        return object;
    });
}
