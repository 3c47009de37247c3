// Stand-in for the maker's diagnostics library. Instead of a dialog, every report becomes one
// line on stderr and, when NORN_KXDIAG_LOG names a file, one tab-separated record appended to
// that file, so that tests and hosts can see exactly what the module reported. It never asks
// for a debugger stop.
#include "KXDIAG.h"

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <new>
#include <string>

namespace {

// The few file calls the library makes, in the C runtime's spelling of each system.
#if defined(_WIN32)
constexpr int kStandardError = 2;
int OpenForAppend(const char* path) {
    return _open(path, _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE);
}
long WriteSome(int fd, const char* data, size_t size) {
    return _write(fd, data, static_cast<unsigned>(size));
}
void CloseFile(int fd) {
    _close(fd);
}
#else
constexpr int kStandardError = STDERR_FILENO;
int OpenForAppend(const char* path) {
    return open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
}
long WriteSome(int fd, const char* data, size_t size) {
    return write(fd, data, size);
}
void CloseFile(int fd) {
    close(fd);
}
#endif

// Owns one file descriptor and closes it when it goes out of scope.
class CFileDescriptor {
public:
    explicit CFileDescriptor(int fd) noexcept : m_fd(fd) {}
    ~CFileDescriptor() {
        if (m_fd >= 0) CloseFile(m_fd);
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;

    int Get() const noexcept { return m_fd; }

private:
    int m_fd;
};

// A null text reads as empty; tabs and line breaks become spaces so that one report stays one
// line and one record.
std::string Field(const char* text) {
    std::string field = text != nullptr ? text : "";
    for (char& c : field) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    return field;
}

// One write() per line, so that reports of concurrent threads or processes never interleave.
void WriteWhole(int fd, const std::string& line) {
    const char* data = line.data();
    size_t left = line.size();
    while (left > 0) {
        const long written = WriteSome(fd, data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        data += written;
        left -= static_cast<size_t>(written);
    }
}

void AppendToLog(const std::string& record) {
    const char* path = std::getenv("NORN_KXDIAG_LOG");
    if (path == nullptr || *path == '\0') return;
    CFileDescriptor file(OpenForAppend(path));
    if (file.Get() < 0) return;
    WriteWhole(file.Get(), record);
}

}  // namespace

KXDIAG_API const char* _Tarvo_formatErrorString(const char* text) {
    // Library-owned: valid on the calling thread until its next call.
    // A C library function: on an allocation failure it hands back the empty text, never throws.
    thread_local std::string formatted;
    try {
        formatted = text != nullptr ? text : "";
    } catch (const std::bad_alloc&) {
        formatted.clear();
    }
    return formatted.c_str();
}

KXDIAG_API int _Tarvo_TestShowErrorDialogLogInfo2(const char* sourceFile, int line,
                                                  const char* context, const char* text) {
    try {
        const std::string file = Field(sourceFile);
        const std::string where = Field(context);
        const std::string message = Field(text);
        const std::string number = std::to_string(line);
        WriteWhole(kStandardError,
                   "KXDIAG " + file + "(" + number + ") " + where + ": " + message + "\n");
        AppendToLog(file + "\t" + number + "\t" + where + "\t" + message + "\n");
    } catch (...) {
        // Out of memory: the report is lost, the caller goes on.
    }
    return 0;
}
