// The service tool's commands, each one module operation or a short procedure of them.
#pragma once

#include <stdexcept>

#include "BackupSets.h"
#include "CommandLine.h"
#include "Instrument.h"
#include "RunOutput.h"
#include "ServiceHost.h"

namespace norn::tool {

// A command that will not go on (a destructive step without a way back, no verified set): one
// line on stderr, exit status 1, nothing changed.
class CRefusal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a command works with; owns nothing.
struct CCommandContext {
    CServiceHost& host;
    CInstrument& instrument;
    const CToolOptions& options;
    const CCommandInput& input;
    CRunOutput& output;
    CBackupSets& sets;
};

// Runs options.command on a started host. Returns 0, or 1 when the module reported failure, a
// check found a difference, or a change was refused or not confirmed.
int RunCommand(CCommandContext& context);

// How a module operation ended, as the commands print it: "ok" or "failed".
const char* Outcome(LONG result);

// The service procedures (ServiceProcedures.cpp).
int Backup(CCommandContext& context);
int ListBackups(CCommandContext& context);
int Verify(CCommandContext& context);
int Restore(CCommandContext& context);
int Erase(CCommandContext& context);
int Prune(CCommandContext& context);

int Info(CCommandContext& context);

// log and history: print <instrument>/log.txt or history.log without opening the instrument.
// Returns 0, or 1 when there is no instrument.
int PrintJournal(const CToolOptions& options, CRunOutput& output);

}  // namespace norn::tool
