// The fuzz targets' shared process set-up, files, block images, module calls and rule checks.
#include "FuzzSupport.h"

#include <norn/firmware/ErrorManagerSimulator.h>
#include <norn/firmware/RotRegistration.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "driver/DeferredCommit.h"
#include "host/MethodTable.h"
#include "norn/ComApartment.h"

namespace norn::fuzz {

namespace {

// The firmware process around the module, built in this order and torn down in reverse. The
// service data root is a fresh directory below the temporary directory, short enough for the
// module (which takes roots of at most 99 characters) and removed with its content at exit.
struct CFuzzProcess {
    CFuzzProcess() {
        root = std::filesystem::temp_directory_path().string() + "/norn-fuzz-XXXXXX";
        NORN_FUZZ_CHECK(mkdtemp(root.data()) != nullptr && root.size() <= 80);
        std::filesystem::create_directories(root + "/eeprom/xml");
        setenv("TARVO_SYSTEM_ROOT_RW", root.c_str(), 1);
        NORN_FUZZ_CHECK(apartment.Result() == S_OK);
        NORN_FUZZ_CHECK(registration.Succeeded());
    }
    ~CFuzzProcess() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }

    std::string root;
    CComApartment apartment;
    firmware::CErrorManagerSimulator manager;
    firmware::CRotRegistration registration{&manager, OLESTR("ErrorManager")};
};

CFuzzProcess& Process() {
    static CFuzzProcess process;
    return process;
}

template <class Function>
Function TableEntry(BrightworkEntry entry) {
    return reinterpret_cast<Function>(g_methodTable.entries[entry]);
}

}  // namespace

void CheckFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: broken rule: %s\n", file, line, condition);
    std::abort();
}

std::string DataFile(const char* name) {
    return Process().root + "/eeprom/xml/" + name;
}

void LayOut(const char* name, const CFileSpec& file) {
    const std::string path = DataFile(name);
    std::filesystem::remove_all(path);
    if (file.kind == FileDirectory) std::filesystem::create_directory(path);
    if (file.kind == FileRegular) std::ofstream(path, std::ios::binary) << file.content;
}

std::vector<BYTE> BlockImage(LONG block, const std::string& header, const std::string& payload,
                             std::optional<uint32_t> length) {
    const bool dds = block == kDeviceDataSetBlock;
    std::vector<BYTE> image(dds ? kDeviceDataSetImageSize : kMacAddressImageSize, kErasedByte);
    std::copy_n(header.begin(), std::min<size_t>(header.size(), kHeaderSize), image.begin());
    const size_t offset = kHeaderSize + (dds ? sizeof(uint32_t) : 0);
    const size_t used = std::min(payload.size(), image.size() - offset);
    if (dds) {
        const uint32_t field = length.value_or(used);
        std::memcpy(image.data() + kHeaderSize, &field, sizeof(field));
    }
    std::copy_n(payload.begin(), used, image.begin() + offset);
    return image;
}

std::optional<std::string> PayloadOf(LONG block, const std::vector<BYTE>& image) {
    const char* bytes = reinterpret_cast<const char*>(image.data()) + kHeaderSize;
    if (block == kMacAddressBlock) return std::string(bytes, kMacAddressPayloadSize);
    uint32_t length = 0;
    std::memcpy(&length, bytes, sizeof(length));
    if (length > static_cast<uint32_t>(kMaxDeviceDataSetPayload)) return std::nullopt;
    return std::string(bytes + sizeof(length), length);
}

LONG WithDriver(firmware::CMeasurementDriverSimulator& driver,
                const std::function<LONG()>& operation) {
    Process().manager.Clear();
    ResetDeferredCommitForTests();
    LONG result = kBrightworkFailed;
    {
        firmware::CRotRegistration registration(driver.Unknown(), OLESTR("TarvoMeasDriver"));
        NORN_FUZZ_CHECK(registration.Succeeded());
        result = operation();
        NORN_FUZZ_CHECK(driver.Refs() == 1);
    }
    NORN_FUZZ_CHECK(driver.Refs() == 0);
    NORN_FUZZ_CHECK(result == kBrightworkSucceeded || result == kBrightworkFailed);
    NORN_FUZZ_CHECK(Process().manager.Reports().empty() == (result == kBrightworkSucceeded));
    NORN_FUZZ_CHECK(!IsDeferredCommit());
    NORN_FUZZ_CHECK(driver.HandedOutBuffersIntact());
    return result;
}

CExportResult Export(BrightworkEntry entry, bool nullBuffer, bool nullCount) {
    const ULONG room =
        entry == EntryDeviceDataSetExport ? kMaxDeviceDataSetPayload : kMacAddressPayloadSize;
    BYTE* buffer = nullptr;
    ULONG count = 0;
    CExportResult answer;
    answer.result = TableEntry<PFN_BRIGHTWORK_EXPORT>(entry)(0, nullBuffer ? nullptr : &buffer,
                                                             nullCount ? nullptr : &count);
    if (nullBuffer) NORN_FUZZ_CHECK(answer.result == kBrightworkFailed && count == 0);
    if (answer.result == kBrightworkSucceeded) NORN_FUZZ_CHECK(buffer != nullptr);
    if (buffer != nullptr) {
        NORN_FUZZ_CHECK(count <= room && buffer[count] == 0);
        answer.payload.assign(reinterpret_cast<const char*>(buffer), count);
    }
    NORN_FUZZ_CHECK(TableEntry<PFN_BRIGHTWORK_RELEASEBUFFER>(EntryReleaseBuffer)(0, buffer) == 0);
    return answer;
}

LONG Import(BrightworkEntry entry, const std::string& payload) {
    return TableEntry<PFN_BRIGHTWORK_IMPORT>(entry)(
        0, reinterpret_cast<const BYTE*>(payload.data()), static_cast<LONG>(payload.size()));
}

}  // namespace norn::fuzz
