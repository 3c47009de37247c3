// The service tool's commands, each one module operation or a short procedure of them.
#pragma once

#include "CommandLine.h"
#include "Instrument.h"
#include "RunOutput.h"
#include "ServiceHost.h"

namespace norn::tool {

// What a command works with; owns nothing.
struct CCommandContext {
    CServiceHost& host;
    const CInstrument& instrument;
    const CToolOptions& options;
    const CCommandInput& input;
    CRunOutput& output;
};

// Runs options.command on a started host. Returns 0, or 1 when the module reported failure.
int RunCommand(CCommandContext& context);

// The log command: prints <instrument>/log.txt without opening the instrument. Returns 0.
int PrintLog(const CToolOptions& options, CRunOutput& output);

}  // namespace norn::tool
