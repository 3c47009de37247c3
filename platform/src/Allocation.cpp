#include "Allocation.h"

#include <atomic>

#include "norn/PlatformTestHooks.h"

namespace norn::platform {
namespace {
std::atomic<LONG> g_failCountdown{0};
}

bool AllocationAllowed() noexcept {
    LONG current = g_failCountdown.load();
    while (current > 0) {
        if (g_failCountdown.compare_exchange_weak(current, current - 1)) return current != 1;
    }
    return true;
}

}  // namespace norn::platform

NORN_PLATFORM_API void NornFailPlatformAllocation(LONG nth) {
    norn::platform::g_failCountdown.store(nth > 0 ? nth : 0);
}
