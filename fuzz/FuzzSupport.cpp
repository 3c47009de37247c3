// The fuzz targets' shared process set-up, file layout, module calls and rule checks.
#include "FuzzSupport.h"

#include <norn/firmware/RotRegistration.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "driver/DeferredCommit.h"
#include "norn/ComApartment.h"

extern "C" const BrightworkMethodTable* GetMethodTable();

namespace norn::fuzz {

namespace {

// A fresh directory below the temporary directory, removed with its content at exit. Short
// enough for the module, which takes roots of at most 99 characters.
class CTempRoot {
public:
    CTempRoot() {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/norn-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr || pattern.size() > 80) {
            CheckFailed("a temporary service data root", __FILE__, __LINE__);
        }
        m_path = pattern;
        std::filesystem::create_directories(m_path + "/eeprom/xml");
    }
    ~CTempRoot() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    CTempRoot(const CTempRoot&) = delete;
    CTempRoot& operator=(const CTempRoot&) = delete;

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// The firmware process around the module, built in this order and torn down in reverse.
struct CFuzzProcess {
    CFuzzProcess() {
        NORN_FUZZ_CHECK(apartment.Result() == S_OK);
        NORN_FUZZ_CHECK(registration.Succeeded());
        setenv("TARVO_SYSTEM_ROOT_RW", root.Path().c_str(), 1);
    }

    CTempRoot root;
    CComApartment apartment;
    firmware::CErrorManagerSimulator manager;
    firmware::CRotRegistration registration{&manager, OLESTR("ErrorManager")};
};

CFuzzProcess& Process() {
    static CFuzzProcess process;
    return process;
}

const BrightworkMethodTable& Table() {
    static const BrightworkMethodTable* table = GetMethodTable();
    return *table;
}

template <class Function>
Function TableEntry(BrightworkEntry entry) {
    return reinterpret_cast<Function>(Table().entries[entry]);
}

}  // namespace

void CheckFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: broken rule: %s\n", file, line, condition);
    std::abort();
}

void BeginIteration() {
    Process().manager.Clear();
    ResetDeferredCommitForTests();
}

firmware::CErrorManagerSimulator& ErrorManager() {
    return Process().manager;
}

std::string ServiceDataFile(const char* name) {
    return Process().root.Path() + "/eeprom/xml/" + name;
}

void LayOut(const std::string& path, const CFileSpec& file) {
    std::filesystem::remove_all(path);
    if (file.kind == FileDirectory) {
        std::filesystem::create_directory(path);
    } else if (file.kind == FileRegular) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << file.content;
    }
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

CExportCall CallExport(BrightworkEntry entry, bool nullBuffer, bool nullCount) {
    CExportCall call;
    call.result = TableEntry<PFN_BRIGHTWORK_EXPORT>(entry)(0, nullBuffer ? nullptr : &call.buffer,
                                                           nullCount ? nullptr : &call.count);
    return call;
}

LONG CallImport(BrightworkEntry entry, const std::string& payload) {
    return TableEntry<PFN_BRIGHTWORK_IMPORT>(entry)(
        0, reinterpret_cast<const BYTE*>(payload.data()), static_cast<LONG>(payload.size()));
}

void CheckAndReleaseExport(const CExportCall& call, ULONG maxCount, bool nullBuffer) {
    NORN_FUZZ_CHECK(call.result == kBrightworkSucceeded || call.result == kBrightworkFailed);
    if (nullBuffer) NORN_FUZZ_CHECK(call.result == kBrightworkFailed && call.count == 0);
    if (call.result == kBrightworkSucceeded) NORN_FUZZ_CHECK(call.buffer != nullptr);
    if (call.buffer != nullptr) {
        NORN_FUZZ_CHECK(call.count <= maxCount);
        NORN_FUZZ_CHECK(call.buffer[call.count] == 0);
    }
    NORN_FUZZ_CHECK(TableEntry<PFN_BRIGHTWORK_RELEASEBUFFER>(EntryReleaseBuffer)(0, call.buffer) ==
                    0);
}

void CheckReported(LONG result) {
    NORN_FUZZ_CHECK(result == kBrightworkSucceeded || result == kBrightworkFailed);
    const bool reported = !ErrorManager().Reports().empty();
    NORN_FUZZ_CHECK(reported == (result == kBrightworkFailed));
}

}  // namespace norn::fuzz
