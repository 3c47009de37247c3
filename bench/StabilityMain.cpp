// norn_stability: the module in one process for a long time, and loaded and unloaded many times,
// with the limits it must keep. Exits 0 when every limit held, 1 when one did not, 2 on a bad
// command line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "StabilityRuns.h"

namespace {

constexpr const char* kUsage =
    "usage: norn_stability [--cycles N] [--load-cycles N]\n"
    "  --cycles N       backup/restore/import/export cycles of the long run (default 100000;\n"
    "                   at least 2000, since memory is compared after cycle 1000)\n"
    "  --load-cycles N  dlopen + GetMethodTable + dlclose cycles (default 1000)\n";

bool ParseCount(const char* text, long minimum, long& value) {
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == 0 && value >= minimum;
}

}  // namespace

int main(int argc, char** argv) {
    norn::bench::CLongRunLimits limits;
    long loadCycles = 1000;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--cycles") == 0 && hasValue &&
            ParseCount(argv[i + 1], 2 * limits.settledAfter, limits.cycles)) {
            ++i;
        } else if (std::strcmp(argv[i], "--load-cycles") == 0 && hasValue &&
                   ParseCount(argv[i + 1], 1, loadCycles)) {
            ++i;
        } else {
            std::fputs(kUsage, std::strcmp(argv[i], "--help") == 0 ? stdout : stderr);
            return std::strcmp(argv[i], "--help") == 0 ? 0 : 2;
        }
    }
    try {
        // The load cycles come first: the long run keeps the module loaded to the end.
        bool held = norn::bench::RunLoadCycles(loadCycles, false);
        held &= norn::bench::RunLoadCycles(loadCycles, true);
        held &= norn::bench::RunLongRun(limits);
        std::printf("%s\n", held ? "stability: every limit held" : "stability: a limit was broken");
        return held ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "norn_stability: %s\n", error.what());
        return 1;
    }
}
