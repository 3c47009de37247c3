// Fuzz target fuzz_restore_files: export F2 (restore) reads NornData.xml, NornData.dds and
// NornData.mac of any content and size (or finds none, or a directory) and writes what it read
// into the driver simulator. Beyond the rules every operation keeps: a failed restore commits
// nothing, and a successful one commits once, with both blocks holding the files' payloads.
#include "FuzzCases.h"

using namespace norn::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto c = ReadCase<CRestoreCase>(data, size);
    LayOut("NornData.xml", c.xml);
    LayOut("NornData.dds", c.deviceDataSet);
    LayOut("NornData.mac", c.macAddress);

    norn::firmware::CMeasurementDriverSimulator driver;
    const bool succeeded = WithDriver(driver, F2) == kBrightworkSucceeded;
    NORN_FUZZ_CHECK(driver.CommitCount() == (succeeded ? 1 : 0));
    if (!succeeded) return 0;
    // Block 22001 holds the file's payload whole, block 22002 begins with it.
    NORN_FUZZ_CHECK(PayloadOf(kDeviceDataSetBlock, driver.CommittedImage(kDeviceDataSetBlock)) ==
                    c.deviceDataSet.content);
    const std::string mac = *PayloadOf(kMacAddressBlock, driver.CommittedImage(kMacAddressBlock));
    NORN_FUZZ_CHECK(mac.compare(0, c.macAddress.content.size(), c.macAddress.content) == 0);
    return 0;
}
