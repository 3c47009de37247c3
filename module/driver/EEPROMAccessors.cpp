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

// SetDeviceDataSetEEPROM's failure points.
constexpr struct {
    CFailurePoint tooLong = ModuleLine(907);
    CFailurePoint blockInterface = ModuleLine(911);
    CFailurePoint controlInterface = ModuleLine(912);
    CFailurePoint readCall = ModuleLine(919);
    CFailurePoint readSize = ModuleLine(923);
    CFailurePoint writeCall = ModuleLine(956);
    CFailurePoint writeStatus = ModuleLine(960);
    CFailurePoint commitCall = ModuleLine(968);
    CFailurePoint commitStatus = ModuleLine(971);
} kDeviceDataSetWriter{};

// SetMACEEPROM's failure points.
constexpr struct {
    CFailurePoint tooLong = ModuleLine(1325);
    CFailurePoint blockInterface = ModuleLine(1329);
    CFailurePoint controlInterface = ModuleLine(1330);
    CFailurePoint readCall = ModuleLine(1337);
    CFailurePoint readSize = ModuleLine(1341);
    CFailurePoint writeCall = ModuleLine(1368);
    CFailurePoint writeStatus = ModuleLine(1372);
    CFailurePoint commitCall = ModuleLine(1379);
    CFailurePoint commitStatus = ModuleLine(1382);
} kMacAddressWriter{};

// GetDeviceDataSetEEPROM's failure points.
constexpr struct {
    CFailurePoint blockInterface = ModuleLine(1150);
    CFailurePoint readCall = ModuleLine(1156);
    CFailurePoint readStatus = ModuleLine(1160);
    CFailurePoint readSize = ModuleLine(1166);
} kDeviceDataSetReader{};

// GetMACEEPROM's failure points.
constexpr struct {
    CFailurePoint blockInterface = ModuleLine(1551);
    CFailurePoint readCall = ModuleLine(1557);
    CFailurePoint readStatus = ModuleLine(1561);
    CFailurePoint readSize = ModuleLine(1567);
} kMacAddressReader{};

// Writes the payload at payloadOffset of the block's image; the device data set also records
// its length at byte 8. The writer's failure points are those of one of the two tables above.
template <class WriterPoints>
bool WriteBlockPayload(LONG blockNumber, LONG imageSize, LONG payloadOffset, const BYTE* payload,
                       LONG count, const WriterPoints& at) {
    auto block = GetDriverInterface<IEEPROMBlock>();
    ThrowIfNull(block.Get(), at.blockInterface);
    auto control = GetDriverInterface<IEEPROMControl>();
    ThrowIfNull(control.Get(), at.controlInterface);
    std::unique_ptr<BYTE[]> image =
        ReadImageForRewrite(block.Get(), blockNumber, imageSize, at.readCall, at.readSize);
    if (payloadOffset > kHeaderSize) {
        const uint32_t length = static_cast<uint32_t>(count);
        std::memcpy(image.get() + kHeaderSize, &length, sizeof(length));  // little-endian
    }
    if (count > 0) std::memcpy(image.get() + payloadOffset, payload, count);
    WriteImage(block.Get(), blockNumber, imageSize, image.get(), at.writeCall, at.writeStatus);
    CommitOrDefer(control.Get(), at.commitCall, at.commitStatus);
    return true;
}

// Reads the block's image; refuses any nonzero status, a wrong size or a missing buffer.
template <class ReaderPoints>
const BYTE* ReadWholeImage(IEEPROMBlock* block, LONG blockNumber, LONG imageSize,
                           const ReaderPoints& at) {
    const CBlockRead read = ReadBlockImage(block, blockNumber, at.readCall);
    if (read.status != 0) ThrowFail(at.readStatus);
    if (read.size != imageSize || read.buffer == nullptr) ThrowFail(at.readSize);
    return read.buffer;
}

// A new zero-filled buffer of length + 1 bytes holding the payload.
BYTE* CopyPayload(const BYTE* source, ULONG length) {
    BYTE* payload = new BYTE[length + 1]();
    std::memcpy(payload, source, length);
    return payload;
}

[[nodiscard]] bool ReadDeviceDataSet(BYTE** buffer, ULONG* count) {
    auto block = GetDriverInterface<IEEPROMBlock>();
    ThrowIfNull(block.Get(), kDeviceDataSetReader.blockInterface);
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

[[nodiscard]] bool ReadMacAddress(BYTE** buffer, ULONG* count) {
    auto block = GetDriverInterface<IEEPROMBlock>();
    ThrowIfNull(block.Get(), kMacAddressReader.blockInterface);
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
            ThrowFail(kDeviceDataSetWriter.tooLong);
        }
        return WriteBlockPayload(kDeviceDataSetBlock, kDeviceDataSetImageSize, kHeaderSize + 4,
                                 payload, count, kDeviceDataSetWriter);
    });
}

bool SetMACEEPROM(const BYTE* payload, ULONG count) {
    return RunGuarded<bool>("SetMACEEPROM", false, [&] {
        if (count > static_cast<ULONG>(kMacAddressPayloadSize) ||
            (payload == nullptr && count > 0)) {
            ThrowFail(kMacAddressWriter.tooLong);
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
