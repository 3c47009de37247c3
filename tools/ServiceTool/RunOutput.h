// CRunOutput: what one run of the service tool prints. In text mode lines go to stdout as they
// come; with --json the run's data is collected and printed at the end as exactly one JSON object,
// whatever way the run ends:
//   command, exit_code, result ("ok", "failed", "usage error"), error (null, or kind and
//   message), reports and events (objects), driver_writes, and the command's own keys, each
//   present (null when not known). The shape is norn-service.schema.json beside this file.
#pragma once

#include <QJsonObject>
#include <QJsonValue>

#include <norn/firmware/ErrorManagerSimulator.h>

#include <string>

namespace norn::tool {

// Why a run ended without success, for the JSON error object.
struct CRunError {
    const char* kind;  // usage, instrument, file, refused, not-confirmed, module, differences
    std::string message;
};

// Bytes as a JSON string: the text when it is valid UTF-8; otherwise every byte that is not
// part of a valid sequence becomes the four characters \xNN.
QJsonValue JsonText(const std::string& bytes);

// The plain cause of a report where the tool can tell it (an erased block, a file that does not
// match its block, a missing file, a driver that refused), or empty.
std::string ReportCause(const std::string& code, HRESULT hresult, LONG line);

// Owns the collected JSON; writes to stdout only.
class CRunOutput {
public:
    CRunOutput(bool json, bool raw, std::string command);

    bool Json() const noexcept { return m_json; }
    // Payloads as one hex string instead of a hex and ASCII dump.
    bool Raw() const noexcept { return m_raw; }
    // A line for people; dropped in JSON mode.
    void Line(const std::string& text);
    // A payload: a dump of 16 bytes a line on a terminal, one hex string otherwise or with --raw.
    void Payload(const std::string& title, const std::string& bytes);
    // An error manager report, an event-log or diagnostics line, or a message of Qt's: printed
    // in text mode, listed in JSON.
    void Report(const firmware::CReceivedReport& report);
    void Event(const char* log, const std::string& line);
    // A key of the command's data, and its value so far (undefined when not set).
    void Set(const char* key, const QJsonValue& value);
    QJsonValue Get(const char* key) const { return m_object.value(key); }
    // Notes why the command is about to fail (the first note counts) for the JSON error object.
    void NoteError(const char* kind, const std::string& message);
    // Prints the JSON object (JSON mode only). A failed run without an error given or noted
    // counts as a module failure.
    void Finish(int exitCode, const CRunError* error = nullptr);

private:
    bool m_json;
    bool m_raw;
    bool m_terminal;
    std::string m_command;
    QJsonObject m_object;
    CRunError m_noted{nullptr, {}};
};

}  // namespace norn::tool
