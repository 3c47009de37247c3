#include "PosixFiles.h"

#include <benchmark/benchmark.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "norn/ScopedFileDescriptor.h"

namespace norn::bench::posix {

namespace {

[[noreturn]] void Fail(const char* call, const std::string& path) {
    throw std::runtime_error(std::string(call) + " " + path + ": " + std::strerror(errno));
}

// The open file, closed on every path out; throws when it cannot be opened.
CScopedFileDescriptor Open(const std::string& path, int flags, mode_t mode = 0) {
    CScopedFileDescriptor file(open(path.c_str(), flags, mode));
    if (file.Get() < 0) Fail("open", path);
    return file;
}

}  // namespace

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    const CScopedFileDescriptor file = Open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (write(file.Get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        Fail("write", path);
    }
}

std::string ReadWholeFile(const std::string& path) {
    const CScopedFileDescriptor file = Open(path, O_RDONLY);
    struct stat status;
    if (fstat(file.Get(), &status) != 0) Fail("fstat", path);
    std::string bytes(static_cast<size_t>(status.st_size), '\0');
    if (read(file.Get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        Fail("read", path);
    }
    return bytes;
}

void RemoveFile(const std::string& path) {
    if (unlink(path.c_str()) != 0 && errno != ENOENT) Fail("unlink", path);
}

bool FileExists(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0;
}

void CopyBytes(void* to, const void* from, std::size_t count) {
    std::memcpy(to, from, count);
    benchmark::ClobberMemory();
}

}  // namespace norn::bench::posix
