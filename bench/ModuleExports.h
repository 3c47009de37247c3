// CModuleExports: Brightwork_Norn loaded by path with dlopen, with every export and method table
// entry that the benchmarks call looked up once, as a firmware host does, so that no symbol
// lookup is timed with an operation.
//
// Ownership: the object holds one dlopen reference and gives it back in its destructor; the
// function pointers are valid only while it lives.
#pragma once

#include <norn/BrightworkNorn.h>

#include <string>

namespace norn::bench {

class CModuleExports {
public:
    // Throws std::runtime_error with dlerror's text when the library or one of its exports is
    // missing.
    explicit CModuleExports(const std::string& path);
    ~CModuleExports();
    CModuleExports(const CModuleExports&) = delete;
    CModuleExports& operator=(const CModuleExports&) = delete;

    PFN_BRIGHTWORK_OPERATION F2 = nullptr;  // restore
    PFN_BRIGHTWORK_OPERATION F3 = nullptr;  // backup
    PFN_BRIGHTWORK_READTEXT F4 = nullptr;   // serial number
    PFN_BRIGHTWORK_READTEXT F5 = nullptr;   // material number
    PFN_BRIGHTWORK_WRITETEXT F6 = nullptr;
    PFN_BRIGHTWORK_WRITETEXT F7 = nullptr;
    PFN_BRIGHTWORK_OPERATION F8 = nullptr;  // erase

    PFN_BRIGHTWORK_IMPORT ImportDeviceDataSet = nullptr;  // entry 3
    PFN_BRIGHTWORK_EXPORT ExportDeviceDataSet = nullptr;  // entry 4
    PFN_BRIGHTWORK_IMPORT ImportMacAddress = nullptr;     // entry 5
    PFN_BRIGHTWORK_EXPORT ExportMacAddress = nullptr;     // entry 6
    PFN_BRIGHTWORK_RELEASEBUFFER ReleaseBuffer = nullptr;
    PFN_BRIGHTWORK_BEGINDEFERREDCOMMIT BeginDeferredCommit = nullptr;
    PFN_BRIGHTWORK_ENDDEFERREDCOMMIT EndDeferredCommit = nullptr;

private:
    template <class Function>
    Function Symbol(const char* name) const;

    void* m_handle = nullptr;
};

}  // namespace norn::bench
