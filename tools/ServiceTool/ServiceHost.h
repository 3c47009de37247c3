// CServiceHost: the service tool as the module's host. It joins COM, registers the driver and
// error manager simulators in the Running Object Table behind this process's prefix, points the
// module at the service data root and the log files, loads Brightwork_Norn by path and calls its
// exports and method table entries.
#pragma once

#include <norn/BrightworkNorn.h>
#include <norn/firmware/ErrorManagerSimulator.h>
#include <norn/firmware/MeasurementDriverSimulator.h>
#include <norn/firmware/RotRegistration.h>

#include <memory>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Instrument.h"
#include "RunOutput.h"
#include "norn/ComApartment.h"

namespace norn::tool {

// A library loaded with dlopen, unloaded with the object.
class CModuleLibrary {
public:
    explicit CModuleLibrary(const std::string& path);
    ~CModuleLibrary();
    CModuleLibrary(const CModuleLibrary&) = delete;
    CModuleLibrary& operator=(const CModuleLibrary&) = delete;

    bool Loaded() const noexcept { return m_handle != nullptr; }
    void* Symbol(const char* name) const;

private:
    void* m_handle;
};

// A module file's "FileVersion", as its version resource holds it; empty when unreadable.
std::string ModuleFileVersion(const std::string& path);

// Owns the COM apartment, both simulators, their registrations and the loaded module, and tears
// them down in that order reversed: module, registrations, simulators, apartment.
class CServiceHost {
public:
    CServiceHost(const CToolOptions& options, const CInstrument& instrument, CRunOutput& output);
    ~CServiceHost();
    CServiceHost(const CServiceHost&) = delete;
    CServiceHost& operator=(const CServiceHost&) = delete;

    firmware::CMeasurementDriverSimulator& Driver() noexcept { return m_driver; }

    // Hands the fault plan to the driver, sets up COM and the environment and loads the module.
    // Throws CInstrumentError when the module cannot be loaded or lacks part of its surface.
    void Start();
    // Unloads the module (the simulators stay for the state to be saved).
    void Stop();

    LONG Backup() { return Call("F3"); }
    LONG Restore() { return Call("F2"); }
    LONG Erase() { return Call("F8"); }
    LONG ReadSerial(std::string& text) { return ReadText("F4", kSerialNumberBufferSize, text); }
    LONG ReadMaterial(std::string& text) { return ReadText("F5", kMaterialNumberBufferSize, text); }
    LONG WriteSerial(const std::string& text) { return WriteText("F6", text); }
    LONG WriteMaterial(const std::string& text) { return WriteText("F7", text); }
    LONG Import(const CImport& import);
    LONG Export(EPayloadKind kind, std::vector<BYTE>& payload);
    HRESULT BeginBatch();
    LONG EndBatch();

    // Prints and records the reports and log lines that arrived since the last call.
    void Collect();
    // The loaded module's "FileVersion".
    std::string ModuleVersion() const { return ModuleFileVersion(m_modulePath); }
    const std::string& ModulePath() const noexcept { return m_modulePath; }

private:
    void* Export(const char* name) const;
    void* Entry(int index) const;
    LONG Call(const char* name);
    LONG ReadText(const char* name, size_t bufferSize, std::string& text);
    LONG WriteText(const char* name, const std::string& text);

    const CToolOptions& m_options;
    const CInstrument& m_instrument;
    CRunOutput& m_output;
    CLogTail m_events;
    CLogTail m_diagnostics;
    size_t m_reportsSeen = 0;
    CComApartment m_apartment;
    firmware::CMeasurementDriverSimulator m_driver;
    firmware::CErrorManagerSimulator m_manager;
    std::unique_ptr<firmware::CRotRegistration> m_driverRegistration;
    std::unique_ptr<firmware::CRotRegistration> m_managerRegistration;
    std::unique_ptr<CModuleLibrary> m_module;
    const BrightworkMethodTable* m_table = nullptr;
    std::string m_modulePath;
};

}  // namespace norn::tool
