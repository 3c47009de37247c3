// The interposers behind CFileFault. They look the real calls up with dlsym(RTLD_NEXT) and only
// act while a fault is armed, so the rest of the process (GoogleTest's output, the logs) is
// untouched; unlink also notes the name of every file removed.
#include "reliability/FileFaults.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <filesystem>
#include <mutex>
#include <map>
#include <utility>
#include <vector>

#include "reliability/AllocationHook.h"

namespace norn::test {
namespace {

struct CArmedFault {
    bool armed = false;
    EFileFault kind = EFileFault::OpenFails;
    std::string fileName;
    int nth = 0;
    int opens = 0;
    // The open descriptors of the file, for read and write faults: whether each has had its one
    // short read or write.
    std::map<int, bool> descriptors;
};

std::mutex g_mutex;
CArmedFault g_fault;
std::vector<std::string> g_removed;

template <class Function>
Function Real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

std::string LastComponent(const char* path) {
    const std::string text = path != nullptr ? path : "";
    const size_t slash = text.rfind('/');
    return text.substr(slash == std::string::npos ? 0 : slash + 1);
}

// How many of `count` bytes a read or write on the descriptor may move: all of them unless a
// fault of that kind is armed for it; then half of them at the first call (a disk that fills up
// takes part of a write before it refuses the rest) and none from then on: -1, errno the error.
ssize_t AllowedBytes(int fd, EFileFault kind, size_t count, int error) {
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto found = g_fault.descriptors.find(fd);
    if (!g_fault.armed || g_fault.kind != kind || found == g_fault.descriptors.end()) {
        return static_cast<ssize_t>(count);
    }
    if (!std::exchange(found->second, true) && count >= 2) return static_cast<ssize_t>(count / 2);
    errno = error;
    return -1;
}

}  // namespace

CFileFault::CFileFault(EFileFault kind, std::string fileName, int nth) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_fault = CArmedFault{true, kind, std::move(fileName), nth, 0, {}};
}

CFileFault::~CFileFault() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_fault = CArmedFault{};
}

std::vector<std::string> TakeRemovedFileNames() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return std::exchange(g_removed, {});
}

int OpenDescriptorCount() {
    const std::filesystem::directory_iterator descriptors("/proc/self/fd");
    return static_cast<int>(std::distance(begin(descriptors), end(descriptors)));
}

}  // namespace norn::test

using norn::test::EFileFault;
using norn::test::g_fault;
using norn::test::g_mutex;

extern "C" int open64(const char* path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list arguments;
        va_start(arguments, flags);
        mode = va_arg(arguments, mode_t);
        va_end(arguments);
    }
    bool tracked = false;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_fault.armed && norn::test::LastComponent(path) == g_fault.fileName) {
            ++g_fault.opens;
            const bool hit = g_fault.nth == 0 || g_fault.opens == g_fault.nth;
            if (hit && g_fault.kind == EFileFault::OpenFails) {
                errno = EACCES;
                return -1;
            }
            tracked = hit;
        }
    }
    static const auto real = norn::test::Real<int (*)(const char*, int, ...)>("open64");
    const int fd = real(path, flags, mode);
    if (fd >= 0 && tracked) {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_fault.descriptors.emplace(fd, false);
    }
    return fd;
}

extern "C" ssize_t read(int fd, void* buffer, size_t count) {
    const ssize_t allowed = norn::test::AllowedBytes(fd, EFileFault::ReadFails, count, EIO);
    static const auto real = norn::test::Real<ssize_t (*)(int, void*, size_t)>("read");
    return allowed < 0 ? -1 : real(fd, buffer, static_cast<size_t>(allowed));
}

extern "C" ssize_t write(int fd, const void* buffer, size_t count) {
    const ssize_t allowed = norn::test::AllowedBytes(fd, EFileFault::WriteFails, count, ENOSPC);
    static const auto real = norn::test::Real<ssize_t (*)(int, const void*, size_t)>("write");
    return allowed < 0 ? -1 : real(fd, buffer, static_cast<size_t>(allowed));
}

extern "C" int unlink(const char* path) {
    // Not the module's allocation: the allocation sweeps neither count nor fail it.
    norn::test::PauseAllocations(true);
    try {
        std::lock_guard<std::mutex> lock(g_mutex);
        norn::test::g_removed.push_back(norn::test::LastComponent(path));
    } catch (...) {  // nothing may be thrown into the C code that called us
    }
    norn::test::PauseAllocations(false);
    static const auto real = norn::test::Real<int (*)(const char*)>("unlink");
    return real(path);
}

extern "C" int close(int fd) {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_fault.descriptors.erase(fd);  // none while no fault is armed
    }
    static const auto real = norn::test::Real<int (*)(int)>("close");
    return real(fd);
}
