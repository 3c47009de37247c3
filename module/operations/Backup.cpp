#include "operations/Backup.h"

#include <memory>

#include "driver/DriverAccess.h"
#include "driver/EEPROMAccessors.h"
#include "errors/Checks.h"
#include "files/DataFilePaths.h"
#include "files/PayloadFiles.h"
#include "files/ServiceDataDocument.h"

namespace {

// A payload handed out by a reader, owned until the backup ends.
struct CPayload {
    std::unique_ptr<BYTE[]> bytes;
    ULONG count = 0;
};

CPayload ReadPayload(bool (*reader)(BYTE**, ULONG*), LONG failureLine) {
    BYTE* bytes = nullptr;
    CPayload payload;
    const bool read = reader(&bytes, &payload.count);
    payload.bytes.reset(bytes);
    if (!read) ThrowFail(kModuleSourceFile, failureLine);
    return payload;
}

}  // namespace

LONG BackUpServiceData() {
    ResolveDataFilePaths();
    // Held to the end of the call, through a failure's report.
    auto control = GetDriverInterface<IEEPROMControl>();
    ThrowIfNull(control.Get(), kModuleSourceFile, 3506);
    LONG status = 0;
    ThrowIfFailed(control->PrepareRead(1, 0, 0, 0, &status), kModuleSourceFile, 3511);
    if (status != 0) ThrowFail(kModuleSourceFile, 3514);

    const CPayload deviceDataSet = ReadPayload(GetDeviceDataSetEEPROM, 3525);
    const CPayload macAddress = ReadPayload(GetMACEEPROM, 3530);

    CServiceDataDocument document(XMLFilePath());
    if (!document.CreateDocument()) ThrowFail(kModuleSourceFile, 3543);
    const LONG ddsCount = static_cast<LONG>(deviceDataSet.count);
    if (CreateDDSFile(deviceDataSet.bytes.get(), ddsCount) != 0) ThrowFail(kModuleSourceFile, 3588);
    const LONG macCount = static_cast<LONG>(macAddress.count);
    if (!CreateMACFile(macAddress.bytes.get(), macCount)) ThrowFail(kModuleSourceFile, 3595);
    return 0;
}
