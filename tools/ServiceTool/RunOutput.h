// CRunOutput: what one run of the service tool prints. In text mode lines go to stdout as they
// come; with --json the run's data is collected and printed as one JSON object at the end.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace norn::tool {

// A JSON string literal for the text, quotes included.
std::string JsonString(const std::string& text);

// Owns the collected JSON fields; writes to stdout only.
class CRunOutput {
public:
    CRunOutput(bool json, std::string command);

    bool Json() const noexcept { return m_json; }
    // A line for people; dropped in JSON mode.
    void Line(const std::string& text);
    // An error manager report or an event-log line: printed in text mode, listed in JSON.
    void Report(const std::string& line);
    void Event(const std::string& line);
    // Command data for JSON: a string, or JSON text as it is (number, bool, object, array).
    void Field(const std::string& key, const std::string& value);
    void RawField(const std::string& key, const std::string& json);
    // In JSON mode prints the object with "result" and everything collected.
    void Finish(int result);

private:
    bool m_json;
    std::string m_command;
    std::vector<std::string> m_reports;
    std::vector<std::string> m_events;
    std::vector<std::pair<std::string, std::string>> m_fields;
};

}  // namespace norn::tool
