// Fuzz target fuzz_payload_export: entries 4 ("D5", device data set) and 6 ("D7", MAC address
// block) read NornData.dds and NornData.mac of any content and size (or find none, or a directory)
// and compare them with blocks 22001 and 22002 of the driver simulator, whose payloads match the
// files, differ in one byte, or are anything, and whose length field may be anything. Beyond
// the rules every export keeps, each export must succeed exactly when its file begins with the
// block's payload, and then hand out that payload.
#include <norn/firmware/MeasurementDriverSimulator.h>
#include <norn/firmware/RotRegistration.h>

#include <algorithm>
#include <cstring>

#include "FuzzCases.h"

using namespace norn::eeprom;
using namespace norn::fuzz;
using norn::firmware::CMeasurementDriverSimulator;

namespace {

// The block's payload as the input describes it, cut to the room the block has.
std::string BlockPayload(const CBlockSpec& block, const CFileSpec& file, size_t room) {
    std::string payload = block.payloadKind == PayloadOwn ? block.payload : file.content;
    if (block.payloadKind == PayloadOfFileChanged && !payload.empty()) {
        payload[block.changedByte % payload.size()] ^= 0x01;
    }
    payload.resize(std::min(payload.size(), room));
    return payload;
}

// The block image: header, (length field,) payload, then 0xA5.
std::vector<BYTE> BlockImage(const CBlockSpec& block, const std::string& payload, LONG size,
                             bool hasLengthField) {
    std::vector<BYTE> image(size, kErasedByte);
    std::copy(block.header.begin(), block.header.end(), image.begin());
    size_t offset = kHeaderSize;
    if (hasLengthField) {
        const uint32_t length = block.explicitLength ? block.length : payload.size();
        std::memcpy(image.data() + offset, &length, sizeof(length));
        offset += sizeof(length);
    }
    std::copy(payload.begin(), payload.end(), image.begin() + offset);
    return image;
}

// The payload the export hands out when everything is in place: `length` bytes from `offset` of
// the image, if the file begins with them.
bool FileBeginsWith(const CFileSpec& file, const std::vector<BYTE>& image, size_t offset,
                    size_t length) {
    return file.kind == FileRegular && file.content.size() >= length &&
           std::memcmp(file.content.data(), image.data() + offset, length) == 0;
}

void RunExport(BrightworkEntry entry, unsigned nullArguments, unsigned nullBuffer,
               unsigned nullCount, bool expectSuccess, ULONG maxCount, const CFileSpec& file) {
    ErrorManager().Clear();
    const bool noBuffer = (nullArguments & nullBuffer) != 0;
    const bool noCount = (nullArguments & nullCount) != 0;
    const CExportCall call = CallExport(entry, noBuffer, noCount);
    CheckReported(call.result);
    const bool succeeded = call.result == kBrightworkSucceeded;
    NORN_FUZZ_CHECK(succeeded == (expectSuccess && !noBuffer && !noCount));
    if (succeeded) {
        NORN_FUZZ_CHECK(std::memcmp(call.buffer, file.content.data(), call.count) == 0);
    }
    CheckAndReleaseExport(call, maxCount, noBuffer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    CInputReader input(provider);
    CExportCase c;
    Describe(input, c);

    BeginIteration();
    LayOut(DdsFile(), c.deviceDataSetFile);
    LayOut(MacFile(), c.macAddressFile);

    const std::string ddsPayload =
        BlockPayload(c.deviceDataSetBlock, c.deviceDataSetFile, kMaxDeviceDataSetPayload);
    const std::string macPayload =
        BlockPayload(c.macAddressBlock, c.macAddressFile, kMacAddressPayloadSize);
    const auto ddsImage =
        BlockImage(c.deviceDataSetBlock, ddsPayload, kDeviceDataSetImageSize, true);
    const auto macImage = BlockImage(c.macAddressBlock, macPayload, kMacAddressImageSize, false);
    uint32_t ddsLength = 0;
    std::memcpy(&ddsLength, ddsImage.data() + kHeaderSize, sizeof(ddsLength));
    const bool ddsValid = ddsLength <= static_cast<uint32_t>(kMaxDeviceDataSetPayload) &&
                          FileBeginsWith(c.deviceDataSetFile, ddsImage, kHeaderSize + 4, ddsLength);
    const bool macValid =
        FileBeginsWith(c.macAddressFile, macImage, kHeaderSize, kMacAddressPayloadSize);

    CMeasurementDriverSimulator driver;
    driver.SetCommittedImage(kDeviceDataSetBlock, ddsImage);
    driver.SetCommittedImage(kMacAddressBlock, macImage);
    {
        norn::firmware::CRotRegistration registration(driver.Unknown(), OLESTR("TarvoMeasDriver"));
        NORN_FUZZ_CHECK(registration.Succeeded());
        RunExport(EntryDeviceDataSetExport, c.nullArguments, NullDeviceDataSetBuffer,
                  NullDeviceDataSetCount, ddsValid, kMaxDeviceDataSetPayload, c.deviceDataSetFile);
        RunExport(EntryMacAddressExport, c.nullArguments, NullMacAddressBuffer, NullMacAddressCount,
                  macValid, kMacAddressPayloadSize, c.macAddressFile);
        NORN_FUZZ_CHECK(driver.Refs() == 1);  // the table's own
    }
    NORN_FUZZ_CHECK(driver.Refs() == 0);
    return 0;
}
