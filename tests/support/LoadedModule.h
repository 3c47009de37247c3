// CLoadedModule: Brightwork_Norn loaded by path with dlopen, the way the firmware's host loads
// it, and unloaded again when the object goes. Tests see the module only through its exports.
#pragma once

#include <dlfcn.h>

#include <norn/BrightworkNorn.h>

#include <string>

namespace norn::test {

class CLoadedModule {
public:
    explicit CLoadedModule(const std::string& path = NORN_MODULE_PATH)
        : m_handle((PinQtCore(), dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))) {}
    ~CLoadedModule() {
        if (m_handle != nullptr) dlclose(m_handle);
    }
    CLoadedModule(const CLoadedModule&) = delete;
    CLoadedModule& operator=(const CLoadedModule&) = delete;

    bool Loaded() const { return m_handle != nullptr; }

    template <class Function>
    Function Export(const char* name) const {
        return reinterpret_cast<Function>(dlsym(m_handle, name));
    }
    const BrightworkMethodTable* Table() const {
        auto getMethodTable = Export<PFN_GETMETHODTABLE>("GetMethodTable");
        return getMethodTable != nullptr ? getMethodTable() : nullptr;
    }
    template <class Function>
    Function Entry(int index) const {
        return reinterpret_cast<Function>(Table()->entries[index]);
    }

    LONG F2() const { return Export<PFN_BRIGHTWORK_OPERATION>("F2")(); }
    LONG F3() const { return Export<PFN_BRIGHTWORK_OPERATION>("F3")(); }
    LONG F4(char* buffer) const { return Export<PFN_BRIGHTWORK_READTEXT>("F4")(buffer); }
    LONG F5(char* buffer) const { return Export<PFN_BRIGHTWORK_READTEXT>("F5")(buffer); }
    LONG F6(const char* text) const { return Export<PFN_BRIGHTWORK_WRITETEXT>("F6")(text); }
    LONG F7(const char* text) const { return Export<PFN_BRIGHTWORK_WRITETEXT>("F7")(text); }
    LONG F8() const { return Export<PFN_BRIGHTWORK_OPERATION>("F8")(); }

    // True while the library is mapped in this process (by anyone).
    static bool IsMapped(const std::string& path = NORN_MODULE_PATH) {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (handle == nullptr) return false;
        dlclose(handle);
        return true;
    }

private:
    // QtCore allocates 8 bytes at load that only its exit handlers free, so every load and
    // unload of a library that brings it in shows as a leak that is Qt's, not the module's.
    // Keeping QtCore loaded for the whole process, as a firmware host that uses Qt does, keeps
    // the leak checker on the module's own allocations.
    static void PinQtCore() {
        static void* const qtCore = dlopen("libQt6Core.so.6", RTLD_NOW | RTLD_NODELETE);
        (void)qtCore;
    }

    void* m_handle;
};

}  // namespace norn::test
