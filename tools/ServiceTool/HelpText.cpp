// --help, COMMAND --help, --version, and the man page and bash completion, all made from the
// command table (CommandTable.cpp), so that what the tool says of itself cannot drift.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "CommandLine.h"
#include "CommandTable.h"
#include "ServiceHost.h"

namespace norn::tool {

namespace {

std::string OptionWords(const COptionSpec& option) {
    if (option.value == nullptr) return option.name;
    return std::string(option.name) + (option.value[0] == '[' ? "" : " ") + option.value;
}

std::string Padded(std::string text, size_t width) {
    text.resize(std::max(width, text.size() + 2), ' ');
    return text;
}

std::string ToolHelp() {
    std::string help =
        "usage: norn-service [OPTIONS] COMMAND [ARGS]\n"
        "Loads Brightwork_Norn by path and runs service operations against a simulated\n"
        "instrument kept in a directory. A change is shown and asked for first.\n\ncommands:\n";
    for (const CCommandSpec& command : CommandSpecs()) {
        help += "  " + Padded(command.usage, 40) + command.summary + "\n";
    }
    help += "\noptions:\n";
    for (const COptionSpec& option : OptionSpecs()) {
        help += "  " + Padded(OptionWords(option), 26) + option.description + "\n";
    }
    help += "\n" + FaultHelp() + "\nexit status:\n";
    for (const CExitSpec& exit : ExitSpecs()) {
        help += "  " + std::to_string(exit.status) + "  " + exit.causes + "\n";
    }
    return help;
}

// Roff text: backslashes and leading dots or quotes made literal.
std::string Roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
    return out;
}

std::string ManPage() {
    std::string page = ".TH NORN-SERVICE 1 \"\" \"norn " NORN_TOOL_VERSION
                       "\" \"User Commands\"\n"
                       ".SH NAME\nnorn\\-service \\- back up, restore and check an instrument's "
                       "service data through Brightwork_Norn\n"
                       ".SH SYNOPSIS\n.B norn\\-service\n[\\fIOPTIONS\\fR] \\fICOMMAND\\fR "
                       "[\\fIARGS\\fR]\n.SH COMMANDS\n";
    for (const CCommandSpec& command : CommandSpecs()) {
        page += ".TP\n.B " + Roff(command.usage) + "\n" + Roff(command.description) + "\n";
    }
    page += ".SH OPTIONS\n";
    for (const COptionSpec& option : OptionSpecs()) {
        page += ".TP\n.B " + Roff(OptionWords(option)) + "\n" + Roff(option.description) + "\n";
    }
    page += ".SH DRIVER FAULTS\n.nf\n" + Roff(FaultHelp()) + ".fi\n.SH EXIT STATUS\n";
    for (const CExitSpec& exit : ExitSpecs()) {
        page += ".TP\n.B " + std::to_string(exit.status) + "\n" + Roff(exit.causes) + "\n";
    }
    return page;
}

std::string BashCompletion() {
    std::string commands, options;
    for (const CCommandSpec& command : CommandSpecs()) commands += std::string(" ") + command.name;
    for (const COptionSpec& option : OptionSpecs()) options += std::string(" ") + option.name;
    return "# bash completion for norn-service\n"
           "_norn_service() {\n"
           "    local current=${COMP_WORDS[COMP_CWORD]} previous=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    case $previous in\n"
           "        --instrument|--root) COMPREPLY=($(compgen -d -- \"$current\")); return ;;\n"
           "        --module) COMPREPLY=($(compgen -f -- \"$current\")); return ;;\n"
           "        --generate) COMPREPLY=($(compgen -W 'man bash-completion' -- \"$current\")); "
           "return ;;\n"
           "        dds|mac) COMPREPLY=($(compgen -W 'export import' -- \"$current\")); return ;;\n"
           "        import|export) COMPREPLY=($(compgen -f -- \"$current\")); return ;;\n"
           "    esac\n"
           "    if [[ $current == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W '" +
           options.substr(1) +
           "' -- \"$current\"))\n"
           "    else\n"
           "        COMPREPLY=($(compgen -W '" +
           commands.substr(1) +
           "' -- \"$current\"))\n"
           "    fi\n"
           "}\n"
           "complete -F _norn_service norn-service\n";
}

// Where the code of a symbol was loaded from.
std::string LibraryOf(const void* symbol) {
    Dl_info info{};
    return dladdr(symbol, &info) != 0 && info.dli_fname != nullptr ? info.dli_fname : "?";
}

std::string VersionText(const CToolOptions& options) {
    const std::string module =
        options.modulePath.empty() ? DefaultModulePath() : options.modulePath;
    const std::string moduleVersion = ModuleFileVersion(module);
    return "norn-service " NORN_TOOL_VERSION
           "\n"
           "module " +
           module + " " + (moduleVersion.empty() ? "(no version)" : moduleVersion) +
           "\nplatform layer " + LibraryOf(reinterpret_cast<const void*>(&SysAllocString)) +
           " " NORN_TOOL_VERSION "\n";
}

}  // namespace

std::string HelpText(const CToolOptions& options) {
    if (options.generate == "man") return ManPage();
    if (options.generate == "bash-completion") return BashCompletion();
    if (options.version) return VersionText(options);
    if (options.command.empty()) return ToolHelp();
    const CCommandSpec* command = FindCommand(options.command);
    return "usage: norn-service [OPTIONS] " + std::string(command->usage) + "\n" +
           command->description + "\n";
}

std::string DefaultModulePath() {
    char self[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (length > 0) {
        std::string path(self, static_cast<size_t>(length));
        path = path.substr(0, path.rfind('/')) + "/../lib/norn/Brightwork_Norn.so";
        if (access(path.c_str(), R_OK) == 0) return path;
    }
    return NORN_DEFAULT_MODULE_PATH;
}

}  // namespace norn::tool
