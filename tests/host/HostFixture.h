// CHostFixture: a host process as the firmware sets it up. The thread has joined COM, the
// measurement driver and error manager simulators are registered behind this process's prefix,
// TARVO_SYSTEM_ROOT_RW names a fresh service data root with its eeprom/xml folder, event-log and
// diagnostics lines are captured, and then the module is loaded by path.
#pragma once

#include <gtest/gtest.h>

#include <norn/firmware/ErrorManagerSimulator.h>
#include <norn/firmware/MeasurementDriverSimulator.h>
#include <norn/firmware/RotRegistration.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "norn/ComApartment.h"
#include "support/LoadedModule.h"
#include "support/LogCapture.h"
#include "support/TempDirectory.h"

namespace norn::test {

class CHostFixture : public ::testing::Test {
protected:
    CHostFixture() {
        m_xmlDirectory = CTempDirectory::MakeServiceDataDirectory(m_root.Path());
        setenv("TARVO_SYSTEM_ROOT_RW", m_root.Path().c_str(), 1);
    }
    ~CHostFixture() override { unsetenv("TARVO_SYSTEM_ROOT_RW"); }

    void SetUp() override {
        ASSERT_EQ(m_apartment.Result(), S_OK);
        ASSERT_TRUE(m_driverRegistration->Succeeded());
        ASSERT_TRUE(m_managerRegistration->Succeeded());
        m_module = std::make_unique<CLoadedModule>();
        ASSERT_TRUE(m_module->Loaded()) << dlerror();
    }
    void TearDown() override {
        m_module.reset();
        m_driverRegistration.reset();
        m_managerRegistration.reset();
        EXPECT_EQ(m_driver.Refs(), 0u) << "the module kept a driver reference";
        EXPECT_EQ(m_manager.Refs(), 0u) << "the module kept an error manager reference";
    }

    // Takes a simulator out of the Running Object Table for the rest of the test.
    void UnregisterDriver() { m_driverRegistration.reset(); }
    void UnregisterErrorManager() { m_managerRegistration.reset(); }

    std::string DataFile(const char* name) const { return m_xmlDirectory + "/" + name; }
    std::string FileContent(const char* name) const {
        std::ifstream in(DataFile(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // The error manager's reports in order, as "code:line".
    std::vector<std::string> ReportTrail() const {
        std::vector<std::string> trail;
        for (const auto& r : Reports()) {
            trail.push_back(std::string(r.reportCode.text.begin(), r.reportCode.text.end()) + ":" +
                            std::to_string(r.line));
        }
        return trail;
    }
    std::vector<firmware::CReceivedReport> Reports() const { return m_manager.Reports(); }
    const CLoadedModule& Module() const { return *m_module; }

    CLogCapture m_events = CLogCapture::EventLog();
    CLogCapture m_diagnostics = CLogCapture::Diagnostics();
    CTempDirectory m_root{"norn-root"};
    std::string m_xmlDirectory;
    CComApartment m_apartment;
    firmware::CMeasurementDriverSimulator m_driver;
    firmware::CErrorManagerSimulator m_manager;
    std::unique_ptr<firmware::CRotRegistration> m_driverRegistration =
        std::make_unique<firmware::CRotRegistration>(m_driver.Unknown(), OLESTR("TarvoMeasDriver"));
    std::unique_ptr<firmware::CRotRegistration> m_managerRegistration =
        std::make_unique<firmware::CRotRegistration>(&m_manager, OLESTR("ErrorManager"));
    std::unique_ptr<CLoadedModule> m_module;
};

}  // namespace norn::test
