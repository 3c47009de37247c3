// Fuzz target fuzz_payload_export: entries 4 ("D5", device data set) and 6 ("D7", MAC address
// block) read NornData.dds and NornData.mac of any content and size (or find none, or a directory)
// and compare them with blocks 22001 and 22002 of the driver simulator, whose payloads match the
// files, differ in one byte, or are anything, and whose length field may be anything. Beyond
// the rules every export keeps, each export must succeed exactly when its file begins with the
// block's payload, and then hand out that payload.
#include "FuzzCases.h"

using namespace norn::eeprom;
using namespace norn::fuzz;

namespace {

// The block's image as the input describes it.
std::vector<BYTE> Image(LONG block, const CBlockSpec& content, const CFileSpec& file) {
    std::string payload = content.payloadKind == PayloadOwn ? content.payload : file.content;
    if (content.payloadKind == PayloadOfFileChanged && !payload.empty()) {
        payload[content.changedByte % payload.size()] ^= 0x01;
    }
    return BlockImage(block, content.header, payload,
                      content.explicitLength ? std::optional(content.length) : std::nullopt);
}

void CheckExport(BrightworkEntry entry, LONG block, const CFileSpec& file,
                 const std::vector<BYTE>& image, bool nullBuffer, bool nullCount) {
    ErrorManager().Clear();
    const ULONG room =
        block == kDeviceDataSetBlock ? kMaxDeviceDataSetPayload : kMacAddressPayloadSize;
    const CExportResult answer = Export(entry, room, nullBuffer, nullCount);
    CheckReported(answer.result);
    const std::optional<std::string> payload = PayloadOf(block, image);
    const bool fileBeginsWithPayload = payload && file.kind == FileRegular &&
                                       file.content.compare(0, payload->size(), *payload) == 0;
    const bool succeeded = answer.result == kBrightworkSucceeded;
    NORN_FUZZ_CHECK(succeeded == (fileBeginsWithPayload && !nullBuffer && !nullCount));
    if (succeeded) NORN_FUZZ_CHECK(answer.payload == *payload);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto c = ReadCase<CExportCase>(data, size);
    BeginIteration();
    LayOut("NornData.dds", c.deviceDataSetFile);
    LayOut("NornData.mac", c.macAddressFile);
    const auto ddsImage = Image(kDeviceDataSetBlock, c.deviceDataSetBlock, c.deviceDataSetFile);
    const auto macImage = Image(kMacAddressBlock, c.macAddressBlock, c.macAddressFile);

    norn::firmware::CMeasurementDriverSimulator driver;
    driver.SetCommittedImage(kDeviceDataSetBlock, ddsImage);
    driver.SetCommittedImage(kMacAddressBlock, macImage);
    const unsigned nulls = c.nullArguments;
    WithDriver(driver, [&] {
        CheckExport(EntryDeviceDataSetExport, kDeviceDataSetBlock, c.deviceDataSetFile, ddsImage,
                    nulls & NullDeviceDataSetBuffer, nulls & NullDeviceDataSetCount);
        CheckExport(EntryMacAddressExport, kMacAddressBlock, c.macAddressFile, macImage,
                    nulls & NullMacAddressBuffer, nulls & NullMacAddressCount);
    });
    return 0;
}
