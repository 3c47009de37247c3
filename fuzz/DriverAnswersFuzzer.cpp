// Fuzz target fuzz_driver_answers: the operations that read EEPROM blocks or driver values, against
// CFuzzDriver, which answers every call from the input: the exports D5 and D7 (block reads),
// the erase F8 and the imports D4 and D6 (preliminary reads before a block write), and the
// restore F2 (driver value 16 read back, preliminary reads, value writes). The service data
// files are well-formed, in the form the module writes them; what varies is the driver.
#include <norn/firmware/RotRegistration.h>

#include <string>

#include "FuzzCases.h"
#include "driver/DeferredCommit.h"

using namespace norn::eeprom;
using namespace norn::fuzz;

extern "C" LONG F2();
extern "C" LONG F8();

namespace {

// An attribute value with every byte outside printable ASCII, and the characters XML reserves,
// as a character reference: a byte reads back as the Latin-1 character of that code, which the
// restore turns into the same byte (references that XML forbids make the document unreadable).
std::string AttributeText(const std::string& value) {
    std::string text;
    for (const unsigned char c : value) {
        if (c < 0x20 || c > 0x7E || c == '&' || c == '<' || c == '>' || c == '"') {
            text += "&#" + std::to_string(c) + ";";
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

// NornData.xml as the module writes it (see the seeds), with the identification, and the two
// payload files.
void WriteServiceDataFiles(const CDriverCase& c) {
    const std::string xml =
        "<?xml version='1.0' standalone='yes'?>\n<!DOCTYPE NornData>\n"
        "<NornData SerialNo=\"" +
        AttributeText(c.serialNumber) + "\" MaterialNo=\"" + AttributeText(c.materialNumber) +
        "\"/>\n";
    LayOut(XmlFile(), {FileRegular, xml});
    LayOut(DdsFile(), {FileRegular, c.deviceDataSet});
    LayOut(MacFile(), {FileRegular, c.macAddress});
}

LONG RunExport(BrightworkEntry entry, ULONG maxCount) {
    const CExportCall call = CallExport(entry, false, false);
    CheckAndReleaseExport(call, maxCount, false);
    return call.result;
}

LONG RunOperation(const CDriverCase& c) {
    switch (c.operation) {
        case OperationDeviceDataSetExport:
            return RunExport(EntryDeviceDataSetExport, kMaxDeviceDataSetPayload);
        case OperationMacAddressExport:
            return RunExport(EntryMacAddressExport, kMacAddressPayloadSize);
        case OperationErase:
            return F8();
        case OperationRestore: {
            const LONG result = F2();
            NORN_FUZZ_CHECK(!IsDeferredCommit());
            return result;
        }
        case OperationDeviceDataSetImport:
            return CallImport(EntryDeviceDataSetImport, c.deviceDataSet);
        default:
            return CallImport(EntryMacAddressImport, c.macAddress);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    CInputReader input(provider);
    CDriverCase c;
    Describe(input, c);

    BeginIteration();
    WriteServiceDataFiles(c);

    CFuzzDriver driver(input, c.missingInterfaces, c.deviceDataSet, c.macAddress);
    {
        norn::firmware::CRotRegistration registration(driver.Unknown(), OLESTR("TarvoMeasDriver"));
        NORN_FUZZ_CHECK(registration.Succeeded());
        CheckReported(RunOperation(c));
        NORN_FUZZ_CHECK(driver.Refs() == 1);  // the table's own
    }
    NORN_FUZZ_CHECK(driver.Refs() == 0);
    return 0;
}
