// The host operations the sweeps run again and again from the same starting state, and for each
// the driver calls of its fault-free run with the contract's rules for them: how the operation
// treats a call's answer, and which reports a failure gives.
#pragma once

#include "reliability/ModuleRun.h"

namespace norn::test {

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

struct CHostOperation {
    const char* code;                    // its report code, also the test's name
    void (*prepare)(CModuleRunTest&);    // the starting state beyond the factory instrument
    LONG (*call)(CModuleRunTest&);       // must not allocate by itself
    void (*verify)(CModuleRunTest&);     // what a successful run has done
    LONG commits;                        // the commits of a successful run
    bool keepsBatch;                     // a failed commit call leaves the batch open
    std::vector<CDriverCallRule> calls;  // the driver calls of a fault-free run, in order
};

const std::vector<CHostOperation>& HostOperations();
const CHostOperation& Operation(const std::string& code);
void PrintTo(const CHostOperation& operation, std::ostream* out);

// An import entry (D4, D6) handed the payload.
LONG ImportPayload(LONG (*entry)(LONG, const BYTE*, LONG), const std::string& payload);

// The reports of a failure of the call at `line`: the inner routine's, then the operation's own;
// or the operation's alone.
std::vector<std::string> FailureTrail(const CHostOperation& operation, const CDriverCallRule& call,
                                      LONG line, HRESULT hresult);

}  // namespace norn::test
