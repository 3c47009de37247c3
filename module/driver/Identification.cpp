#include "driver/Identification.h"

#include <norn/BrightworkNorn.h>
#include <norn/MeasurementDriver.h>

#include "driver/DriverAccess.h"
#include "errors/Checks.h"
#include "files/DataFilePaths.h"
#include "reports/OperationGuard.h"

using namespace norn::driver_values;

namespace {

// Each routine's table: the driver item it reads or writes, the byte count handed to the driver,
// and its four failure points.

// F4, QuerySerialNumber.
constexpr struct {
    LONG item = kSerialNumberItem;
    LONG byteCount = 10;
    CFailurePoint argument = ModuleLine(2489);
    CFailurePoint valueInterface = ModuleLine(2492);
    CFailurePoint call = ModuleLine(2497);
    CFailurePoint status = ModuleLine(2501);
} kQuerySerial{};

// F5, QueryMaterialNumber.
constexpr struct {
    LONG item = kMaterialNumberItem;
    LONG byteCount = 13;
    CFailurePoint argument = ModuleLine(2543);
    CFailurePoint valueInterface = ModuleLine(2546);
    CFailurePoint call = ModuleLine(2551);
    CFailurePoint status = ModuleLine(2554);
} kQueryMaterial{};

// F6, WriteSerialNumber.
constexpr struct {
    LONG item = kSerialNumberItem;
    LONG byteCount = kSerialNumberWriteCount;
    CFailurePoint argument = ModuleLine(2596);
    CFailurePoint valueInterface = ModuleLine(2599);
    CFailurePoint call = ModuleLine(2605);
    CFailurePoint status = ModuleLine(2609);
} kWriteSerial{};

// F7, WriteMaterialNumber.
constexpr struct {
    LONG item = kMaterialNumberItem;
    LONG byteCount = kMaterialNumberWriteCount;
    CFailurePoint argument = ModuleLine(2651);
    CFailurePoint valueInterface = ModuleLine(2654);
    CFailurePoint call = ModuleLine(2660);
    CFailurePoint status = ModuleLine(2663);
} kWriteMaterial{};

// A driver that answers without setting the status word does not count as a success.
constexpr LONG kStatusNotSet = 8;

template <class Value>
LONG Query(const Value& value, char* buffer) {
    ResolveDataFilePaths();
    if (buffer == nullptr) ThrowFail(value.argument);
    auto values = GetDriverInterface<IDriverValue>();
    ThrowIfNull(values.Get(), value.valueInterface);
    LONG status = kStatusNotSet;
    ThrowIfCallFailed(
        values->QueryValue(value.item, value.byteCount, reinterpret_cast<BYTE*>(buffer), &status),
        status, value.call, value.status);
    return 0;
}

// The text's own length is not compared with the byte count the driver is given.
template <class Value>
LONG Write(const Value& value, const char* text) {
    LONG status = kStatusNotSet;
    ResolveDataFilePaths();
    if (text == nullptr || text[0] == 0) ThrowFail(value.argument);
    auto values = GetDriverInterface<IDriverValue>();
    ThrowIfNull(values.Get(), value.valueInterface);
    BYTE* bytes = reinterpret_cast<BYTE*>(const_cast<char*>(text));
    ThrowIfCallFailed(values->WriteValue(value.item, kSubItem, value.byteCount, bytes, &status),
                      status, value.call, value.status);
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
