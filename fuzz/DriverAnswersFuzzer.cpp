// Fuzz target fuzz_driver_answers: the operations that read EEPROM blocks or driver values, against
// the driver simulator, whose fault plan answers the first calls of each method from the input:
// the exports D5 and D7 (block reads), the erase F8 and the imports D4 and D6 (preliminary reads
// before a block write), and the restore F2 (driver value 16 read back, preliminary reads, value
// writes). The service data files are well-formed, in the form the module writes them; what
// varies is the driver. What the module asked of it is read back from the simulator's journal.
#include <map>

#include "FuzzCases.h"

using namespace norn::firmware;
using namespace norn::fuzz;

namespace {

// NornData.xml as the module writes it (see the seeds), with the identification. A byte outside
// printable ASCII, or a character XML reserves, is a character reference: it reads back as the
// Latin-1 character of that code, which the restore turns into the same byte.
std::string ServiceDataXml(const CDriverCase& c) {
    const auto text = [](const std::string& value) {
        std::string escaped;
        for (const unsigned char ch : value) {
            const bool plain =
                ch >= 0x20 && ch <= 0x7E && ch != '&' && ch != '<' && ch != '>' && ch != '"';
            escaped +=
                plain ? std::string(1, static_cast<char>(ch)) : "&#" + std::to_string(ch) + ";";
        }
        return escaped;
    };
    return "<?xml version='1.0' standalone='yes'?>\n<!DOCTYPE NornData>\n<NornData SerialNo=\"" +
           text(c.serialNumber) + "\" MaterialNo=\"" + text(c.materialNumber) + "\"/>\n";
}

// The answer to call `nth` of a method as faults; an ordinary answer needs none. No buffer with
// any declared size is a planned buffer without bytes, for which the simulator allocates nothing.
void PlanAnswer(CMeasurementDriverSimulator& driver, const char* method, LONG nth,
                const CAnswer& answer) {
    const HRESULT result = answer.Result();
    if (result != S_OK) {
        driver.AddFault(FAILED(result) ? CDriverFault::Failure(method, nth, result)
                                       : CDriverFault::Success(method, nth, result));
    }
    if (answer.status == StatusAny && answer.anyStatus != 0) {
        driver.AddFault(CDriverFault::Status(method, nth, static_cast<LONG>(answer.anyStatus)));
    }
    if (answer.status == StatusLeftAlone) {
        driver.AddFault(CDriverFault::StatusUntouched(method, nth));
    }
    if (answer.block == BlockAnySize || answer.block == BlockNullAnySize) {
        driver.AddFault(
            CDriverFault::Buffer(nth, std::vector<BYTE>(answer.bytes.begin(), answer.bytes.end()),
                                 static_cast<LONG>(answer.declared)));
    }
    if (answer.block == BlockNullBuffer) driver.AddFault(CDriverFault::NullBuffer(nth));
}

void SetUpDriver(CMeasurementDriverSimulator& driver, const CDriverCase& c) {
    const auto setImage = [&driver](LONG block, unsigned kind, const std::string& bytes,
                                    const std::string& payload) {
        driver.SetCommittedImage(block, kind == ImageRaw
                                            ? std::vector<BYTE>(bytes.begin(), bytes.end())
                                            : BlockImage(block, bytes, payload));
    };
    setImage(kDeviceDataSetBlock, c.deviceDataSetImage, c.deviceDataSetBytes, c.deviceDataSet);
    setImage(kMacAddressBlock, c.macAddressImage, c.macAddressBytes, c.macAddress);
    std::string value16 = c.value16;
    if (c.value16Unterminated) {
        std::replace(value16.begin(), value16.end(), '\0', 'x');
        driver.AddFault(CDriverFault::Unterminated(0));
    }
    driver.SetValue(norn::driver_values::kItem16, value16);
    const IID interfaces[] = {norn::InterfaceId<IEEPROMBlock>::value,  // by EMissingInterface bit
                              norn::InterfaceId<IEEPROMControl>::value,
                              norn::InterfaceId<IDriverValue>::value};
    for (unsigned bit = 0; bit < 3; ++bit) {
        if (c.missingInterfaces & (1u << bit)) {
            driver.AddFault(CDriverFault::Refused(interfaces[bit], 0));
        }
    }
    for (size_t m = 0; m < kAnsweredMethodCount; ++m) {
        for (size_t n = 0; n < kAnsweredCalls; ++n) {
            PlanAnswer(driver, kAnsweredMethods[m], static_cast<LONG>(n + 1), c.answers[m][n]);
        }
    }
}

// What the module asked of the driver, call by call: the arguments the interfaces ask for, and
// pointers where they need them (the simulator answers a missing one with E_POINTER or
// E_INVALIDARG instead of what was planned); block writes of the block's size that keep the
// header the last read of that block handed out (the journal holds both headers); values of at
// most the 200 bytes the module writes, every one of them readable (the simulator took them).
void CheckCalls(const CMeasurementDriverSimulator& driver, const CDriverCase& c) {
    using namespace norn::driver_values;
    std::map<std::string, size_t> calls;
    std::map<LONG, std::vector<BYTE>> lastHeader;
    for (const CDriverCall& call : driver.Journal()) {
        // What the call returns when the module hands it what the interface asks for.
        const size_t m =
            std::find(kAnsweredMethods, std::end(kAnsweredMethods), call.method) - kAnsweredMethods;
        const size_t nth = ++calls[call.method];
        NORN_FUZZ_CHECK(call.hresult == (m < kAnsweredMethodCount && nth <= kAnsweredCalls
                                             ? c.answers[m][nth - 1].Result()
                                             : S_OK));
        const std::vector<LONG>& a = call.arguments;
        const bool block =
            a.size() > 1 && (a[1] == kDeviceDataSetBlock || a[1] == kMacAddressBlock);
        if (call.method == "ReadBlock") {
            NORN_FUZZ_CHECK(a[0] == 0 && block);
            lastHeader[a[1]] = call.data;
        } else if (call.method == "WriteBlock") {
            NORN_FUZZ_CHECK(a[0] == 0 && block && a[2] == 1);
            NORN_FUZZ_CHECK(a[3] == (a[1] == kDeviceDataSetBlock ? kDeviceDataSetImageSize
                                                                 : kMacAddressImageSize));
            const auto header = lastHeader.find(a[1]);
            NORN_FUZZ_CHECK(header != lastHeader.end() && header->second.size() == kHeaderSize);
            NORN_FUZZ_CHECK(call.data == header->second);
        } else if (call.method == "SetEEPROMMode") {
            NORN_FUZZ_CHECK((a[0] == 0 || a[0] == 2) && a[1] == 1);
        } else if (call.method == "PrepareRead") {
            NORN_FUZZ_CHECK(a[0] == 1 && a[1] == 0 && a[2] == 0 && a[3] == 0);
        } else if (call.method == "WriteValue") {
            NORN_FUZZ_CHECK(a[0] == kSerialNumberItem || a[0] == kMaterialNumberItem ||
                            a[0] == kItem16);
            NORN_FUZZ_CHECK(a[1] == kSubItem && a[2] >= 0 && a[2] <= 200);
        } else if (call.method == "QueryValue") {
            NORN_FUZZ_CHECK(a[1] == 10 || a[1] == 13);
        } else {
            NORN_FUZZ_CHECK(call.method == "ReadValue");  // never a reserved slot
            NORN_FUZZ_CHECK(a[0] == kItem16 && a[1] == kSubItem && a[2] > 0);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto c = ReadCase<CDriverCase>(data, size);
    LayOut("NornData.xml", {FileRegular, ServiceDataXml(c)});
    LayOut("NornData.dds", {FileRegular, c.deviceDataSet});
    LayOut("NornData.mac", {FileRegular, c.macAddress});

    CMeasurementDriverSimulator driver;
    SetUpDriver(driver, c);
    // The operations, by EOperation.
    const std::function<LONG()> operations[OperationCount] = {
        [] { return Export(EntryDeviceDataSetExport).result; },
        [] { return Export(EntryMacAddressExport).result; },
        F8,
        F2,
        [&c] { return Import(EntryDeviceDataSetImport, c.deviceDataSet); },
        [&c] { return Import(EntryMacAddressImport, c.macAddress); }};
    WithDriver(driver, operations[c.operation]);
    CheckCalls(driver, c);
    return 0;
}
