// Fuzz target fuzz_driver_answers: the operations that read EEPROM blocks or driver values, against
// the driver simulator, whose fault plan answers the first calls of each method from the input:
// the exports D5 and D7 (block reads), the erase F8 and the imports D4 and D6 (preliminary reads
// before a block write), and the restore F2 (driver value 16 read back, preliminary reads, value
// writes). The service data files are well-formed, in the form the module writes them; what
// varies is the driver. What the module asked of it is read back from the simulator's journal.
#include <norn/firmware/MeasurementDriverSimulator.h>
#include <norn/firmware/RotRegistration.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "FuzzCases.h"
#include "driver/DeferredCommit.h"

using namespace norn::eeprom;
using namespace norn::fuzz;
using norn::firmware::CDriverCall;
using norn::firmware::CDriverFault;
using norn::firmware::CMeasurementDriverSimulator;

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

// The module writes values of at most 200 bytes (driver value 16 written back).
constexpr LONG kMaxValueWrite = 200;

bool IsServiceDataBlock(LONG block) {
    return block == kDeviceDataSetBlock || block == kMacAddressBlock;
}

LONG BlockSize(LONG block) {
    return block == kDeviceDataSetBlock ? kDeviceDataSetImageSize : kMacAddressImageSize;
}

// The image a block starts with: the header and the payload that well-formed blocks hold (the
// device data set behind its length field), erased bytes after it; or the raw bytes.
std::vector<BYTE> BlockImage(unsigned kind, const std::string& bytes, const std::string& payload,
                             LONG block) {
    if (kind == ImageRaw) return std::vector<BYTE>(bytes.begin(), bytes.end());
    std::vector<BYTE> image(BlockSize(block), kErasedByte);
    std::copy(bytes.begin(), bytes.end(), image.begin());
    size_t offset = kHeaderSize;
    size_t room = kMacAddressPayloadSize;
    if (block == kDeviceDataSetBlock) {
        room = kMaxDeviceDataSetPayload;
        const uint32_t length = static_cast<uint32_t>(std::min(payload.size(), room));
        std::memcpy(image.data() + offset, &length, sizeof(length));
        offset += sizeof(length);
    }
    std::copy_n(payload.begin(), std::min(payload.size(), room), image.begin() + offset);
    return image;
}

// The answer to call `nth` of a method as faults; an ordinary answer needs none.
void PlanAnswer(CMeasurementDriverSimulator& driver, const char* method, LONG nth,
                const CAnswer& answer) {
    const HRESULT result = answer.Result();
    if (FAILED(result)) driver.AddFault(CDriverFault::Failure(method, nth, result));
    if (SUCCEEDED(result) && result != S_OK) {
        driver.AddFault(CDriverFault::Success(method, nth, result));
    }
    if (answer.status == StatusAny && answer.anyStatus != 0) {
        driver.AddFault(CDriverFault::Status(method, nth, static_cast<LONG>(answer.anyStatus)));
    }
    if (answer.status == StatusLeftAlone) {
        driver.AddFault(CDriverFault::StatusUntouched(method, nth));
    }
    // No buffer with any declared size is a planned buffer without bytes, for which the simulator
    // allocates nothing (a wrong byte count would make it allocate the declared size).
    if (answer.block == BlockAnySize || answer.block == BlockNullAnySize) {
        driver.AddFault(
            CDriverFault::Buffer(nth, std::vector<BYTE>(answer.bytes.begin(), answer.bytes.end()),
                                 static_cast<LONG>(answer.declared)));
    }
    if (answer.block == BlockNullBuffer) driver.AddFault(CDriverFault::NullBuffer(nth));
}

void SetUpDriver(CMeasurementDriverSimulator& driver, const CDriverCase& c) {
    driver.SetCommittedImage(kDeviceDataSetBlock,
                             BlockImage(c.deviceDataSetImage, c.deviceDataSetBytes, c.deviceDataSet,
                                        kDeviceDataSetBlock));
    driver.SetCommittedImage(kMacAddressBlock, BlockImage(c.macAddressImage, c.macAddressBytes,
                                                          c.macAddress, kMacAddressBlock));
    std::string value16 = c.value16;
    if (c.value16Unterminated) {
        std::replace(value16.begin(), value16.end(), '\0', 'x');
        driver.AddFault(CDriverFault::Unterminated(0));
    }
    driver.SetValue(norn::driver_values::kItem16, value16);
    const struct {
        unsigned bit;
        IID iid;
    } interfaces[] = {{MissingBlock, norn::InterfaceId<IEEPROMBlock>::value},
                      {MissingControl, norn::InterfaceId<IEEPROMControl>::value},
                      {MissingValue, norn::InterfaceId<IDriverValue>::value}};
    for (const auto& missing : interfaces) {
        if (c.missingInterfaces & missing.bit)
            driver.AddFault(CDriverFault::Refused(missing.iid, 0));
    }
    for (size_t m = 0; m < kAnsweredMethodCount; ++m) {
        for (size_t n = 0; n < kAnsweredCalls; ++n) {
            PlanAnswer(driver, kAnsweredMethods[m], static_cast<LONG>(n + 1), c.answers[m][n]);
        }
    }
}

// What call `nth` of the method returns when the module hands it what the interface asks for.
HRESULT PlannedResult(const CDriverCase& c, const std::string& method, LONG nth) {
    for (size_t m = 0; m < kAnsweredMethodCount; ++m) {
        if (method == kAnsweredMethods[m] && nth <= static_cast<LONG>(kAnsweredCalls)) {
            return c.answers[m][nth - 1].Result();
        }
    }
    return S_OK;
}

// What the module asked of the driver, call by call: the arguments the interfaces ask for, and
// pointers where they need them (the simulator answers a missing one with E_POINTER or
// E_INVALIDARG instead of what was planned); block writes of the block's size that keep the
// header the last read of that block handed out (the journal holds both headers).
void CheckCalls(const CMeasurementDriverSimulator& driver, const CDriverCase& c) {
    using namespace norn::driver_values;
    std::map<std::string, LONG> calls;
    std::map<LONG, std::vector<BYTE>> lastHeader;
    for (const CDriverCall& call : driver.Journal()) {
        NORN_FUZZ_CHECK(call.hresult == PlannedResult(c, call.method, ++calls[call.method]));
        const std::vector<LONG>& a = call.arguments;
        if (call.method == "ReadBlock") {
            NORN_FUZZ_CHECK(a[0] == 0 && IsServiceDataBlock(a[1]));
            lastHeader[a[1]] = call.data;
        } else if (call.method == "WriteBlock") {
            NORN_FUZZ_CHECK(a[0] == 0 && IsServiceDataBlock(a[1]) && a[2] == 1);
            NORN_FUZZ_CHECK(a[3] == BlockSize(a[1]));
            const auto header = lastHeader.find(a[1]);
            NORN_FUZZ_CHECK(header != lastHeader.end() && header->second.size() == kHeaderSize);
            NORN_FUZZ_CHECK(call.data == header->second);
        } else if (call.method == "SetEEPROMMode") {
            NORN_FUZZ_CHECK((a[0] == 0 || a[0] == 2) && a[1] == 1);
        } else if (call.method == "PrepareRead") {
            NORN_FUZZ_CHECK(a[0] == 1 && a[1] == 0 && a[2] == 0 && a[3] == 0);
        } else if (call.method == "WriteValue") {
            // The simulator took every one of the byte count's bytes: they were readable.
            NORN_FUZZ_CHECK(a[0] == kSerialNumberItem || a[0] == kMaterialNumberItem ||
                            a[0] == kItem16);
            NORN_FUZZ_CHECK(a[1] == kSubItem && a[2] >= 0 && a[2] <= kMaxValueWrite);
        } else if (call.method == "QueryValue") {
            NORN_FUZZ_CHECK(a[1] == 10 || a[1] == 13);
        } else {
            NORN_FUZZ_CHECK(call.method == "ReadValue");  // never a reserved slot
            NORN_FUZZ_CHECK(a[0] == kItem16 && a[1] == kSubItem && a[2] > 0);
        }
    }
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

    CMeasurementDriverSimulator driver;
    SetUpDriver(driver, c);
    {
        norn::firmware::CRotRegistration registration(driver.Unknown(), OLESTR("TarvoMeasDriver"));
        NORN_FUZZ_CHECK(registration.Succeeded());
        CheckReported(RunOperation(c));
        NORN_FUZZ_CHECK(driver.Refs() == 1);  // the table's own
    }
    NORN_FUZZ_CHECK(driver.Refs() == 0);
    NORN_FUZZ_CHECK(driver.HandedOutBuffersIntact());
    CheckCalls(driver, c);
    return 0;
}
