#include "CommandTable.h"

#include <cerrno>
#include <cstdlib>

#include "CommandLine.h"

namespace norn::tool {

namespace {

long WholeNumber(const std::string& option, const std::string& value, long least, long most) {
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(value.c_str(), &end, 10);
    const bool digits =
        !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || *end != '\0' || errno != 0 || number < least || number > most) {
        throw CUsageError(option + " needs a whole number from " + std::to_string(least) + " to " +
                          std::to_string(most) + ", got '" + value + "'");
    }
    return number;
}

}  // namespace

const std::vector<CCommandSpec>& CommandSpecs() {
    static const std::vector<CCommandSpec> commands = {
        {"init", "init", "make a new instrument with factory data",
         "Makes the instrument directory with factory data; refused when it holds an "
         "instrument."},
        {"status", "status", "serial and material number, both blocks, the service data files",
         "The serial and material number (F4, F5), both blocks as the instrument holds them "
         "(header, payload, or erased) and the service data files."},
        {"info", "info", "the instrument, its module, identification, backup sets, last operation",
         "The instrument directory, service data root, module path and version, serial and "
         "material number, the backup sets and the last operation."},
        {"backup", "backup", "save the service data into a new verified backup set",
         "F3 saves both payloads into the service data files; the serial and material number "
         "are added to NornData.xml and the three files are kept as a new backup set in "
         "<instrument>/backups (never overwriting one)."},
        {"backups", "backups", "list the backup sets, verified or damaged",
         "Lists the backup sets, newest first, with their time, identification, sizes and "
         "whether they verify."},
        {"verify", "verify", "check files, blocks, identification and the newest backup set",
         "Checks, writing nothing, that the service data files match the blocks and the "
         "identification, and that the newest backup set verifies and matches."},
        {"restore", "restore [--from SET] [--loose-files]",
         "put a verified backup set back into the instrument",
         "Lays out the newest verified backup set (or SET) into the service data folder, F2 "
         "writes it into the instrument, then verify runs. Shows what changes and asks unless "
         "--yes. --loose-files restores the files already in the service data folder."},
        {"erase", "erase [--force]", "erase the service data files and both blocks",
         "F8 removes the service data files and erases both blocks. Refused unless a verified "
         "backup set holds the instrument's data (or --force); asks unless --yes."},
        {"prune", "prune --keep N", "remove old backup sets",
         "Keeps the newest N backup sets that verify (N at least 1) and the sets newer than "
         "them; removes the rest."},
        {"recover", "recover [--from SET]", "rebuild a damaged instrument from a backup set",
         "For a damaged instrument.state: keeps it aside as instrument.state.damaged, starts "
         "from factory data and restores the newest verified backup set (or SET)."},
        {"serial", "serial [NEW]", "read the serial number, or store NEW first",
         "F4 reads the serial number; with NEW (1 to 10 printable ASCII characters), F6 stores "
         "it first."},
        {"material", "material [NEW]", "read the material number, or store NEW first",
         "F5 reads the material number; with NEW (1 to 13 printable ASCII characters), F7 "
         "stores it first."},
        {"dds", "dds export [FILE] | dds import FILE", "export or import the device data set",
         "Entry 4 exports the device data set (to FILE, or shown); entry 3 imports FILE (a "
         "regular file of at most 1348 bytes)."},
        {"mac", "mac export | mac import (MAC|FILE)", "export or import the MAC address",
         "Entry 6 exports the MAC address; entry 5 imports 1 to 16 bytes, written "
         "aa:bb:cc, aa-bb-cc or aabb.ccdd.eeff, or read from FILE."},
        {"batch", "batch IMPORT...", "several imports with one commit",
         "Entry 29, the imports (dds=FILE or mac=MAC|FILE) in order, entry 30: one commit for "
         "all of them. Stops at the first failed import and commits nothing."},
        {"log", "log", "the reports and event-log lines recorded",
         "The reports and event-log lines recorded for this instrument (log.txt)."},
        {"history", "history", "every command run on this instrument",
         "Every command run on this instrument, with its time, result, the backup set made or "
         "used and what changed (history.log)."},
        {"demo", "demo", "a whole service cycle on its own instrument",
         "A service cycle: status, backup, erase, status, restore, status, on an instrument "
         "made when missing. Does not ask; stops at the first failed step."},
    };
    return commands;
}

const std::vector<COptionSpec>& OptionSpecs() {
    static const std::vector<COptionSpec> options = {
        {"--instrument", "DIR", "the instrument directory (default ./instrument)",
         [](CToolOptions& o, const std::string& v) {
             if (v.empty()) throw CUsageError("--instrument needs a directory");
             o.instrument = v;
         }},
        {"--root", "DIR", "the service data root (default DIR/root; at most 99 ASCII characters)",
         [](CToolOptions& o, const std::string& v) {
             CheckRoot(v);
             o.root = v;
         }},
        {"--module", "PATH",
         "the module to load (default: the one installed or built with the tool)",
         [](CToolOptions& o, const std::string& v) { o.modulePath = v; }},
        {"--no-error-manager", nullptr, "leave the error manager out: reports go to the event log",
         [](CToolOptions& o, const std::string&) { o.errorManager = false; }},
        {"--fault", "FAULT", "a driver fault, METHOD[#N]=KIND[:VALUE] (repeatable; see below)",
         [](CToolOptions& o, const std::string& v) { o.faults.push_back(ParseFault(v)); }},
        {"--json", nullptr, "print exactly one JSON object (norn-service.schema.json)",
         [](CToolOptions& o, const std::string&) { o.json = true; }},
        {"--raw", nullptr, "payloads as one hex string instead of a hex and ASCII dump",
         [](CToolOptions& o, const std::string&) { o.raw = true; }},
        {"--yes", nullptr, "do not ask before a command changes the instrument",
         [](CToolOptions& o, const std::string&) { o.yes = true; }},
        {"--dry-run", nullptr, "show what a command would change, change nothing",
         [](CToolOptions& o, const std::string&) { o.dryRun = true; }},
        {"--force", nullptr, "erase without a verified backup set of the instrument's data",
         [](CToolOptions& o, const std::string&) { o.force = true; }},
        {"--from", "SET", "restore or recover from this backup set",
         [](CToolOptions& o, const std::string& v) { o.from = v; }},
        {"--loose-files", nullptr, "restore the files in the service data folder, not a set",
         [](CToolOptions& o, const std::string&) { o.looseFiles = true; }},
        {"--keep", "N", "prune: how many verified backup sets stay (1 or more)",
         [](CToolOptions& o, const std::string& v) {
             o.keep = WholeNumber("--keep", v, 1, 100000);
         }},
        {"--wait", "[=SECONDS]",
         "wait for another process's lock on the instrument (without SECONDS, as long as it takes)",
         [](CToolOptions& o, const std::string& v) {
             o.wait = v.empty() ? 0 : WholeNumber("--wait", v, 1, 86400);
         }},
        {"--version", nullptr, "the tool's, the module's and the platform layer's versions",
         [](CToolOptions& o, const std::string&) { o.version = true; }},
        {"--help", nullptr, "this help; COMMAND --help for a command's (also -h)",
         [](CToolOptions& o, const std::string&) { o.help = true; }},
        {"--generate", "man|bash-completion", "print the man page or the bash completion",
         [](CToolOptions& o, const std::string& v) {
             if (v != "man" && v != "bash-completion") {
                 throw CUsageError("--generate takes man or bash-completion");
             }
             o.generate = v;
         }},
    };
    return options;
}

const std::vector<CExitSpec>& ExitSpecs() {
    static const std::vector<CExitSpec> exits = {
        {0, "success"},
        {1,
         "the module reported a failure; the instrument is missing, damaged, in use or not "
         "permitted; a file could not be written; verify found a difference; a change was "
         "refused (erase without a backup, a set that does not verify) or not confirmed"},
        {2,
         "usage error, found before anything is touched: an unknown command or option, wrong "
         "arguments, a bad fault, root, MAC address, serial or material number, an import file "
         "that is not a regular file of the right size, a module that cannot be read"},
    };
    return exits;
}

const CCommandSpec* FindCommand(const std::string& name) {
    for (const CCommandSpec& command : CommandSpecs()) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

}  // namespace norn::tool
