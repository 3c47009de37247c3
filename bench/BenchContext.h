// CBenchContext: what every benchmark of this process shares. The firmware simulators and the
// service data root come first; the module is loaded on first use, so that the load and unload
// benchmarks, which run before it, time real loads rather than a reference count going up; the
// service data bytes are those of the first backup, so that the floors write what the module
// writes.
//
// Ownership: one object per process (Instance()), destroyed at exit after the module it loaded.
#pragma once

#include <memory>
#include <string>

#include "BenchFirmware.h"
#include "ModuleExports.h"

namespace norn::bench {

// The three service data files as the backup writes them, and the document a restore needs: the
// backup's own, with the serial and material number added as the host adds them.
struct CServiceDataBytes {
    std::string document;
    std::string restoreDocument;
    std::string deviceDataSet;
    std::string macAddress;
};

class CBenchContext {
public:
    static CBenchContext& Instance();

    CBenchFirmware& Firmware() { return m_firmware; }
    CModuleExports& Module();
    const CServiceDataBytes& Bytes();
    std::string DataFile(const char* name) const { return m_firmware.DataFile(name); }

    // The three service data files laid out as a restore needs them.
    void WriteRestoreInput();

private:
    CBenchContext();

    CBenchFirmware m_firmware;
    std::unique_ptr<CModuleExports> m_module;
    std::unique_ptr<CServiceDataBytes> m_bytes;
};

// Where the module was built, and the directory that holds the service data roots: the bench
// folder of the build tree unless NORN_BENCH_DIR names another directory on the disk to test.
std::string ModulePath();
std::string BenchDirectory();

}  // namespace norn::bench
