// Per-thread COM initialisation state, the process's multithreaded apartment, and task memory.
#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "Allocation.h"
#include "ComApartmentState.h"

namespace {

struct ThreadApartment {
    ULONG initCount = 0;
    DWORD model = 0;
};
thread_local ThreadApartment t_apartment;

// Threads that have joined the multithreaded apartment and not yet left it. While there is one,
// a thread that never joined COM belongs to that apartment implicitly, as on Windows.
std::atomic<int> g_multithreadedMembers{0};

constexpr DWORD kModelMask = COINIT_APARTMENTTHREADED;

}  // namespace

namespace norn::platform {
bool IsComUsableOnThisThread() noexcept {
    return t_apartment.initCount > 0 || g_multithreadedMembers.load() > 0;
}
}  // namespace norn::platform

WINOLEAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    if (pvReserved != nullptr) return E_INVALIDARG;
    const DWORD model = dwCoInit & kModelMask;
    if (t_apartment.initCount > 0) {
        if (t_apartment.model != model) return RPC_E_CHANGED_MODE;
        ++t_apartment.initCount;
        return S_FALSE;
    }
    t_apartment.model = model;
    t_apartment.initCount = 1;
    if (model == COINIT_MULTITHREADED) ++g_multithreadedMembers;
    return S_OK;
}

NORN_PLATFORM_API void STDAPICALLTYPE CoUninitialize() {
    if (t_apartment.initCount == 0) return;
    if (--t_apartment.initCount == 0 && t_apartment.model == COINIT_MULTITHREADED) {
        --g_multithreadedMembers;
    }
}

NORN_PLATFORM_API LPVOID STDAPICALLTYPE CoTaskMemAlloc(SIZE_T cb) {
    if (!norn::platform::AllocationAllowed()) return nullptr;
    return std::malloc(cb == 0 ? 1 : cb);
}

NORN_PLATFORM_API void STDAPICALLTYPE CoTaskMemFree(LPVOID pv) {
    std::free(pv);
}
