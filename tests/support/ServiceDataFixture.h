// CServiceDataFixture: the firmware fixture plus the service data root a host process finds:
// TARVO_SYSTEM_ROOT_RW names a fresh root with its eeprom/xml folder, and event-log lines are
// captured. Helpers read the data files and the error manager's reports back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/FirmwareFixture.h"
#include "support/LogCapture.h"
#include "support/TempDirectory.h"

namespace norn::test {

// The payload of a block image: the MAC address block's after the header, the device data
// set's as long as its length field says (empty when that is out of range).
inline std::string PayloadOf(const std::vector<BYTE>& image, LONG block) {
    using namespace norn::eeprom;
    if (image.size() < static_cast<size_t>(kHeaderSize) + 4) return {};
    if (block == kMacAddressBlock) return {image.begin() + kHeaderSize, image.end()};
    const uint32_t length = image[8] | image[9] << 8 | image[10] << 16 | image[11] << 24;
    if (length > static_cast<uint32_t>(kMaxDeviceDataSetPayload)) return {};
    return {image.begin() + 12, image.begin() + 12 + length};
}

class CServiceDataFixture : public CFirmwareFixture {
protected:
    CServiceDataFixture() {
        m_xmlDirectory = CTempDirectory::MakeServiceDataDirectory(m_root.Path());
        setenv("TARVO_SYSTEM_ROOT_RW", m_root.Path().c_str(), 1);
    }
    ~CServiceDataFixture() override { unsetenv("TARVO_SYSTEM_ROOT_RW"); }

    std::string DataFile(const char* name) const { return m_xmlDirectory + "/" + name; }
    std::string FileContent(const char* name) const {
        std::ifstream in(DataFile(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::vector<firmware::CReceivedReport> Reports() const { return m_manager.Reports(); }

    CLogCapture m_events = CLogCapture::EventLog();
    CTempDirectory m_root{"norn-root"};
    std::string m_xmlDirectory;
};

}  // namespace norn::test
