// Fuzz target fuzz_payload_export: entries 4 ("D5", device data set) and 6 ("D7", MAC address
// block) read NornData.dds and NornData.mac of any content and size (or find none, or a directory)
// and compare them with blocks 22001 and 22002 of the driver simulator (as CBlockSpec describes
// them). Beyond the rules every export keeps, each export must succeed exactly when its file
// begins with the block's payload, and then hand out that payload.
#include "FuzzCases.h"

using namespace norn::fuzz;
using norn::firmware::CMeasurementDriverSimulator;

namespace {

// Gives the block the image the input describes.
void SetImage(CMeasurementDriverSimulator& driver, LONG block, const CBlockSpec& content,
              const CFileSpec& file) {
    std::string payload = content.payloadKind == PayloadOwn ? content.payload : file.content;
    if (content.payloadKind == PayloadOfFileChanged && !payload.empty()) {
        payload[content.changedByte % payload.size()] ^= 0x01;
    }
    driver.SetCommittedImage(
        block, BlockImage(block, content.header, payload,
                          content.explicitLength ? std::optional(content.length) : std::nullopt));
}

void CheckExport(CMeasurementDriverSimulator& driver, BrightworkEntry entry, LONG block,
                 const CFileSpec& file, bool nullBuffer, bool nullCount) {
    const std::optional<std::string> payload = PayloadOf(block, driver.CommittedImage(block));
    CExportResult answer;
    WithDriver(driver, [&] {
        answer = Export(entry, nullBuffer, nullCount);
        return answer.result;
    });
    const bool fileBeginsWithPayload = payload && file.kind == FileRegular &&
                                       file.content.compare(0, payload->size(), *payload) == 0;
    const bool succeeded = answer.result == kBrightworkSucceeded;
    NORN_FUZZ_CHECK(succeeded == (fileBeginsWithPayload && !nullBuffer && !nullCount));
    if (succeeded) NORN_FUZZ_CHECK(answer.payload == *payload);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto c = ReadCase<CExportCase>(data, size);
    LayOut("NornData.dds", c.deviceDataSetFile);
    LayOut("NornData.mac", c.macAddressFile);
    CMeasurementDriverSimulator driver;
    SetImage(driver, kDeviceDataSetBlock, c.deviceDataSetBlock, c.deviceDataSetFile);
    SetImage(driver, kMacAddressBlock, c.macAddressBlock, c.macAddressFile);
    const unsigned nulls = c.nullArguments;
    CheckExport(driver, EntryDeviceDataSetExport, kDeviceDataSetBlock, c.deviceDataSetFile,
                nulls & NullDeviceDataSetBuffer, nulls & NullDeviceDataSetCount);
    CheckExport(driver, EntryMacAddressExport, kMacAddressBlock, c.macAddressFile,
                nulls & NullMacAddressBuffer, nulls & NullMacAddressCount);
    return 0;
}
