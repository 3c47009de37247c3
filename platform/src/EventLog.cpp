// The event log on Linux: every event goes to syslog under the source name and, when the
// environment variable NORN_EVENT_LOG names a file, is appended there as one line:
//
//   source <TAB> type <TAB> event id <TAB> string 1 <TAB> string 2 ... <LF>
//
// Tabs and line breaks inside the fields become spaces, so one event is always one line, and
// the line is written with a single append so that concurrent writers do not interleave.
#include <windows.h>

#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string>

#include "norn/PlatformTestHooks.h"
#include "norn/ScopedFileDescriptor.h"

namespace {

constexpr WORD kAuditSuccess = 0x0008;
constexpr WORD kAuditFailure = 0x0010;

struct CEventSource {
    std::string m_name;  // UTF-8
};

std::atomic<LONG> g_liveSources{0};

// openlog keeps the identity for the next syslog call; one event at a time uses it.
std::mutex g_syslogLock;

std::string TypeWord(WORD type) {
    switch (type) {
        case EVENTLOG_SUCCESS:
            return "SUCCESS";
        case EVENTLOG_ERROR_TYPE:
            return "ERROR";
        case EVENTLOG_WARNING_TYPE:
            return "WARNING";
        case EVENTLOG_INFORMATION_TYPE:
            return "INFORMATION";
        case kAuditSuccess:
            return "AUDIT_SUCCESS";
        case kAuditFailure:
            return "AUDIT_FAILURE";
        default:
            return std::to_string(type);
    }
}

int PriorityOf(WORD type) {
    if (type == EVENTLOG_ERROR_TYPE) return LOG_ERR;
    if (type == EVENTLOG_WARNING_TYPE) return LOG_WARNING;
    return LOG_INFO;
}

// UTF-8 text of one field, with tabs and line breaks turned into spaces.
std::string FieldText(LPCWSTR text) {
    if (text == nullptr || text[0] == 0) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string field(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, field.data(), size, nullptr, nullptr);
    field.pop_back();  // the terminator
    for (char& c : field) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    return field;
}

void WriteSyslog(const std::string& source, WORD type, const std::string& message) {
    std::lock_guard<std::mutex> lock(g_syslogLock);
    openlog(source.c_str(), LOG_PID, LOG_USER);
    syslog(PriorityOf(type), "%s", message.c_str());
    closelog();
}

DWORD Win32ErrorOf(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return ERROR_FILE_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_INVALID_PARAMETER;
    }
}

// Appends the line to the file; false with the last error set when that fails.
bool AppendLine(const char* path, const std::string& line) {
    const norn::CScopedFileDescriptor file(
        open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (file.Get() < 0) {
        SetLastError(Win32ErrorOf(errno));
        return false;
    }
    ssize_t written;
    do {
        written = write(file.Get(), line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    const int writeError = errno;
    if (written == static_cast<ssize_t>(line.size())) return true;
    SetLastError(written < 0 ? Win32ErrorOf(writeError) : ERROR_NOT_ENOUGH_MEMORY);
    return false;
}

}  // namespace

WINBASEAPI HANDLE WINAPI RegisterEventSourceW(LPCWSTR lpUNCServerName, LPCWSTR lpSourceName) {
    // Only the local machine has an event log here.
    if (lpUNCServerName != nullptr || lpSourceName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* source = new (std::nothrow) CEventSource;
    if (source == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    try {
        source->m_name = FieldText(lpSourceName);
    } catch (const std::bad_alloc&) {  // as Win32 does: an error, never an exception
        delete source;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    g_liveSources.fetch_add(1);
    return source;
}

WINBASEAPI BOOL WINAPI DeregisterEventSource(HANDLE hEventLog) {
    if (hEventLog == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete static_cast<CEventSource*>(hEventLog);
    g_liveSources.fetch_sub(1);
    return TRUE;
}

NORN_PLATFORM_API LONG NornLiveEventSourceCount() {
    return g_liveSources.load();
}

WINBASEAPI BOOL WINAPI ReportEventW(HANDLE hEventLog, WORD wType, WORD /*wCategory*/,
                                    DWORD dwEventID, PSID /*lpUserSid*/, WORD wNumStrings,
                                    DWORD /*dwDataSize*/, LPCWSTR* lpStrings,
                                    LPVOID /*lpRawData*/) {
    if (hEventLog == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (wNumStrings != 0 && lpStrings == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    try {
        const std::string& source = static_cast<const CEventSource*>(hEventLog)->m_name;
        const std::string header = TypeWord(wType) + '\t' + std::to_string(dwEventID);
        std::string strings;
        for (WORD i = 0; i < wNumStrings; ++i) strings += '\t' + FieldText(lpStrings[i]);
        WriteSyslog(source, wType, header + strings);
        const char* path = std::getenv("NORN_EVENT_LOG");
        if (path == nullptr || path[0] == '\0') return TRUE;
        return AppendLine(path, source + '\t' + header + strings + '\n') ? TRUE : FALSE;
    } catch (const std::bad_alloc&) {  // as Win32 does: the event is not written, no exception
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}
