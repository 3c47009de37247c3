#include "LoadCycle.h"

#include <dlfcn.h>

#include <norn/BrightworkNorn.h>

namespace norn::bench {

bool LoadAndUnloadOnce(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return false;
    auto getMethodTable = reinterpret_cast<PFN_GETMETHODTABLE>(dlsym(handle, "GetMethodTable"));
    const bool found = getMethodTable != nullptr && getMethodTable() != nullptr;
    dlclose(handle);
    return found;
}

bool LoadAndUnloadLibrary(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
}

void KeepQtLoaded() {
    for (const char* library : {"libQt6Core.so.6", "libQt6Xml.so.6"}) {
        dlopen(library, RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
    }
}

bool IsMapped(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) return false;
    dlclose(handle);
    return true;
}

}  // namespace norn::bench
