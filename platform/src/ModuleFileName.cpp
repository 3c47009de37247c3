// GetModuleFileNameW: the executable from /proc/self/exe, any other module from the file mapping
// in /proc/self/maps that contains its handle (the load address).
#include <windows.h>

#include "Utf.h"

#include <link.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>

namespace {

std::string ExecutablePath() {
    std::string path(256, '\0');
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0) return std::string();
        if (static_cast<size_t>(length) < path.size()) {
            path.resize(static_cast<size_t>(length));
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// The path of the file mapped at address, or empty when no file mapping contains it. A line of
// /proc/self/maps reads "start-end perms offset dev inode path", the path possibly with spaces.
std::string MappedFilePath(uintptr_t address) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        uintptr_t start = 0;
        uintptr_t end = 0;
        int pathOffset = -1;
        if (std::sscanf(line.c_str(), "%" SCNxPTR "-%" SCNxPTR " %*s %*s %*s %*s %n", &start, &end,
                        &pathOffset) < 2)
            continue;
        if (address < start || address >= end) continue;
        if (pathOffset < 0) return std::string();
        const std::string path = line.substr(static_cast<size_t>(pathOffset));
        return !path.empty() && path[0] == '/' ? path : std::string();
    }
    return std::string();
}

// Where `address` stands among the loaded objects: the loader's counts of loads and unloads so
// far, and whether the address lies in a segment of one of them.
struct CLoaderState {
    uintptr_t address = 0;
    unsigned long long adds = 0;
    unsigned long long subs = 0;
    bool inLoadedObject = false;
};

int FindObjectSegment(dl_phdr_info* info, size_t, void* data) {
    auto* state = static_cast<CLoaderState*>(data);
    state->adds = info->dlpi_adds;
    state->subs = info->dlpi_subs;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        const uintptr_t start = info->dlpi_addr + segment.p_vaddr;
        if (segment.p_type == PT_LOAD && state->address - start < segment.p_memsz) {
            state->inLoadedObject = true;
            return 1;
        }
    }
    return 0;
}

// Reading /proc/self/maps costs more than the rest of an error report together, and a module
// asks for its own name in every report. What is mapped at an address inside a loaded library
// changes only when a library is loaded or unloaded, which the loader counts: the last answer for
// such an address is kept with the counts and given again while they stand.
std::string ModuleFilePath(uintptr_t address) {
    static std::mutex mutex;
    static CLoaderState cachedState;
    static std::string cachedPath;
    CLoaderState state;
    state.address = address;
    dl_iterate_phdr(FindObjectSegment, &state);
    if (!state.inLoadedObject) return MappedFilePath(address);
    std::lock_guard<std::mutex> lock(mutex);
    if (cachedState.inLoadedObject && cachedState.address == address &&
        cachedState.adds == state.adds && cachedState.subs == state.subs) {
        return cachedPath;
    }
    cachedPath = MappedFilePath(address);
    cachedState = state;
    return cachedPath;
}

}  // namespace

WINBASEAPI DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    if (lpFilename == nullptr && nSize != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string path = hModule == nullptr
                                 ? ExecutablePath()
                                 : ModuleFilePath(reinterpret_cast<uintptr_t>(hModule));
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    const std::u16string wide = norn::platform::WideFromUtf8(path);
    if (wide.size() < nSize) {
        wide.copy(lpFilename, wide.size());
        lpFilename[wide.size()] = 0;
        return static_cast<DWORD>(wide.size());
    }
    // Too small: as many characters as fit with the terminator, and the buffer size.
    if (nSize != 0) {
        wide.copy(lpFilename, nSize - 1);
        lpFilename[nSize - 1] = 0;
    }
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
}
