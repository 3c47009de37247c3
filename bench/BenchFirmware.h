// CBenchFirmware: the firmware around the module, as a benchmark process sets it up. The thread
// has joined COM; the measurement driver and error manager simulators are registered behind this
// process's prefix; TARVO_SYSTEM_ROOT_RW names a fresh service data root with its eeprom/xml
// folder on the local disk; event-log and diagnostics lines go to files in that root.
//
// Ownership: one object per process, created before the module's first operation (the module
// resolves its data paths once per load) and destroyed after the module is unloaded. The root is
// removed with it.
#pragma once

#include <norn/firmware/ErrorManagerSimulator.h>
#include <norn/firmware/MeasurementDriverSimulator.h>
#include <norn/firmware/RotRegistration.h>

#include <optional>
#include <string>

#include "norn/ComApartment.h"

namespace norn::bench {

class CBenchFirmware {
public:
    // The root is made in a fresh directory below `parentDirectory`; throws std::runtime_error
    // when it cannot be made or a simulator cannot be registered.
    explicit CBenchFirmware(const std::string& parentDirectory);
    ~CBenchFirmware();
    CBenchFirmware(const CBenchFirmware&) = delete;
    CBenchFirmware& operator=(const CBenchFirmware&) = delete;

    std::string DataFile(const char* name) const { return m_xmlDirectory + "/" + name; }
    const std::string& EventLogPath() const { return m_eventLog; }

    firmware::CMeasurementDriverSimulator& Driver() { return m_driver; }
    firmware::CErrorManagerSimulator& Manager() { return m_manager; }

    // Back to the factory images and values with an empty journal, so that a benchmark starts
    // from the same instrument whatever ran before it.
    void ResetInstrument();

    // The error manager in or out of the Running Object Table.
    void RegisterErrorManager();
    void UnregisterErrorManager() { m_managerRegistration.reset(); }

private:
    std::string m_root;
    std::string m_xmlDirectory;
    std::string m_eventLog;
    CComApartment m_apartment;
    firmware::CMeasurementDriverSimulator m_driver;
    firmware::CErrorManagerSimulator m_manager;
    std::optional<firmware::CRotRegistration> m_driverRegistration;
    std::optional<firmware::CRotRegistration> m_managerRegistration;
};

}  // namespace norn::bench
