#include "MachineDescription.h"

#include <sys/statfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>

namespace norn::bench {

namespace {

std::string ProcessorName() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) != 0) continue;
        const size_t colon = line.find(':');
        if (colon != std::string::npos) return line.substr(colon + 2);
    }
    return "unknown processor";
}

std::string FileSystemName(const std::string& directory) {
    static const std::map<long, std::string> kNames = {
        {0xEF53, "ext4"},      {0x58465342, "xfs"},     {0x9123683E, "btrfs"},
        {0x01021994, "tmpfs"}, {0x794C7630, "overlay"}, {0x6969, "nfs"},
    };
    struct statfs status;
    if (statfs(directory.c_str(), &status) != 0) return "unknown file system";
    auto found = kNames.find(static_cast<long>(status.f_type));
    return found != kNames.end() ? found->second : "file system 0x" + std::to_string(status.f_type);
}

}  // namespace

std::string MachineDescription(const std::string& dataDirectory) {
    struct utsname system;
    const std::string kernel =
        uname(&system) == 0 ? std::string(system.sysname) + " " + system.release : "unknown kernel";
    const double bytes = static_cast<double>(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGESIZE);
    char memory[32];
    std::snprintf(memory, sizeof memory, "%.0f GiB", bytes / (1024.0 * 1024 * 1024));
    return ProcessorName() + ", " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " cores, " +
           memory + ", " + kernel + ", service data on " + FileSystemName(dataDirectory) +
           ", compiler " + __VERSION__;
}

}  // namespace norn::bench
