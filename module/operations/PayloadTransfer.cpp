#include "operations/PayloadTransfer.h"

#include <QByteArray>
#include <QFile>
#include <cstring>

#include "driver/EEPROMAccessors.h"
#include "errors/Checks.h"
#include "files/DataFilePaths.h"
#include "files/PayloadFiles.h"

namespace {

// An export's failure points; their lines are part of the error contract.
struct CExport {
    const QString& path;
    bool (*readBlock)(BYTE** buffer, ULONG* count);
    LONG nullArgumentLine;
    LONG openLine;
    LONG readLine;
    LONG mismatchLine;
    // On a mismatch the device data set export clears the first byte of the buffer it hands
    // out and the MAC address export does not: both are what hosts have always received.
    bool clearFirstByteOnMismatch;
};

// The file's whole content.
QByteArray ReadWholeFile(const QString& path, LONG openLine) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        ThrowFail(kModuleSourceFile, openLine);
    }
    return file.readAll();
}

// The payload in the block, handed out only when the file begins with the same bytes (more
// bytes in the file are not compared; fewer count as a difference). A null count is refused like
// a null buffer.
LONG ExportPayload(const CExport& payload, BYTE** buffer, ULONG* count) {
    if (count != nullptr) *count = 0;
    ResolveDataFilePaths();
    if (buffer == nullptr || count == nullptr)
        ThrowFail(kModuleSourceFile, payload.nullArgumentLine);
    const QByteArray file = ReadWholeFile(payload.path, payload.openLine);
    *count = static_cast<ULONG>(file.size());
    if (!payload.readBlock(buffer, count)) ThrowFail(kModuleSourceFile, payload.readLine);
    const bool same = static_cast<ULONG>(file.size()) >= *count &&
                      std::memcmp(*buffer, file.constData(), *count) == 0;
    if (same) return 0;
    if (payload.clearFirstByteOnMismatch) (*buffer)[0] = 0;
    ThrowFail(kModuleSourceFile, payload.mismatchLine);
}

bool ReadMacAddressBlock(BYTE** buffer, ULONG* count) {
    return GetMACEEPROM(buffer, count);
}
bool ReadDeviceDataSetBlock(BYTE** buffer, ULONG* count) {
    return GetDeviceDataSetEEPROM(buffer, count);
}

}  // namespace

LONG ImportDeviceDataSet(const BYTE* payload, LONG count) {
    ResolveDataFilePaths();
    // The file is written twice on purpose: this first write is not reported and only decides
    // the result; CreateDDSFile then writes the same bytes and reports its own failures.
    const LONG status =
        ReplaceFileContent(DDSFilePath(), payload, count) == EFileWrite::Written ? 0 : 1;
    if (CreateDDSFile(payload, count) != 0) ThrowFail(kModuleSourceFile, 1098);
    if (!SetDeviceDataSetEEPROM(payload, count)) ThrowFail(kModuleSourceFile, 1104);
    return status;
}

LONG ExportDeviceDataSet(BYTE** buffer, ULONG* count) {
    const CExport deviceDataSet = {DDSFilePath(), ReadDeviceDataSetBlock, 1224, 1230, 1249, 1257,
                                   true};
    return ExportPayload(deviceDataSet, buffer, count);
}

LONG ImportMacAddress(const BYTE* payload, LONG count) {
    ResolveDataFilePaths();
    if (!CreateMACFile(payload, count)) ThrowFail(kModuleSourceFile, 1500);
    // A negative count reaches the writer as a huge one and is refused there.
    if (!SetMACEEPROM(payload, static_cast<ULONG>(count))) ThrowFail(kModuleSourceFile, 1506);
    return 0;
}

LONG ExportMacAddress(BYTE** buffer, ULONG* count) {
    const CExport macAddress = {MACFilePath(), ReadMacAddressBlock, 1625, 1631, 1650, 1656, false};
    return ExportPayload(macAddress, buffer, count);
}
