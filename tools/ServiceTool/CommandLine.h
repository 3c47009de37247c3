// The service tool's command line: global options, the command and its arguments, and the
// checks that turn bad input into a usage error before anything is loaded or touched. The
// commands and options are described once, in CommandTable.cpp, for the parser, --help, the man
// page and the shell completion alike.
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
    std::string root;        // the service data root; empty means <instrument>/root
    std::string modulePath;  // empty: found beside the tool, or the one built with it
    bool errorManager = true;
    std::vector<firmware::CDriverFault> faults;
    bool json = false;
    bool raw = false;  // payloads as one hex string, not a dump
    bool yes = false;
    bool dryRun = false;
    bool force = false;
    bool looseFiles = false;  // restore: the files in the service data folder, not a set
    std::string from;         // restore, recover: the backup set to use
    long keep = -1;           // prune: how many sets stay
    double wait = -1;         // seconds to wait for the lock; 0 waits as long as it takes
    bool help = false;
    bool version = false;
    std::string generate;  // "man" or "bash-completion": the document, printed
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
// Checks the command's arguments and reads its input files. Throws CUsageError.
CCommandInput PrepareCommand(const CToolOptions& options);
// Whether the command changes the instrument or its files, and so shows its changes and asks.
bool ChangesInstrument(const CToolOptions& options);
// Whether the command goes into history.log: every one that changes the instrument, its files
// or its backup sets. (Commands that only read write nothing, so that they work on a full disk.)
bool RecordedInHistory(const CToolOptions& options);
// For a run whose command line does not parse: whether --json was asked for, and the command.
bool JsonWanted(int argc, char** argv);
std::string CommandWord(int argc, char** argv);

// The spellings of input (Spellings.cpp); each throws CUsageError or returns false.
// METHOD[#N]=KIND[:VALUE]: see FaultHelp().
firmware::CDriverFault ParseFault(const std::string& fault);
// aa:bb:cc, aa-bb-cc, aabb.ccdd.eeff, one-digit groups allowed; false when the text is none of
// these (it may then name a file).
bool ParseMacText(const std::string& text, std::vector<BYTE>& bytes);
// Throws unless the text is 1 to maxLength printable ASCII characters.
void CheckIdentification(const std::string& what, const std::string& text, size_t maxLength);
// Throws unless the root is at most 99 ASCII characters: the module reads no more, and carries
// only an ASCII root unchanged.
void CheckRoot(const std::string& root);

// --help, COMMAND --help, --version, --generate man|bash-completion (HelpText.cpp).
std::string HelpText(const CToolOptions& options);
std::string FaultHelp();
// The module the tool loads when --module is not given: Brightwork_Norn.so in ../lib/norn
// beside the installed tool, else the one built with it.
std::string DefaultModulePath();

}  // namespace norn::tool
