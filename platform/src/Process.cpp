// Process and thread identity, the per-thread last error, and local memory.
#include <windows.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "Allocation.h"

namespace {
thread_local DWORD t_lastError = 0;
}

WINBASEAPI DWORD WINAPI GetCurrentProcessId() {
    return static_cast<DWORD>(getpid());
}
WINBASEAPI DWORD WINAPI GetCurrentThreadId() {
    return static_cast<DWORD>(syscall(SYS_gettid));
}
WINBASEAPI DWORD WINAPI GetLastError() {
    return t_lastError;
}
WINBASEAPI void WINAPI SetLastError(DWORD dwErrCode) {
    t_lastError = dwErrCode;
}

WINBASEAPI HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    if (!norn::platform::AllocationAllowed()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* p = (uFlags & LMEM_ZEROINIT) ? std::calloc(1, uBytes ? uBytes : 1)
                                       : std::malloc(uBytes ? uBytes : 1);
    if (p == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return p;
}

WINBASEAPI HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    std::free(hMem);
    return nullptr;
}
