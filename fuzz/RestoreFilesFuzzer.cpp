// Fuzz target fuzz_restore_files: export F2 (restore) reads NornData.xml, NornData.dds and
// NornData.mac of any content and size (or finds none, or a directory) and writes what it read
// into the driver simulator. Beyond the error contract: the deferred-commit flag is clear
// afterwards, a failed restore commits nothing, and a successful one commits once, with both
// blocks holding the files' payloads.
#include <norn/firmware/MeasurementDriverSimulator.h>
#include <norn/firmware/RotRegistration.h>

#include <cstring>

#include "FuzzCases.h"
#include "driver/DeferredCommit.h"

using namespace norn::eeprom;
using namespace norn::fuzz;
using norn::firmware::CMeasurementDriverSimulator;

extern "C" LONG F2();

namespace {

// Block 22001 holds the length and the payload, block 22002 the payload, behind the header.
void CheckRestoredBlocks(const CMeasurementDriverSimulator& driver, const CRestoreCase& c) {
    const std::vector<BYTE> dds = driver.CommittedImage(kDeviceDataSetBlock);
    const std::string& ddsPayload = c.deviceDataSet.content;
    uint32_t length = 0;
    std::memcpy(&length, dds.data() + kHeaderSize, sizeof(length));
    NORN_FUZZ_CHECK(length == ddsPayload.size());
    NORN_FUZZ_CHECK(std::memcmp(dds.data() + kHeaderSize + 4, ddsPayload.data(), length) == 0);

    const std::vector<BYTE> mac = driver.CommittedImage(kMacAddressBlock);
    const std::string& macPayload = c.macAddress.content;
    NORN_FUZZ_CHECK(std::memcmp(mac.data() + kHeaderSize, macPayload.data(), macPayload.size()) ==
                    0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    CInputReader input(provider);
    CRestoreCase c;
    Describe(input, c);

    BeginIteration();
    LayOut(XmlFile(), c.xml);
    LayOut(DdsFile(), c.deviceDataSet);
    LayOut(MacFile(), c.macAddress);

    CMeasurementDriverSimulator driver;
    {
        norn::firmware::CRotRegistration registration(driver.Unknown(), OLESTR("TarvoMeasDriver"));
        NORN_FUZZ_CHECK(registration.Succeeded());
        const LONG result = F2();
        CheckReported(result);
        NORN_FUZZ_CHECK(!IsDeferredCommit());
        NORN_FUZZ_CHECK(driver.CommitCount() == (result == kBrightworkSucceeded ? 1 : 0));
        if (result == kBrightworkSucceeded) CheckRestoredBlocks(driver, c);
        NORN_FUZZ_CHECK(driver.Refs() == 1);  // the table's own
    }
    NORN_FUZZ_CHECK(driver.Refs() == 0);
    return 0;
}
