// Parsing and checking of the service tool's command line.
#include "CommandLine.h"

#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "CommandTable.h"
#include "SafeFiles.h"

namespace norn::tool {

namespace {

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
    throw CUsageError("batch: expected dds=FILE or mac=MAC|FILE, got " + argument);
}

void RequireCount(const CToolOptions& options, size_t least, size_t most) {
    const size_t count = options.arguments.size();
    if (count >= least && count <= most) return;
    throw CUsageError(options.command + ": wrong number of arguments; usage: norn-service " +
                      FindCommand(options.command)->usage);
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

// The option named by the word (--name or --name=value), or null.
const COptionSpec* FindOption(const std::string& word, std::string& value, bool& hasValue) {
    const std::string name = word == "-h" ? "--help" : word.substr(0, word.find('='));
    hasValue = word.find('=') != std::string::npos;
    value = hasValue ? word.substr(word.find('=') + 1) : "";
    for (const COptionSpec& option : OptionSpecs()) {
        if (name == option.name) return &option;
    }
    return nullptr;
}

void CheckCombinations(const CToolOptions& options) {
    const std::string& command = options.command;
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
}

}  // namespace

CToolOptions ParseCommandLine(int argc, char** argv) {
    CToolOptions options;
    for (int index = 1; index < argc; ++index) {
        const std::string word = argv[index];
        if (word.size() < 2 || word[0] != '-') {
            (options.command.empty() ? options.command : options.arguments.emplace_back()) = word;
            continue;
        }
        std::string value;
        bool hasValue = false;
        const COptionSpec* option = FindOption(word, value, hasValue);
        if (option == nullptr) {
            throw CUsageError("unknown option " + word + " (see norn-service --help)");
        }
        const bool optionalValue = option->value != nullptr && option->value[0] == '[';
        if (option->value == nullptr || optionalValue) {
            if (hasValue && !optionalValue) throw CUsageError(word + " takes no value");
        } else if (!hasValue) {
            if (index + 1 >= argc) throw CUsageError(word + " needs a value");
            value = argv[++index];
        }
        option->apply(options, value);
    }
    if (options.help || options.version || !options.generate.empty()) {
        if (!options.command.empty() && FindCommand(options.command) == nullptr) {
            throw CUsageError("unknown command " + options.command + " (see norn-service --help)");
        }
        return options;
    }
    if (options.command.empty()) throw CUsageError("no command (see norn-service --help)");
    if (FindCommand(options.command) == nullptr) {
        throw CUsageError("unknown command " + options.command + " (see norn-service --help)");
    }
    return options;
}

CCommandInput PrepareCommand(const CToolOptions& options) {
    const std::string& command = options.command;
    CheckCombinations(options);
    try {
        CheckRoot(options.Root());
    } catch (const CUsageError& error) {
        throw CUsageError(std::string(error.what()) + " (the root is " + options.Root() + ")");
    }
    CCommandInput input;
    if (command == "dds" || command == "mac") {
        input = PreparePayloadCommand(options);
    } else if (command == "serial" || command == "material") {
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
    const std::string module =
        options.modulePath.empty() ? DefaultModulePath() : options.modulePath;
    if (access(module.c_str(), R_OK) != 0 && command != "log" && command != "history") {
        throw CUsageError("cannot read the module " + module);
    }
    return input;
}

bool ChangesInstrument(const CToolOptions& options) {
    const std::string& command = options.command;
    if (command == "serial" || command == "material") return !options.arguments.empty();
    if (command == "dds" || command == "mac") {
        return !options.arguments.empty() && options.arguments[0] == "import";
    }
    return command == "restore" || command == "erase" || command == "batch" || command == "recover";
}

bool RecordedInHistory(const CToolOptions& options) {
    const std::string& command = options.command;
    return ChangesInstrument(options) || command == "init" || command == "backup" ||
           command == "prune" || command == "demo";
}

bool JsonWanted(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) return true;
    }
    return false;
}

std::string CommandWord(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') {
            std::string value;
            bool hasValue = false;
            const COptionSpec* option = FindOption(argv[i], value, hasValue);
            const bool takesNext = option != nullptr && option->value != nullptr &&
                                   option->value[0] != '[' && !hasValue;
            if (takesNext) ++i;
            continue;
        }
        return argv[i];
    }
    return {};
}

}  // namespace norn::tool
