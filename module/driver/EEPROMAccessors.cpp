#include "driver/EEPROMAccessors.h"

#include <cstdint>
#include <cstring>
#include <memory>

#include "driver/BlockImage.h"
#include "driver/DeferredCommit.h"
#include "driver/DriverAccess.h"
#include "errors/Checks.h"
#include "reports/OperationGuard.h"

using namespace norn::eeprom;
using norn::CInterfacePtr;

namespace {

// A writer's failure points; their lines are part of the error contract.
struct CWriterLines {
    LONG tooLong;
    LONG blockInterface;
    LONG controlInterface;
    CReadLines read;
    LONG writeCall;
    LONG writeStatus;
    LONG commitCall;
    LONG commitStatus;
};

constexpr CWriterLines kDeviceDataSetWriter = {907, 911, 912, {919, 923}, 956, 960, 968, 971};
constexpr CWriterLines kMacAddressWriter = {1325, 1329, 1330, {1337, 1341}, 1368, 1372, 1379, 1382};

// A reader's failure points.
struct CReaderLines {
    LONG blockInterface;
    LONG call;
    LONG status;
    LONG size;
};

constexpr CReaderLines kDeviceDataSetReader = {1150, 1156, 1160, 1166};
constexpr CReaderLines kMacAddressReader = {1551, 1557, 1561, 1567};

// Writes the payload at payloadOffset of the block's image; the device data set also records
// its length at byte 8.
bool WriteBlockPayload(LONG blockNumber, LONG imageSize, LONG payloadOffset, const BYTE* payload,
                       LONG count, const CWriterLines& lines) {
    auto block = GetDriverInterface<IEEPROMBlock>();
    ThrowIfNull(block.Get(), kModuleSourceFile, lines.blockInterface);
    auto control = GetDriverInterface<IEEPROMControl>();
    ThrowIfNull(control.Get(), kModuleSourceFile, lines.controlInterface);
    std::unique_ptr<BYTE[]> image =
        ReadImageForRewrite(block.Get(), blockNumber, imageSize, lines.read);
    if (payloadOffset > kHeaderSize) {
        const uint32_t length = static_cast<uint32_t>(count);
        std::memcpy(image.get() + kHeaderSize, &length, sizeof(length));  // little-endian
    }
    if (count > 0) std::memcpy(image.get() + payloadOffset, payload, count);
    WriteImage(block.Get(), blockNumber, imageSize, image.get(), lines.writeCall,
               lines.writeStatus);
    CommitOrDefer(control.Get(), lines.commitCall, lines.commitStatus);
    return true;
}

// Reads the block's image; refuses any nonzero status, a wrong size or a missing buffer.
const BYTE* ReadWholeImage(IEEPROMBlock* block, LONG blockNumber, LONG imageSize,
                           const CReaderLines& lines) {
    const CBlockRead read = ReadBlockImage(block, blockNumber, lines.call);
    if (read.status != 0) ThrowFail(kModuleSourceFile, lines.status);
    if (read.size != imageSize || read.buffer == nullptr) ThrowFail(kModuleSourceFile, lines.size);
    return read.buffer;
}

// A new zero-filled buffer of length + 1 bytes holding the payload.
BYTE* CopyPayload(const BYTE* source, ULONG length) {
    BYTE* payload = new BYTE[length + 1]();
    std::memcpy(payload, source, length);
    return payload;
}

bool ReadDeviceDataSet(BYTE** buffer, ULONG* count) {
    auto block = GetDriverInterface<IEEPROMBlock>();
    ThrowIfNull(block.Get(), kModuleSourceFile, kDeviceDataSetReader.blockInterface);
    const BYTE* image = ReadWholeImage(block.Get(), kDeviceDataSetBlock, kDeviceDataSetImageSize,
                                       kDeviceDataSetReader);
    uint32_t length = 0;
    std::memcpy(&length, image + kHeaderSize, sizeof(length));
    *count = length;
    // An erased block reads 0xA5A5A5A5 here: refused without a report.
    if (length > static_cast<uint32_t>(kMaxDeviceDataSetPayload)) return false;
    *buffer = CopyPayload(image + kHeaderSize + 4, length);
    return true;
}

bool ReadMacAddress(BYTE** buffer, ULONG* count) {
    auto block = GetDriverInterface<IEEPROMBlock>();
    ThrowIfNull(block.Get(), kModuleSourceFile, kMacAddressReader.blockInterface);
    const BYTE* image =
        ReadWholeImage(block.Get(), kMacAddressBlock, kMacAddressImageSize, kMacAddressReader);
    *buffer = CopyPayload(image + kHeaderSize, kMacAddressPayloadSize);
    *count = kMacAddressPayloadSize;
    return true;
}

}  // namespace

bool SetDeviceDataSetEEPROM(const BYTE* payload, LONG count) {
    return RunGuarded<bool>("SetDeviceDataSetEEPROM", false, [&] {
        // A null payload with a count is refused like a bad count, before the driver is asked.
        if (count > kMaxDeviceDataSetPayload || count < 0 || (payload == nullptr && count > 0)) {
            ThrowFail(kModuleSourceFile, kDeviceDataSetWriter.tooLong);
        }
        return WriteBlockPayload(kDeviceDataSetBlock, kDeviceDataSetImageSize, kHeaderSize + 4,
                                 payload, count, kDeviceDataSetWriter);
    });
}

bool SetMACEEPROM(const BYTE* payload, ULONG count) {
    return RunGuarded<bool>("SetMACEEPROM", false, [&] {
        if (count > static_cast<ULONG>(kMacAddressPayloadSize) ||
            (payload == nullptr && count > 0)) {
            ThrowFail(kModuleSourceFile, kMacAddressWriter.tooLong);
        }
        return WriteBlockPayload(kMacAddressBlock, kMacAddressImageSize, kHeaderSize, payload,
                                 static_cast<LONG>(count), kMacAddressWriter);
    });
}

bool GetDeviceDataSetEEPROM(BYTE** buffer, ULONG* count) {
    return RunGuarded<bool>("GetDeviceDataSetEEPROM", false,
                            [&] { return ReadDeviceDataSet(buffer, count); });
}

bool GetMACEEPROM(BYTE** buffer, ULONG* count) {
    return RunGuarded<bool>("GetMACEEPROM", false, [&] { return ReadMacAddress(buffer, count); });
}
