// norn-service: runs one service command against a simulated instrument, through the module
// loaded by path. Exit status 0 success, 1 the module (or the instrument) failed, 2 bad input.
#include <iostream>
#include <string>

#include "CommandLine.h"
#include "Commands.h"
#include "Instrument.h"
#include "RunOutput.h"
#include "ServiceHost.h"

namespace {

using namespace norn::tool;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

bool ConfirmErase(bool json) {
    std::ostream& prompt = json ? std::cerr : std::cout;
    prompt << "Erase service data files and both blocks? [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return answer == "y" || answer == "Y" || answer == "yes";
}

int Run(const CToolOptions& options, const CCommandInput& input, CRunOutput& output) {
    CInstrument instrument(options);
    CServiceHost host(options, instrument, output);
    instrument.Open(host.Driver(), output);
    host.Start();
    CCommandContext context{host, instrument, options, input, output};
    const int result = RunCommand(context);
    host.Stop();
    instrument.Save(host.Driver());
    output.Finish(result);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    CToolOptions options;
    CCommandInput input;
    try {
        options = ParseCommandLine(argc, argv);
        if (options.help) {
            std::cout << (options.command.empty() ? ToolHelp() : CommandHelp(options.command));
            return 0;
        }
        input = PrepareCommand(options);
    } catch (const CUsageError& error) {
        std::cerr << "norn-service: " << error.what() << std::endl;
        return kExitUsage;
    }
    if (options.command == "erase" && !options.yes && !ConfirmErase(options.json)) {
        std::cerr << "norn-service: not erased" << std::endl;
        return kExitFailure;
    }
    CRunOutput output(options.json, options.command);
    if (options.command == "log") {
        const int result = PrintLog(options, output);
        output.Finish(result);
        return result;
    }
    try {
        return Run(options, input, output);
    } catch (const CInstrumentError& error) {
        std::cerr << "norn-service: " << error.what() << std::endl;
        return kExitFailure;
    }
}
