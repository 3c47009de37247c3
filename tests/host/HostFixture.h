// CHostFixture: a host process as the firmware sets it up: the firmware fixture, then
// TARVO_SYSTEM_ROOT_RW naming a fresh service data root with its eeprom/xml folder, event-log
// lines captured, and the module loaded by path.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "support/FirmwareFixture.h"
#include "support/LoadedModule.h"
#include "support/LogCapture.h"
#include "support/TempDirectory.h"

namespace norn::test {

class CHostFixture : public CFirmwareFixture {
protected:
    CHostFixture() {
        m_xmlDirectory = CTempDirectory::MakeServiceDataDirectory(m_root.Path());
        setenv("TARVO_SYSTEM_ROOT_RW", m_root.Path().c_str(), 1);
    }
    ~CHostFixture() override { unsetenv("TARVO_SYSTEM_ROOT_RW"); }

    void SetUp() override {
        CFirmwareFixture::SetUp();
        m_module = std::make_unique<CLoadedModule>();
        ASSERT_TRUE(m_module->Loaded()) << dlerror();
    }
    void TearDown() override {
        m_module.reset();
        CFirmwareFixture::TearDown();
    }

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
    CTempDirectory m_root{"norn-root"};
    std::string m_xmlDirectory;
    std::unique_ptr<CLoadedModule> m_module;
};

}  // namespace norn::test
