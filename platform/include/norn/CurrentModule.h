// The instance handle of the module (library or executable) that the calling code is compiled
// into: on Windows the address of __ImageBase, here the load address that dladdr finds for the
// module's own __dso_handle. `static` so that every module gets its own copy.
#pragma once

#include <windows.h>

#if defined(_WIN32)
extern "C" IMAGE_DOS_HEADER __ImageBase;
static inline HMODULE NornCurrentModule() {
    return reinterpret_cast<HMODULE>(&__ImageBase);
}
#else
#include <dlfcn.h>
extern "C" void* __dso_handle;
static inline HMODULE NornCurrentModule() {
    Dl_info info{};
    if (dladdr(&__dso_handle, &info) == 0) return nullptr;
    return static_cast<HMODULE>(info.dli_fbase);
}
#endif
