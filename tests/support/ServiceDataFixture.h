// CServiceDataFixture: the firmware fixture plus the service data root a host process finds:
// TARVO_SYSTEM_ROOT_RW names a fresh root with its eeprom/xml folder, and event-log lines are
// captured. Helpers read the data files and the error manager's reports back.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/FirmwareFixture.h"
#include "support/LogCapture.h"
#include "support/TempDirectory.h"

namespace norn::test {

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
