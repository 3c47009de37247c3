// norn-service: runs one service command against a simulated instrument, through the module
// loaded by path. Exit status 0 success; 1 the module failed, the instrument is missing, damaged
// or in use, a file could not be written, a check found a difference, or a change was refused or
// not confirmed; 2 bad input, found before anything is touched.
#include <QHashSeed>

#include <csignal>
#include <iostream>
#include <string>

#include "BackupSets.h"
#include "CommandLine.h"
#include "Commands.h"
#include "Instrument.h"
#include "RunOutput.h"
#include "SafeFiles.h"
#include "ServiceHost.h"

namespace {

using namespace norn::tool;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

EOpen OpenMode(const std::string& command) {
    if (command == "init") return EOpen::Create;
    if (command == "demo") return EOpen::CreateIfMissing;
    if (command == "recover") return EOpen::Recover;
    return EOpen::Existing;
}

// The driver's writes in this run, for JSON: a dry run shows none.
std::string DriverWrites(const norn::firmware::CMeasurementDriverSimulator& driver) {
    int blocks = 0, values = 0, commits = 0;
    for (const auto& call : driver.Journal()) {
        if (call.hresult != S_OK) continue;
        blocks += call.method == "WriteBlock";
        values += call.method == "WriteValue";
        commits +=
            call.method == "SetEEPROMMode" && !call.arguments.empty() && call.arguments[0] == 2;
    }
    return "{\"blocks\":" + std::to_string(blocks) + ",\"values\":" + std::to_string(values) +
           ",\"commits\":" + std::to_string(commits) + "}";
}

int Run(const CToolOptions& options, const CCommandInput& input, CRunOutput& output) {
    CInstrument instrument(options);
    CServiceHost host(options, instrument, output);
    instrument.Open(host.Driver(), output, OpenMode(options.command));
    host.Start();
    CBackupSets sets(instrument.BackupsDirectory());
    CCommandContext context{host, instrument, options, input, output, sets};
    int result = kExitFailure;
    try {
        result = RunCommand(context);
    } catch (...) {
        // What the instrument committed stays committed, as it would on the real one.
        host.Stop();
        instrument.Save(host.Driver());
        output.RawField("driver_writes", DriverWrites(host.Driver()));
        throw;
    }
    host.Stop();
    instrument.Save(host.Driver());
    output.RawField("driver_writes", DriverWrites(host.Driver()));
    output.Finish(result);
    return result;
}

int Fail(CRunOutput& output, const std::string& message) {
    std::cerr << "norn-service: " << message << std::endl;
    output.Finish(kExitFailure);
    return kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
    // A file-size limit fails the write (EFBIG) instead of killing the tool unheard; backups of
    // the same data are byte-identical only with Qt's hashing made deterministic.
    std::signal(SIGXFSZ, SIG_IGN);
    QHashSeed::setDeterministicGlobalSeed();
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
    CRunOutput output(options.json, options.command);
    if (options.command == "log") {
        const int result = PrintLog(options, output);
        output.Finish(result);
        return result;
    }
    try {
        return Run(options, input, output);
    } catch (const CInstrumentError& error) {
        return Fail(output, error.what());
    } catch (const CFileError& error) {
        return Fail(output, error.what());
    } catch (const CRefusal& error) {
        return Fail(output, error.what());
    }
}
