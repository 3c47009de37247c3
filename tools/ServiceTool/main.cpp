// norn-service: runs one service command against a simulated instrument, through the module
// loaded by path. Exit status 0 success; 1 the module failed, the instrument is missing, damaged
// or in use, a file could not be written, a check found a difference, or a change was refused or
// not confirmed; 2 bad input, found before anything is touched.
#include <QHashSeed>
#include <QJsonObject>
#include <QtGlobal>

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
QJsonObject DriverWrites(const norn::firmware::CMeasurementDriverSimulator& driver) {
    int blocks = 0, values = 0, commits = 0;
    for (const auto& call : driver.Journal()) {
        if (call.hresult != S_OK) continue;
        blocks += call.method == "WriteBlock";
        values += call.method == "WriteValue";
        commits +=
            call.method == "SetEEPROMMode" && !call.arguments.empty() && call.arguments[0] == 2;
    }
    return QJsonObject{{"blocks", blocks}, {"values", values}, {"commits", commits}};
}

// Qt's own messages (a file the module could not open, say) belong to the run's output.
CRunOutput* g_output = nullptr;
void RouteQtMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
    if (g_output != nullptr) g_output->Event("qt", message.toStdString());
}

int Run(const CToolOptions& options, const CCommandInput& input, CRunOutput& output) {
    CInstrument instrument(options);
    CServiceHost host(options, instrument, output);
    host.Start();  // the module loads before anything of the instrument is made or touched
    instrument.Open(host.Driver(), output, OpenMode(options.command));
    CBackupSets sets(instrument.BackupsDirectory());
    CCommandContext context{host, instrument, options, input, output, sets};
    int result = kExitFailure;
    try {
        result = RunCommand(context);
    } catch (...) {
        // What the instrument committed stays committed, as it would on the real one.
        host.Stop();
        instrument.Save(host.Driver());
        output.Set("driver_writes", DriverWrites(host.Driver()));
        throw;
    }
    host.Stop();
    instrument.Save(host.Driver());
    output.Set("driver_writes", DriverWrites(host.Driver()));
    if (RecordedInHistory(options)) instrument.RecordHistory(result, output);
    output.Finish(result);
    return result;
}

int Fail(CRunOutput& output, const char* kind, const std::string& message, int exitCode) {
    std::cerr << "norn-service: " << message << std::endl;
    const CRunError error{kind, message};
    output.Finish(exitCode, &error);
    return exitCode;
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
    } catch (const CUsageError& error) {
        CRunOutput output(JsonWanted(argc, argv), false, CommandWord(argc, argv));
        return Fail(output, "usage", error.what(), kExitUsage);
    }
    if (options.help || options.version || !options.generate.empty()) {
        std::cout << HelpText(options);
        return 0;
    }
    CRunOutput output(options.json, options.raw, options.command);
    g_output = &output;
    qInstallMessageHandler(RouteQtMessage);
    try {
        input = PrepareCommand(options);
    } catch (const CUsageError& error) {
        return Fail(output, "usage", error.what(), kExitUsage);
    }
    if (options.command == "log" || options.command == "history") {
        const int result = PrintJournal(options, output);
        output.Finish(result);
        return result;
    }
    try {
        return Run(options, input, output);
    } catch (const CInstrumentError& error) {
        return Fail(output, "instrument", error.what(), kExitFailure);
    } catch (const CFileError& error) {
        return Fail(output, "file", error.what(), kExitFailure);
    } catch (const CRefusal& error) {
        return Fail(output, "refused", error.what(), kExitFailure);
    }
}
