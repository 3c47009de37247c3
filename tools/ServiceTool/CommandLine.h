// The service tool's command line: global options, the command and its arguments, and the
// checks that turn bad input into a usage error before anything is loaded or touched.
#pragma once

#include <windows.h>

#include <norn/firmware/MeasurementDriverSimulator.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace norn::tool {

// Bad input: the tool prints the message on one line and exits with status 2.
class CUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class EPayloadKind { DeviceDataSet, MacAddress };

// One payload to import, already read and checked.
struct CImport {
    EPayloadKind kind = EPayloadKind::DeviceDataSet;
    std::vector<BYTE> bytes;
    std::string source;  // the file or MAC text it came from
};

struct CToolOptions {
    std::string instrument = "instrument";
    std::string root;  // the service data root; empty means <instrument>/root
    std::string modulePath = NORN_DEFAULT_MODULE_PATH;
    bool errorManager = true;
    std::vector<firmware::CDriverFault> faults;
    bool json = false;
    bool yes = false;
    bool dryRun = false;
    bool force = false;
    bool looseFiles = false;  // restore: the files in the service data folder, not a set
    std::string from;         // restore, recover: the backup set to use
    long keep = -1;           // prune: how many sets stay
    bool help = false;
    std::string command;
    std::vector<std::string> arguments;

    std::string Root() const { return root.empty() ? instrument + "/root" : root; }
};

// What a command needs from its arguments, checked before the instrument is opened.
struct CCommandInput {
    std::vector<CImport> imports;  // dds import, mac import, batch
    bool hasNewValue = false;      // serial NEW, material NEW
    std::string newValue;
    bool exportToFile = false;  // dds export FILE
    std::string exportFile;
};

// Throws CUsageError for an unknown option, a missing option value or a bad fault.
CToolOptions ParseCommandLine(int argc, char** argv);
// METHOD[#N]=KIND[:VALUE], KIND one of hr, status, size, null. Throws CUsageError.
firmware::CDriverFault ParseFault(const std::string& fault);
// Checks the command's arguments and reads its input files. Throws CUsageError.
CCommandInput PrepareCommand(const CToolOptions& options);
// "aa:bb:cc" into bytes; false when the text is not of that form (it may then name a file).
bool ParseMacText(const std::string& text, std::vector<BYTE>& bytes);
// Throws CUsageError unless the text is 1 to maxLength printable ASCII characters.
void CheckIdentification(const std::string& what, const std::string& text, size_t maxLength);

// Whether the command changes the instrument or its files, and so shows its changes and asks.
bool ChangesInstrument(const CToolOptions& options);

std::string ToolHelp();
// The help of one command; throws CUsageError for an unknown command.
std::string CommandHelp(const std::string& command);

}  // namespace norn::tool
