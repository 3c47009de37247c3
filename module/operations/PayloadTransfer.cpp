#include "operations/PayloadTransfer.h"

#include <QByteArray>
#include <cstring>

#include "driver/EEPROMAccessors.h"
#include "errors/Checks.h"
#include "files/DataFilePaths.h"
#include "files/PayloadFiles.h"

namespace {

// ImportDeviceDataSet's failure points (entry 3, "D4").
constexpr struct {
    CFailurePoint fileWrite = ModuleLine(1098);
    CFailurePoint blockWrite = ModuleLine(1104);
} kDeviceDataSetImport{};

// ImportMacAddress's failure points (entry 5, "D6").
constexpr struct {
    CFailurePoint fileWrite = ModuleLine(1500);
    CFailurePoint blockWrite = ModuleLine(1506);
} kMacAddressImport{};

// Each export's table: its file, its block reader, what it does to a mismatching buffer, and its
// failure points. On a mismatch the device data set export clears the first byte of the buffer
// it hands out and the MAC address export does not: both are what hosts have always received.

// ExportDeviceDataSet (entry 4, "D5").
constexpr struct {
    const QString& (*path)() noexcept = DDSFilePath;
    bool (*readBlock)(BYTE** buffer, ULONG* count) = GetDeviceDataSetEEPROM;
    bool clearFirstByteOnMismatch = true;
    CFailurePoint nullArgument = ModuleLine(1224);
    CFailurePoint fileOpen = ModuleLine(1230);
    CFailurePoint blockRead = ModuleLine(1249);
    CFailurePoint mismatch = ModuleLine(1257);
} kDeviceDataSetExport{};

// ExportMacAddress (entry 6, "D7").
constexpr struct {
    const QString& (*path)() noexcept = MACFilePath;
    bool (*readBlock)(BYTE** buffer, ULONG* count) = GetMACEEPROM;
    bool clearFirstByteOnMismatch = false;
    CFailurePoint nullArgument = ModuleLine(1625);
    CFailurePoint fileOpen = ModuleLine(1631);
    CFailurePoint blockRead = ModuleLine(1650);
    CFailurePoint mismatch = ModuleLine(1656);
} kMacAddressExport{};

// The payload in the block, handed out only when the file begins with the same bytes (more
// bytes in the file are not compared; fewer count as a difference). A null count is refused like
// a null buffer.
template <class Export>
LONG ExportPayload(const Export& payload, BYTE** buffer, ULONG* count) {
    if (count != nullptr) *count = 0;
    ResolveDataFilePaths();
    if (buffer == nullptr || count == nullptr) ThrowFail(payload.nullArgument);
    const QByteArray file =
        ReadFileContent(payload.path(), payload.fileOpen, EWholeRead::UntilTheEnd).bytes;
    *count = static_cast<ULONG>(file.size());
    if (!payload.readBlock(buffer, count)) ThrowFail(payload.blockRead);
    const bool same = static_cast<ULONG>(file.size()) >= *count &&
                      std::memcmp(*buffer, file.constData(), *count) == 0;
    if (same) return 0;
    if (payload.clearFirstByteOnMismatch) (*buffer)[0] = 0;
    ThrowFail(payload.mismatch);
}

}  // namespace

LONG ImportDeviceDataSet(const BYTE* payload, LONG count) {
    ResolveDataFilePaths();
    // The file is written twice on purpose: this first write is not reported and only decides
    // the result; CreateDDSFile then writes the same bytes and reports its own failures.
    const LONG status =
        ReplaceFileContent(DDSFilePath(), payload, count) == EFileWrite::Written ? 0 : 1;
    if (CreateDDSFile(payload, count) != 0) ThrowFail(kDeviceDataSetImport.fileWrite);
    if (!SetDeviceDataSetEEPROM(payload, count)) ThrowFail(kDeviceDataSetImport.blockWrite);
    return status;
}

LONG ExportDeviceDataSet(BYTE** buffer, ULONG* count) {
    return ExportPayload(kDeviceDataSetExport, buffer, count);
}

LONG ImportMacAddress(const BYTE* payload, LONG count) {
    ResolveDataFilePaths();
    if (!CreateMACFile(payload, count)) ThrowFail(kMacAddressImport.fileWrite);
    // A negative count reaches the writer as a huge one and is refused there.
    if (!SetMACEEPROM(payload, static_cast<ULONG>(count))) ThrowFail(kMacAddressImport.blockWrite);
    return 0;
}

LONG ExportMacAddress(BYTE** buffer, ULONG* count) {
    return ExportPayload(kMacAddressExport, buffer, count);
}
