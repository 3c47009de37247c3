#include "ModuleExports.h"

#include <dlfcn.h>

#include <stdexcept>

namespace norn::bench {

namespace {

template <class Function>
Function TableEntry(const BrightworkMethodTable* table, int index) {
    return reinterpret_cast<Function>(table->entries[index]);
}

}  // namespace

template <class Function>
Function CModuleExports::Symbol(const char* name) const {
    void* address = dlsym(m_handle, name);
    if (address == nullptr) throw std::runtime_error(std::string("no export ") + name);
    return reinterpret_cast<Function>(address);
}

CModuleExports::CModuleExports(const std::string& path)
    : m_handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (m_handle == nullptr) throw std::runtime_error(dlerror());
    try {
        F2 = Symbol<PFN_BRIGHTWORK_OPERATION>("F2");
        F3 = Symbol<PFN_BRIGHTWORK_OPERATION>("F3");
        F4 = Symbol<PFN_BRIGHTWORK_READTEXT>("F4");
        F5 = Symbol<PFN_BRIGHTWORK_READTEXT>("F5");
        F6 = Symbol<PFN_BRIGHTWORK_WRITETEXT>("F6");
        F7 = Symbol<PFN_BRIGHTWORK_WRITETEXT>("F7");
        F8 = Symbol<PFN_BRIGHTWORK_OPERATION>("F8");
        const BrightworkMethodTable* table = Symbol<PFN_GETMETHODTABLE>("GetMethodTable")();
        ImportDeviceDataSet = TableEntry<PFN_BRIGHTWORK_IMPORT>(table, EntryDeviceDataSetImport);
        ExportDeviceDataSet = TableEntry<PFN_BRIGHTWORK_EXPORT>(table, EntryDeviceDataSetExport);
        ImportMacAddress = TableEntry<PFN_BRIGHTWORK_IMPORT>(table, EntryMacAddressImport);
        ExportMacAddress = TableEntry<PFN_BRIGHTWORK_EXPORT>(table, EntryMacAddressExport);
        ReleaseBuffer = TableEntry<PFN_BRIGHTWORK_RELEASEBUFFER>(table, EntryReleaseBuffer);
        BeginDeferredCommit =
            TableEntry<PFN_BRIGHTWORK_BEGINDEFERREDCOMMIT>(table, EntryBeginDeferredCommit);
        EndDeferredCommit =
            TableEntry<PFN_BRIGHTWORK_ENDDEFERREDCOMMIT>(table, EntryEndDeferredCommit);
    } catch (...) {
        dlclose(m_handle);
        throw;
    }
}

CModuleExports::~CModuleExports() {
    dlclose(m_handle);
}

}  // namespace norn::bench
