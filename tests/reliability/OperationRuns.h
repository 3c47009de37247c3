// The host operations that the fault sweep and the allocation sweeps run again and again, each
// time from the same starting state, and the contract's rules for the driver calls each one
// makes: how it treats a call's answer and which reports a failure gives. COperationRunTest lays
// out the starting state, runs one operation, and records what the run left behind.
#pragma once

#include <gtest/gtest.h>

#include <norn/firmware/MeasurementDriverSimulator.h>

#include <string>
#include <vector>

#include "support/ServiceDataFixture.h"

namespace norn::test {

constexpr HRESULT kDriverError = static_cast<HRESULT>(0x8004D00D);  // a failing driver call's
constexpr LONG kDriverStatus = 0x5A;                                // a faulty status word

// How the operation treats the answer of one driver call.
enum class ECallRole {
    Checked,        // a failed HRESULT and a nonzero status both fail it
    StatusIgnored,  // only a failed HRESULT fails it; the status is not examined
    RewriteRead,    // a block rewrite's preliminary ReadBlock: kept unless the call fails, the
                    // status is nonzero with a wrong size, or less than a header or no buffer
                    // comes back (the module's rule where the contract leaves it open)
    Read,           // a block reader's ReadBlock: a failure, any status or a wrong size fails
};

// One driver call of a fault-free run: the nth call of the method, and the report lines of its
// failures. With an inner routine, that routine reports first and the operation then fails
// with E_FAIL at outerLine.
struct CDriverCallRule {
    const char* method;
    int nth;
    ECallRole role;
    const char* inner;  // the guarded routine that makes the call, or null
    LONG callLine;      // a failed HRESULT, reported with that HRESULT
    LONG statusLine;    // a nonzero status, E_FAIL
    LONG sizeLine;      // a wrong size or no buffer, E_FAIL
    LONG outerLine;
};

class COperationRunTest;

struct CHostOperation {
    const char* code;                     // its report code, also the test's name
    void (*prepare)(COperationRunTest&);  // the starting state beyond the factory instrument
    LONG (*call)(COperationRunTest&);     // must not allocate by itself
    void (*verify)(COperationRunTest&);   // what a successful run has done
    LONG commits;                         // the commits of a successful run
    bool keepsBatch;                      // a failed commit call leaves the batch open
    std::vector<CDriverCallRule> calls;   // the driver calls of a fault-free run, in order
};

const std::vector<CHostOperation>& HostOperations();
void PrintTo(const CHostOperation& operation, std::ostream* out);
std::string OperationName(const ::testing::TestParamInfo<CHostOperation>& info);

// "D4:1104 0x80004005": one report as a trail shows it.
std::string TrailEntry(const std::string& code, LONG line, HRESULT hresult);
// The reports of a failure of the call at `line`: the inner routine's, then the operation's own;
// or the operation's alone.
std::vector<std::string> FailureTrail(const CHostOperation& operation, const CDriverCallRule& call,
                                      LONG line, HRESULT hresult);

// What one run left behind.
struct CRunRecord {
    LONG result = -1;
    std::vector<std::string> trail;        // the error manager's reports, in order
    std::vector<std::string> events;       // event-log texts written during the run
    std::vector<std::string> diagnostics;  // report lines sent to the diagnostics library
    LONG commits = 0;
    bool pendingWrites = false;
    bool batchOpen = false;  // DeferredCommit
    bool commitPending = false;
};

// The fixture's members are public: the operations are free functions that use them.
class COperationRunTest : public CServiceDataFixture {
public:
    using CServiceDataFixture::DataFile;
    using CServiceDataFixture::FileContent;
    using CServiceDataFixture::m_driver;

    void SetUp() override;
    void TearDown() override;

    // The factory instrument, no service data files, no batch, unresolved paths, then the
    // operation's own preparation; journal, reports and baselines start here.
    void StartFrom(const CHostOperation& operation);
    // The call itself: nothing around it allocates. An exception that crosses the boundary is a
    // failure of the test.
    LONG Call(const CHostOperation& operation);
    // Collects the record and checks that no reference, BSTR, event source or descriptor was
    // kept, that no buffer of the driver was written, and that paths marked resolved name this
    // test's files.
    CRunRecord Finish(LONG result);

    void Write(const char* name, const std::string& content) const;
    bool Exists(const char* name) const;
    // The payload the block holds now (pending or committed).
    std::string BlockPayload(LONG block) const;

    BYTE* m_exported = nullptr;  // handed out by an export; released by the next start
    ULONG m_count = 0;
    char m_text[16] = {};

private:
    size_t m_eventsBefore = 0;
    size_t m_diagnosticsBefore = 0;
    ULONG m_driverRefs = 0;
    ULONG m_managerRefs = 0;
    LONG m_liveBstrs = 0;
    LONG m_commitsBefore = 0;
    int m_descriptors = 0;
};

}  // namespace norn::test
