// CLogCapture: points one of the line logs (NORN_EVENT_LOG for the event log, NORN_KXDIAG_LOG for
// the diagnostics library) at a fresh temporary file for the capture's lifetime and reads it back
// as tab-split lines, so a test can check every report that went there.
//
// On Windows the diagnostics library writes the file just the same, but the event log is the
// system's: nothing writes NORN_EVENT_LOG there, and Readable() says so.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace norn::test {

#if defined(_WIN32)
// Nothing writes NORN_EVENT_LOG's file on Windows: the event log there is the system's.
constexpr bool kEventLogWritesFile = false;

inline std::string NewLogFile() {
    char directory[MAX_PATH + 1] = {};
    char path[MAX_PATH + 1] = {};
    if (GetTempPathA(sizeof(directory), directory) == 0) return {};
    if (GetTempFileNameA(directory, "nrn", 0, path) == 0) return {};
    return path;
}

// Sets the variable in the C runtime's environment and the process's, so that getenv and
// GetEnvironmentVariable both see it; null removes it.
inline void SetLogVariable(const char* name, const char* value) {
    _putenv_s(name, value != nullptr ? value : "");
}
#else
constexpr bool kEventLogWritesFile = true;

inline std::string NewLogFile() {
    char pattern[] = "/tmp/norn-log-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd >= 0) close(fd);
    return pattern;
}

inline void SetLogVariable(const char* name, const char* value) {
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}
#endif

class CLogCapture {
public:
    explicit CLogCapture(const char* variable, bool readable = true)
        : m_variable(variable), m_path(NewLogFile()), m_readable(readable) {
        const char* previous = std::getenv(variable);
        m_hadPrevious = previous != nullptr;
        if (m_hadPrevious) m_previous = previous;
        SetLogVariable(variable, m_path.c_str());
    }
    ~CLogCapture() {
        SetLogVariable(m_variable.c_str(), m_hadPrevious ? m_previous.c_str() : nullptr);
        std::remove(m_path.c_str());
    }
    CLogCapture(const CLogCapture&) = delete;
    CLogCapture& operator=(const CLogCapture&) = delete;

    static CLogCapture EventLog() { return CLogCapture("NORN_EVENT_LOG", kEventLogWritesFile); }
    static CLogCapture Diagnostics() { return CLogCapture("NORN_KXDIAG_LOG"); }

    // False when nothing writes this log's file here, so that its lines tell nothing.
    bool Readable() const { return m_readable; }

    std::vector<std::string> Lines() const {
        std::ifstream in(m_path);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    std::vector<std::vector<std::string>> Fields() const {
        std::vector<std::vector<std::string>> rows;
        for (const std::string& line : Lines()) {
            std::vector<std::string> fields;
            std::stringstream stream(line);
            for (std::string field; std::getline(stream, field, '\t');) fields.push_back(field);
            rows.push_back(fields);
        }
        return rows;
    }

private:
    std::string m_variable;
    std::string m_path;
    bool m_readable;
    std::string m_previous;
    bool m_hadPrevious = false;
};

}  // namespace norn::test
