#include "PosixFiles.h"

#include <benchmark/benchmark.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace norn::bench::posix {

namespace {

[[noreturn]] void Fail(const char* call, const std::string& path) {
    throw std::runtime_error(std::string(call) + " " + path + ": " + std::strerror(errno));
}

// Closes the descriptor on every path out.
class CDescriptor {
public:
    CDescriptor(int fd, const std::string& path) : m_fd(fd) {
        if (fd < 0) Fail("open", path);
    }
    ~CDescriptor() { close(m_fd); }
    CDescriptor(const CDescriptor&) = delete;
    CDescriptor& operator=(const CDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

}  // namespace

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    CDescriptor file(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), path);
    if (write(file.Get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        Fail("write", path);
    }
}

std::string ReadWholeFile(const std::string& path) {
    CDescriptor file(open(path.c_str(), O_RDONLY), path);
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
