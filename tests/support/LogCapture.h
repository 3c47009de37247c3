// CLogCapture: points one of the line logs (NORN_EVENT_LOG for the event log, NORN_KXDIAG_LOG for
// the diagnostics library) at a fresh temporary file for the capture's lifetime and reads it back
// as tab-split lines, so a test can check every report that went there.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace norn::test {

class CLogCapture {
public:
    explicit CLogCapture(const char* variable) : m_variable(variable) {
        char pattern[] = "/tmp/norn-log-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0) close(fd);
        m_path = pattern;
        const char* previous = std::getenv(variable);
        m_hadPrevious = previous != nullptr;
        if (m_hadPrevious) m_previous = previous;
        setenv(variable, m_path.c_str(), 1);
    }
    ~CLogCapture() {
        if (m_hadPrevious) {
            setenv(m_variable.c_str(), m_previous.c_str(), 1);
        } else {
            unsetenv(m_variable.c_str());
        }
        std::remove(m_path.c_str());
    }
    CLogCapture(const CLogCapture&) = delete;
    CLogCapture& operator=(const CLogCapture&) = delete;

    static CLogCapture EventLog() { return CLogCapture("NORN_EVENT_LOG"); }
    static CLogCapture Diagnostics() { return CLogCapture("NORN_KXDIAG_LOG"); }

    const std::string& Path() const { return m_path; }

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
    std::string m_previous;
    bool m_hadPrevious = false;
};

}  // namespace norn::test
