// CInstrumentStore and CInstrumentLock: the simulated instrument's memory between runs. The
// committed images of blocks 22001 and 22002 and driver values 3, 4 and 16 live in
// <directory>/instrument.state; one tool at a time holds <directory>/.lock.
#pragma once

#include <string>

#include "norn/ScopedFileDescriptor.h"
#include "norn/firmware/MeasurementDriverSimulator.h"

namespace norn::firmware {

// Loads a driver simulator's committed state from the instrument directory and saves it back.
// Owns nothing but the directory's name; the caller owns the simulator.
//
// The state file is line-based text, every line present, in this order:
//   norn-instrument 2
//   block 22001 <image as hex>
//   block 22002 <image as hex>
//   value 3 <text as hex>        (likewise 4 and 16)
//   checksum <SHA-256 of all the lines above, as hex>
// Anything else (a line missing, cut, added or changed, another version, a link or a
// non-regular file in its place) is refused as damaged and never half applied. Saving writes
// instrument.state.tmp, flushes it to disk, renames it over instrument.state and flushes the
// directory, so a reader sees the old state or the new one, never half of one. Only committed
// images are saved: writes still pending on the simulator are lost, as on the instrument.
class CInstrumentStore {
public:
    explicit CInstrumentStore(std::string directory);

    std::string StatePath() const { return m_directory + "/instrument.state"; }

    // Puts the saved state into the simulator. Returns false, leaving the simulator alone, when
    // there is no state file yet; throws std::runtime_error for a damaged one.
    bool Load(CMeasurementDriverSimulator& driver) const;
    // Saves the simulator's committed state; returns false when the file already holds exactly
    // that state (and leaves it untouched). Throws std::runtime_error when it cannot write.
    bool Save(const CMeasurementDriverSimulator& driver) const;

    static std::string Serialize(const CMeasurementDriverSimulator& driver);
    // Throws std::runtime_error for text that is not a complete, valid state.
    static void Deserialize(const std::string& text, CMeasurementDriverSimulator& driver);

private:
    std::string m_directory;
};

// An exclusive, non-blocking flock on <directory>/.lock, held for the object's lifetime. The
// object owns the lock file's descriptor; closing it releases the lock.
class CInstrumentLock {
public:
    explicit CInstrumentLock(const std::string& directory);
    CInstrumentLock(const CInstrumentLock&) = delete;
    CInstrumentLock& operator=(const CInstrumentLock&) = delete;

    // False when another process holds the lock or the lock file cannot be opened.
    bool Held() const noexcept { return m_held; }
    // Tries again to take a lock that another process held; true once held.
    bool TryAgain();
    // The process that holds the lock (from /proc/locks), or 0 when that cannot be told.
    long HolderProcessId() const;
    // Why the lock file could not be opened (an errno value), or 0 when it was opened.
    int OpenError() const noexcept { return m_openError; }

private:
    CScopedFileDescriptor m_descriptor;
    bool m_held = false;
    int m_openError = 0;
};

}  // namespace norn::firmware
