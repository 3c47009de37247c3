// What this process holds, for the stability run: resident memory, the heap bytes in use, and
// the number of mappings (one more per library left behind).
#pragma once

#include <cstddef>

namespace norn::bench {

struct CProcessMemory {
    size_t residentBytes = 0;  // /proc/self/statm
    size_t heapInUse = 0;      // malloc's bytes in use (mallinfo2)
    size_t mappings = 0;       // lines of /proc/self/maps

    static CProcessMemory Now();
};

}  // namespace norn::bench
