// CInstrument: the instrument directory as the service tool uses it. Layout:
//   instrument.state   committed block images and driver values (CInstrumentStore)
//   .lock              flock'ed while a tool works on the instrument
//   root/eeprom/xml/   the service data files (unless --root names another root)
//   backups/           the backup sets (CBackupSets)
//   log.txt            every report and event-log line of every run, with time and command
//   history.log        one JSON line per command run: time, command, result, set, changes
//   events.log         the module's event-log lines (NORN_EVENT_LOG)
//   kxdiag.log         the diagnostics library's lines (NORN_KXDIAG_LOG)
#pragma once

#include <norn/firmware/InstrumentStore.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "RunOutput.h"

namespace norn::tool {

// The instrument cannot be used: busy, unreadable or unwritable. Exit status 1.
class CInstrumentError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How a run opens the instrument directory.
enum class EOpen {
    Existing,         // it must be there
    CreateIfMissing,  // demo: made with factory data when missing
    Create,           // init: made with factory data; refused when it holds an instrument
    Recover,          // recover: a damaged state is kept aside and factory data take its place
};

// Owns the instrument's lock while open; the caller owns the driver simulator it fills.
class CInstrument {
public:
    explicit CInstrument(const CToolOptions& options);

    // Checks the layout (no link, folder or device where a file belongs, no link where a folder
    // belongs), makes the folders, takes the lock, and loads the saved state into the driver or
    // saves the driver's factory state as the new instrument's. Throws CInstrumentError.
    void Open(firmware::CMeasurementDriverSimulator& driver, CRunOutput& output, EOpen mode);
    // Saves the driver's committed state if it changed. Throws CInstrumentError.
    void Save(const firmware::CMeasurementDriverSimulator& driver);
    // Appends a line to log.txt and flushes it; throws CFileError when it cannot.
    void AppendLog(const std::string& command, const std::string& line) const;
    // Appends the run to history.log: time, command and arguments, exit status, the backup set
    // made or used and what changed. Throws CFileError when it cannot.
    void RecordHistory(int exitCode, const CRunOutput& output) const;

    std::string Path(const std::string& name) const { return m_directory + "/" + name; }
    const std::string& Directory() const { return m_directory; }
    const std::string& Root() const { return m_root; }
    std::string XmlDirectory() const { return m_root + "/eeprom/xml"; }
    std::string DataFile(const std::string& name) const { return XmlDirectory() + "/" + name; }
    std::string BackupsDirectory() const { return Path("backups"); }

private:
    void CheckLayout() const;
    void TakeLock();
    void LoadOrCreate(firmware::CMeasurementDriverSimulator& driver, CRunOutput& output,
                      EOpen mode);

    const CToolOptions& m_options;
    std::string m_directory;
    std::string m_root;
    firmware::CInstrumentStore m_store;
    std::unique_ptr<firmware::CInstrumentLock> m_lock;
};

// Lines appended to a file since the object was made (or since the last ReadNew).
class CLogTail {
public:
    explicit CLogTail(std::string path);
    std::vector<std::string> ReadNew();

private:
    std::string m_path;
    long long m_offset = 0;
};

}  // namespace norn::tool
