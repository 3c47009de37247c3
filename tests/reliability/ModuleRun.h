// CModuleRunTest: one call into the module (linked into this executable) on the simulated
// firmware, and what it left behind. The failure-point catalogue and the operation sweep both
// arrange a run with it and read the run back as a CRunRecord; Finish() checks what every run
// must show, failed or not: no driver or error manager reference kept, no BSTR, event source,
// descriptor or array block leaked, no buffer of the driver written, and resolved paths that
// name this test's files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "reliability/FileFaults.h"
#include "support/ServiceDataFixture.h"

namespace norn::test {

constexpr HRESULT kDriverError = static_cast<HRESULT>(0x8004D00D);  // a failing driver call's
constexpr LONG kDriverStatus = 0x5A;                                // a faulty status word

// The service data files, in the order the module resolves their paths.
inline const char* const kDataFiles[] = {"NornData.xml", "NornData.dds", "NornData.mac"};

// "D4:1104 0x80004005": one report as a trail shows it.
std::string TrailEntry(const std::string& code, LONG line, HRESULT hresult);

// The block's factory image with its payload erased.
std::vector<BYTE> ErasedImage(LONG block);

// What one run left behind.
struct CRunRecord {
    LONG result = -1;
    std::vector<std::string> trail;        // the error manager's reports, in order
    bool filesNamed = true;                // each report names the file "Brightwork"
    std::vector<LONG> held;                // driver references the module held at each report
    std::vector<bool> batchOpenAtReports;  // DeferredCommit at each report
    std::vector<std::string> events;       // event-log texts written during the run
    std::vector<std::string> diagnostics;  // report lines sent to the diagnostics library
    LONG commits = 0;
    bool pendingWrites = false;
};

// The fixture's members are public: catalogue rows and operations are free functions using them.
class CModuleRunTest : public CServiceDataFixture {
public:
    using CServiceDataFixture::DataFile;
    using CServiceDataFixture::FileContent;
    using CServiceDataFixture::m_driver;
    using CServiceDataFixture::m_events;
    using CServiceDataFixture::m_manager;
    using CServiceDataFixture::m_root;
    using CServiceDataFixture::m_xmlDirectory;
    using CServiceDataFixture::UnregisterDriver;
    using CServiceDataFixture::UnregisterErrorManager;

    void SetUp() override;
    void TearDown() override;

    // The factory instrument and values, no fault planned, no service data file, no batch,
    // the paths not resolved, nothing handed out.
    void Reset();
    // The run starts here: journal and reports are cleared and the baselines taken.
    void Begin();
    // Makes the call; an exception that crosses the boundary fails the test.
    template <class Function, class Test>
    static LONG Call(const Function& call, Test& test) {
        try {
            return call(test);
        } catch (...) {
            ADD_FAILURE() << "an exception crossed the boundary";
            return -1;
        }
    }
    // The record of the run since Begin(), after the checks every run must pass.
    CRunRecord Finish(LONG result);

    void Write(const char* name, const std::string& content) const {
        CTempDirectory::WriteFile(DataFile(name), content);
    }
    bool Exists(const char* name) const { return std::filesystem::exists(DataFile(name)); }
    // The payload the block holds now (pending or committed).
    std::string BlockPayload(LONG block) const {
        return PayloadOf(m_driver.CurrentImage(block), block);
    }
    void FailFile(EFileFault kind, const char* name, int nth = 0) {
        m_fileFault = std::make_unique<CFileFault>(kind, name, nth);
    }

    // An export with a buffer argument whose address the module must replace or leave alone.
    LONG Export(LONG (*entry)(LONG, BYTE**, ULONG*));

    BYTE m_sentinel[4] = {};
    BYTE* const m_untouched = m_sentinel;
    BYTE* m_exported = nullptr;  // a buffer the module handed out, given back by Reset and TearDown
    ULONG m_count = 0;
    char m_text[16] = {};
    std::unique_ptr<CFileFault> m_fileFault;

private:
    CRunRecord m_record;  // what the report observer adds to while the run lasts
    size_t m_eventsBefore = 0;
    size_t m_diagnosticsBefore = 0;
    ULONG m_driverRefs = 0;
    ULONG m_managerRefs = 0;
    LONG m_liveBstrs = 0;
    LONG m_commitsBefore = 0;
    long m_arrays = 0;
    int m_descriptors = 0;
};

// Qt's allocations are neither failed nor counted from the first call on (AllocationHook.h): Qt
// does not survive a failed allocation of its own (QFile's construction crashes in
// ~QObjectPrivate), and it keeps arrays of its own from one run to the next.
void SpareQtAllocations();

}  // namespace norn::test
