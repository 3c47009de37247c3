#include "operations/Backup.h"

#include <memory>

#include "driver/DriverAccess.h"
#include "driver/EEPROMAccessors.h"
#include "errors/Checks.h"
#include "files/DataFilePaths.h"
#include "files/PayloadFiles.h"
#include "files/ServiceDataDocument.h"

namespace {

// BackUpServiceData's failure points (F3), in the order the backup passes them.
constexpr struct {
    CFailurePoint controlInterface = ModuleLine(3506);
    CFailurePoint prepareReadCall = ModuleLine(3511);
    CFailurePoint prepareReadStatus = ModuleLine(3514);
    CFailurePoint deviceDataSetRead = ModuleLine(3525);
    CFailurePoint macAddressRead = ModuleLine(3530);
    CFailurePoint documentCreate = ModuleLine(3543);
    CFailurePoint ddsFileWrite = ModuleLine(3588);
    CFailurePoint macFileWrite = ModuleLine(3595);
} kBackup{};

// A payload handed out by a reader, owned until the backup ends.
struct CPayload {
    std::unique_ptr<BYTE[]> bytes;
    ULONG count = 0;
};

CPayload ReadPayload(bool (*reader)(BYTE**, ULONG*), CFailurePoint readFailed) {
    BYTE* bytes = nullptr;
    CPayload payload;
    const bool read = reader(&bytes, &payload.count);
    payload.bytes.reset(bytes);
    if (!read) ThrowFail(readFailed);
    return payload;
}

}  // namespace

LONG BackUpServiceData() {
    ResolveDataFilePaths();
    // Held to the end of the call, through a failure's report.
    auto control = GetDriverInterface<IEEPROMControl>();
    ThrowIfNull(control.Get(), kBackup.controlInterface);
    LONG status = 0;
    ThrowIfCallFailed(PrepareBlockReads(control.Get(), &status), status, kBackup.prepareReadCall,
                      kBackup.prepareReadStatus);

    const CPayload deviceDataSet = ReadPayload(GetDeviceDataSetEEPROM, kBackup.deviceDataSetRead);
    const CPayload macAddress = ReadPayload(GetMACEEPROM, kBackup.macAddressRead);

    CServiceDataDocument document(XMLFilePath());
    if (!document.CreateDocument()) ThrowFail(kBackup.documentCreate);
    const LONG ddsCount = static_cast<LONG>(deviceDataSet.count);
    if (CreateDDSFile(deviceDataSet.bytes.get(), ddsCount) != 0) ThrowFail(kBackup.ddsFileWrite);
    const LONG macCount = static_cast<LONG>(macAddress.count);
    if (!CreateMACFile(macAddress.bytes.get(), macCount)) ThrowFail(kBackup.macFileWrite);
    return 0;
}
