#include "driver/Identification.h"

#include <norn/BrightworkNorn.h>

#include "driver/DriverAccess.h"
#include "errors/Checks.h"
#include "files/DataFilePaths.h"
#include "reports/OperationGuard.h"

namespace {

// One identification value: its driver item, the byte count handed to the driver, and the
// report lines of its four failure points (argument, interface, call, status), which are part of
// the error contract.
struct CIdentification {
    LONG item;
    LONG byteCount;
    LONG argumentLine;
    LONG interfaceLine;
    LONG callLine;
    LONG statusLine;
};

constexpr CIdentification kQuerySerial = {3, 10, 2489, 2492, 2497, 2501};
constexpr CIdentification kQueryMaterial = {4, 13, 2543, 2546, 2551, 2554};
constexpr CIdentification kWriteSerial = {3, kSerialNumberWriteCount, 2596, 2599, 2605, 2609};
constexpr CIdentification kWriteMaterial = {4, kMaterialNumberWriteCount, 2651, 2654, 2660, 2663};
constexpr LONG kValueSubItem = 23;

// A driver that answers without setting the status word does not count as a success.
constexpr LONG kStatusNotSet = 8;

LONG Query(const CIdentification& value, char* buffer) {
    ResolveDataFilePaths();
    if (buffer == nullptr) ThrowFail(kModuleSourceFile, value.argumentLine);
    auto values = GetDriverInterface<IDriverValue>();
    ThrowIfNull(values.Get(), kModuleSourceFile, value.interfaceLine);
    LONG status = kStatusNotSet;
    ThrowIfFailed(
        values->QueryValue(value.item, value.byteCount, reinterpret_cast<BYTE*>(buffer), &status),
        kModuleSourceFile, value.callLine);
    if (status != 0) ThrowFail(kModuleSourceFile, value.statusLine);
    return 0;
}

// The text's own length is not compared with the byte count the driver is given.
LONG Write(const CIdentification& value, const char* text) {
    LONG status = kStatusNotSet;
    ResolveDataFilePaths();
    if (text == nullptr || text[0] == 0) ThrowFail(kModuleSourceFile, value.argumentLine);
    auto values = GetDriverInterface<IDriverValue>();
    ThrowIfNull(values.Get(), kModuleSourceFile, value.interfaceLine);
    ThrowIfFailed(values->WriteValue(value.item, kValueSubItem, value.byteCount,
                                     reinterpret_cast<BYTE*>(const_cast<char*>(text)), &status),
                  kModuleSourceFile, value.callLine);
    if (status != 0) ThrowFail(kModuleSourceFile, value.statusLine);
    return 0;
}

}  // namespace

LONG QuerySerialNumber(char* buffer) noexcept {
    return RunGuarded<LONG>("F4", kBrightworkFailed, [&] { return Query(kQuerySerial, buffer); });
}

LONG QueryMaterialNumber(char* buffer) noexcept {
    return RunGuarded<LONG>("F5", kBrightworkFailed, [&] { return Query(kQueryMaterial, buffer); });
}

LONG WriteSerialNumber(const char* text) noexcept {
    return RunGuarded<LONG>("F6", kBrightworkFailed, [&] { return Write(kWriteSerial, text); });
}

LONG WriteMaterialNumber(const char* text) noexcept {
    return RunGuarded<LONG>("F7", kBrightworkFailed, [&] { return Write(kWriteMaterial, text); });
}
