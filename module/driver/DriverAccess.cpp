#include "driver/DriverAccess.h"

#include <norn/FirmwareNames.h>

#include "driver/ROTAccess.h"
#include "errors/OperationGuard.h"
#include "errors/Strings.h"

IUnknown* GetIfPointer() noexcept {
    return RunGuarded<IUnknown*>("GetIfPointer", nullptr, [] {
        IUnknown* object = nullptr;
        g_ROTAccess.NameToIfPointer(BstrFromText(norn::names::kMeasurementDriver).Detach(), &object,
                                    TRUE, TRUE);
        return object;
    });
}
