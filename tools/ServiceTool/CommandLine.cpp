// Parsing and checking of the service tool's command line.
#include "CommandLine.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <map>

#include "SafeFiles.h"

namespace norn::tool {

namespace {

struct CCommandText {
    const char* usage;
    const char* description;
};

const std::map<std::string, CCommandText>& Commands() {
    static const std::map<std::string, CCommandText> commands = {
        {"init", {"init", "Makes a new instrument directory with factory data."}},
        {"status",
         {"status",
          "Serial and material number, both blocks (header, payload, erased or not) "
          "and the service data files."}},
        {"backup",
         {"backup",
          "F3 saves both payloads into the service data files; the serial and material "
          "number are added to NornData.xml and the three files are kept as a new backup "
          "set in <instrument>/backups (never overwriting one)."}},
        {"backups", {"backups", "Lists the backup sets, newest first, verified or damaged."}},
        {"verify",
         {"verify",
          "Checks, writing nothing, that the service data files match the blocks and the "
          "identification, and that the newest backup set verifies and matches."}},
        {"restore",
         {"restore [--from SET] [--loose-files]",
          "Lays out the newest verified backup set (or SET) into the service data folder, "
          "F2 writes it into the instrument, then verify runs. Shows what changes and asks "
          "unless --yes. --loose-files restores the files already in the service data folder."}},
        {"erase",
         {"erase [--force]",
          "F8 removes the service data files and erases both blocks. Refused unless a "
          "verified backup set holds the instrument's data (or --force); asks unless --yes."}},
        {"prune", {"prune --keep N", "Removes all but the newest N backup sets (N at least 1)."}},
        {"recover",
         {"recover [--from SET]",
          "For a damaged instrument.state: keeps it aside as instrument.state.damaged, starts "
          "from factory data and restores the newest verified backup set (or SET)."}},
        {"serial",
         {"serial [NEW]",
          "F4 reads the serial number; with NEW (1 to 10 printable ASCII characters), F6 "
          "stores it first."}},
        {"material",
         {"material [NEW]",
          "F5 reads the material number; with NEW (1 to 13 printable ASCII characters), F7 "
          "stores it first."}},
        {"dds",
         {"dds export [FILE] | dds import FILE",
          "Entry 4 exports the device data set (to FILE, or as hex); entry 3 imports FILE "
          "(at most 1348 bytes)."}},
        {"mac",
         {"mac export | mac import (aa:bb:..|FILE)",
          "Entry 6 exports the MAC address; entry 5 imports 1 to 16 bytes."}},
        {"batch",
         {"batch IMPORT...",
          "Entry 29, the imports (dds=FILE or mac=aa:bb:..|FILE) in order, entry 30: one "
          "commit for all of them. Stops at the first failed import and commits nothing."}},
        {"log", {"log", "The reports and event-log lines recorded for this instrument."}},
        {"demo",
         {"demo",
          "A service cycle on its own instrument: status, backup, erase, status, restore, "
          "status. Does not ask; stops at the first failed step."}},
    };
    return commands;
}

// An input file: a regular file, its size checked before a byte is read.
std::vector<BYTE> ReadInputFile(const std::string& path, size_t maxSize, const char* what) {
    try {
        const std::string bytes = ReadRegularFile(path, maxSize);
        return {bytes.begin(), bytes.end()};
    } catch (const CFileError& error) {
        throw CUsageError(std::string(error.what()) + " (" + what + ")");
    }
}

CImport DeviceDataSetImport(const std::string& path) {
    return {EPayloadKind::DeviceDataSet,
            ReadInputFile(path, eeprom::kMaxDeviceDataSetPayload,
                          "a device data set has at most 1348 bytes"),
            path};
}

CImport MacAddressImport(const std::string& text) {
    CImport import{EPayloadKind::MacAddress, {}, text};
    if (!ParseMacText(text, import.bytes)) {
        import.bytes =
            ReadInputFile(text, eeprom::kMacAddressPayloadSize, "a MAC address has 1 to 16 bytes");
    }
    const size_t size = import.bytes.size();
    if (size < 1 || size > static_cast<size_t>(eeprom::kMacAddressPayloadSize)) {
        throw CUsageError(text + ": a MAC address has 1 to 16 bytes, this has " +
                          std::to_string(size));
    }
    return import;
}

CImport BatchImport(const std::string& argument) {
    if (argument.rfind("dds=", 0) == 0) return DeviceDataSetImport(argument.substr(4));
    if (argument.rfind("mac=", 0) == 0) return MacAddressImport(argument.substr(4));
    throw CUsageError("batch: expected dds=FILE or mac=aa:bb:..|FILE, got " + argument);
}

void RequireCount(const CToolOptions& options, size_t least, size_t most) {
    const size_t count = options.arguments.size();
    if (count >= least && count <= most) return;
    throw CUsageError(options.command + ": wrong number of arguments; usage: norn-service " +
                      Commands().at(options.command).usage);
}

CCommandInput PreparePayloadCommand(const CToolOptions& options) {
    RequireCount(options, 1, 2);
    const std::string& action = options.arguments[0];
    const bool dds = options.command == "dds";
    CCommandInput input;
    if (action == "export") {
        if (!dds) RequireCount(options, 1, 1);
        input.exportToFile = options.arguments.size() == 2;
        if (input.exportToFile) input.exportFile = options.arguments[1];
        return input;
    }
    if (action != "import") throw CUsageError(options.command + ": expected export or import");
    RequireCount(options, 2, 2);
    const std::string& source = options.arguments[1];
    input.imports.push_back(dds ? DeviceDataSetImport(source) : MacAddressImport(source));
    return input;
}

LONG ParseNumber(const std::string& text, const std::string& faultText) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno != 0 || value < -2147483648LL ||
        value > 0xFFFFFFFFLL) {
        throw CUsageError("--fault " + faultText + ": bad number " + text);
    }
    return static_cast<LONG>(static_cast<uint32_t>(value));
}

std::string OptionValue(int argc, char** argv, int& index) {
    if (index + 1 >= argc) throw CUsageError(std::string(argv[index]) + " needs a value");
    return argv[++index];
}

// Handles the option at argv[index]; false when it is not an option.
bool ParseOption(int argc, char** argv, int& index, CToolOptions& options) {
    const std::string option = argv[index];
    if (option.size() < 2 || option[0] != '-') return false;
    if (option == "--instrument") {
        options.instrument = OptionValue(argc, argv, index);
    } else if (option == "--root") {
        options.root = OptionValue(argc, argv, index);
    } else if (option == "--module") {
        options.modulePath = OptionValue(argc, argv, index);
    } else if (option == "--fault") {
        options.faults.push_back(ParseFault(OptionValue(argc, argv, index)));
    } else if (option == "--no-error-manager") {
        options.errorManager = false;
    } else if (option == "--json") {
        options.json = true;
    } else if (option == "--yes") {
        options.yes = true;
    } else if (option == "--dry-run") {
        options.dryRun = true;
    } else if (option == "--force") {
        options.force = true;
    } else if (option == "--loose-files") {
        options.looseFiles = true;
    } else if (option == "--from") {
        options.from = OptionValue(argc, argv, index);
    } else if (option == "--keep") {
        const std::string value = OptionValue(argc, argv, index);
        char* end = nullptr;
        errno = 0;
        options.keep = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || errno != 0 || options.keep < 1 ||
            options.keep > 100000) {
            throw CUsageError("--keep needs a whole number of sets from 1 on, got " + value);
        }
    } else if (option == "--help" || option == "-h") {
        options.help = true;
    } else {
        throw CUsageError("unknown option " + option + " (see norn-service --help)");
    }
    return true;
}

}  // namespace

CToolOptions ParseCommandLine(int argc, char** argv) {
    CToolOptions options;
    for (int index = 1; index < argc; ++index) {
        if (ParseOption(argc, argv, index, options)) continue;
        if (options.command.empty()) {
            options.command = argv[index];
        } else {
            options.arguments.push_back(argv[index]);
        }
    }
    if (options.command.empty() && !options.help) throw CUsageError("no command (see --help)");
    if (!options.command.empty() && Commands().count(options.command) == 0) {
        throw CUsageError("unknown command " + options.command + " (see norn-service --help)");
    }
    if (options.instrument.empty()) throw CUsageError("--instrument needs a directory");
    return options;
}

firmware::CDriverFault ParseFault(const std::string& faultText) {
    const size_t equals = faultText.find('=');
    if (equals == std::string::npos)
        throw CUsageError("--fault " + faultText + ": expected M=KIND");
    std::string method = faultText.substr(0, equals);
    LONG nth = 0;
    if (const size_t hash = method.find('#'); hash != std::string::npos) {
        nth = ParseNumber(method.substr(hash + 1), faultText);
        method.resize(hash);
    }
    const std::string action = faultText.substr(equals + 1);
    const size_t colon = action.find(':');
    const std::string kind = action.substr(0, colon);
    const std::string value = colon == std::string::npos ? "" : action.substr(colon + 1);
    firmware::CDriverFault fault;
    if (kind == "hr") {
        fault = firmware::CDriverFault::Failure(method, nth, ParseNumber(value, faultText));
    } else if (kind == "status") {
        fault = firmware::CDriverFault::Status(method, nth, ParseNumber(value, faultText));
    } else if (kind == "size" && method == "ReadBlock") {
        fault = firmware::CDriverFault::WrongByteCount(nth, ParseNumber(value, faultText));
    } else if (kind == "null" && method == "ReadBlock" && value.empty()) {
        fault = firmware::CDriverFault::NullBuffer(nth);
    } else {
        throw CUsageError("--fault " + faultText + ": unknown fault kind for " + method);
    }
    try {
        firmware::CMeasurementDriverSimulator().AddFault(fault);
    } catch (const std::invalid_argument& error) {
        throw CUsageError("--fault " + faultText + ": " + error.what());
    }
    return fault;
}

CCommandInput PrepareCommand(const CToolOptions& options) {
    const std::string& command = options.command;
    if (command == "dds" || command == "mac") return PreparePayloadCommand(options);
    CCommandInput input;
    if (command == "serial" || command == "material") {
        RequireCount(options, 0, 1);
        input.hasNewValue = options.arguments.size() == 1;
        if (input.hasNewValue) {
            input.newValue = options.arguments[0];
            CheckIdentification(command == "serial" ? "a serial number" : "a material number",
                                input.newValue, command == "serial" ? 10 : 13);
        }
    } else if (command == "batch") {
        RequireCount(options, 1, SIZE_MAX);
        for (const auto& argument : options.arguments) {
            input.imports.push_back(BatchImport(argument));
        }
    } else {
        RequireCount(options, 0, 0);
    }
    if (command == "prune" && options.keep < 1) throw CUsageError("prune needs --keep N");
    if (options.dryRun && !ChangesInstrument(options)) {
        throw CUsageError("--dry-run goes with a command that changes the instrument");
    }
    if (options.force && command != "erase") throw CUsageError("--force goes with erase");
    if (!options.from.empty() && command != "restore" && command != "recover") {
        throw CUsageError("--from goes with restore or recover");
    }
    if (options.looseFiles && (command != "restore" || !options.from.empty())) {
        throw CUsageError("--loose-files goes with restore, without --from");
    }
    if (access(options.modulePath.c_str(), R_OK) != 0 && command != "log") {
        throw CUsageError("cannot read the module " + options.modulePath);
    }
    return input;
}

bool ParseMacText(const std::string& text, std::vector<BYTE>& bytes) {
    std::vector<BYTE> parsed;
    for (size_t i = 0; i < text.size(); i += 3) {
        if (i + 2 > text.size() || !std::isxdigit(static_cast<unsigned char>(text[i])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
            return false;
        }
        if (i + 2 < text.size() && text[i + 2] != ':') return false;
        parsed.push_back(static_cast<BYTE>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    if (parsed.empty() || text.back() == ':') return false;
    bytes = std::move(parsed);
    return true;
}

void CheckIdentification(const std::string& what, const std::string& text, size_t maxLength) {
    bool printable = !text.empty() && text.size() <= maxLength;
    for (unsigned char c : text) printable = printable && c >= 0x20 && c <= 0x7E;
    if (!printable) {
        throw CUsageError(what + " has 1 to " + std::to_string(maxLength) +
                          " printable ASCII characters; refused: " + std::to_string(text.size()) +
                          " bytes given");
    }
}

bool ChangesInstrument(const CToolOptions& options) {
    const std::string& command = options.command;
    if (command == "serial" || command == "material") return !options.arguments.empty();
    if (command == "dds" || command == "mac") {
        return !options.arguments.empty() && options.arguments[0] == "import";
    }
    return command == "restore" || command == "erase" || command == "batch" || command == "recover";
}

std::string ToolHelp() {
    std::string help =
        "usage: norn-service [OPTIONS] COMMAND [ARGS]\n"
        "Loads Brightwork_Norn by path and runs service operations against a simulated\n"
        "instrument kept in a directory.\n\ncommands:\n";
    for (const auto& [name, text] : Commands()) help += "  " + std::string(text.usage) + "\n";
    help +=
        "\noptions:\n"
        "  --instrument DIR     the instrument directory (default ./instrument)\n"
        "  --root DIR           the service data root (default DIR/root)\n"
        "  --module PATH        the module to load (default: the one built with this tool)\n"
        "  --no-error-manager   do not register the error manager; reports go to the event log\n"
        "  --fault FAULT        a driver fault, METHOD[#N]=hr:HRESULT|status:N|size:N|null\n"
        "                       (repeatable; N counts the method's calls, omitted = every call)\n"
        "  --json               print the run's result as one JSON object\n"
        "  --yes                do not ask before a command changes the instrument\n"
        "  --dry-run            show what a command would change, change nothing\n"
        "  --force              erase without a verified backup set of the instrument's data\n"
        "  --from SET           restore or recover from this backup set\n"
        "  --loose-files        restore the files in the service data folder, not a set\n"
        "  --keep N             prune: the number of backup sets that stay\n"
        "  -h, --help           this help; COMMAND --help for a command's\n"
        "\nexit status: 0 success; 1 the module reported failure, the instrument is missing,\n"
        "damaged or in use, a file could not be written, a check found a difference, or a\n"
        "change was refused or not confirmed; 2 usage error (nothing was touched)\n";
    return help;
}

std::string CommandHelp(const std::string& command) {
    const auto found = Commands().find(command);
    if (found == Commands().end()) throw CUsageError("unknown command " + command);
    return "usage: norn-service [OPTIONS] " + std::string(found->second.usage) + "\n" +
           found->second.description + "\n";
}

}  // namespace norn::tool
