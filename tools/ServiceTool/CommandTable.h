// The one description of the tool's commands, options and exit statuses: the parser, --help,
// the man page and the bash completion are all made from these tables, so they cannot drift.
#pragma once

#include <string>
#include <vector>

namespace norn::tool {

struct CToolOptions;

struct CCommandSpec {
    const char* name;
    const char* usage;
    const char* summary;  // one line
    const char* description;
};

struct COptionSpec {
    const char* name;   // "--instrument"
    const char* value;  // "DIR", "[=SECONDS]" for an optional value, or null
    const char* description;
    // Takes the option's value (empty when it has none); throws CUsageError for a bad one.
    void (*apply)(CToolOptions& options, const std::string& value);
};

struct CExitSpec {
    int status;
    const char* causes;
};

const std::vector<CCommandSpec>& CommandSpecs();
const std::vector<COptionSpec>& OptionSpecs();
const std::vector<CExitSpec>& ExitSpecs();
const CCommandSpec* FindCommand(const std::string& name);

}  // namespace norn::tool
