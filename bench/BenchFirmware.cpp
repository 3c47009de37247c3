#include "BenchFirmware.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <stdexcept>

namespace norn::bench {

using firmware::CRotRegistration;

namespace {

std::string MakeFreshDirectory(const std::string& parentDirectory) {
    std::string pattern = parentDirectory + "/norn-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a directory below " + parentDirectory);
    }
    return pattern;
}

void MakeDirectory(const std::string& path) {
    if (mkdir(path.c_str(), 0755) != 0) throw std::runtime_error("cannot make " + path);
}

}  // namespace

CBenchFirmware::CBenchFirmware(const std::string& parentDirectory)
    : m_root(MakeFreshDirectory(parentDirectory)),
      m_xmlDirectory(m_root + "/eeprom/xml"),
      m_eventLog(m_root + "/events.log") {
    MakeDirectory(m_root + "/eeprom");
    MakeDirectory(m_xmlDirectory);
    setenv("TARVO_SYSTEM_ROOT_RW", m_root.c_str(), 1);
    setenv("NORN_EVENT_LOG", m_eventLog.c_str(), 1);
    setenv("NORN_KXDIAG_LOG", (m_root + "/diagnostics.log").c_str(), 1);
    if (FAILED(m_apartment.Result())) throw std::runtime_error("COM could not be joined");
    m_driverRegistration.emplace(m_driver.Unknown(), OLESTR("TarvoMeasDriver"));
    if (!m_driverRegistration->Succeeded()) {
        throw std::runtime_error("the driver simulator could not be registered");
    }
    RegisterErrorManager();
}

CBenchFirmware::~CBenchFirmware() {
    m_driverRegistration.reset();
    m_managerRegistration.reset();
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

void CBenchFirmware::ResetInstrument() {
    for (LONG block : {eeprom::kDeviceDataSetBlock, eeprom::kMacAddressBlock}) {
        m_driver.SetCommittedImage(block, firmware::FactoryImage(block));
    }
    for (const auto& [item, text] : firmware::FactoryValues()) m_driver.SetValue(item, text);
    m_driver.ClearJournal();
    m_manager.Clear();
}

void CBenchFirmware::RegisterErrorManager() {
    m_managerRegistration.emplace(&m_manager, OLESTR("ErrorManager"));
    if (!m_managerRegistration->Succeeded()) {
        throw std::runtime_error("the error manager simulator could not be registered");
    }
}

}  // namespace norn::bench
