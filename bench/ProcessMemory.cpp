#include "ProcessMemory.h"

#include <malloc.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace norn::bench {

CProcessMemory CProcessMemory::Now() {
    CProcessMemory memory;
    std::ifstream statm("/proc/self/statm");
    size_t totalPages = 0, residentPages = 0;
    if (statm >> totalPages >> residentPages) {
        memory.residentBytes = residentPages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
    }
    memory.heapInUse = mallinfo2().uordblks;
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) ++memory.mappings;
    return memory;
}

}  // namespace norn::bench
