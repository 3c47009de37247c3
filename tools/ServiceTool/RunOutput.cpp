// Text and JSON output of a service tool run.
#include "RunOutput.h"

#include <norn/firmware/Hex.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>
#include <iostream>
#include <map>
#include <utility>

namespace norn::tool {

namespace {

// The keys each command always has, null until the command sets them.
const std::map<std::string, std::vector<const char*>>& CommandKeys() {
    static const std::map<std::string, std::vector<const char*>> keys = {
        {"init", {"instrument"}},
        {"status", {"status"}},
        {"info", {"info"}},
        {"history", {"history"}},
        {"backup", {"serial", "material", "backup_set"}},
        {"backups", {"sets"}},
        {"verify", {"checks"}},
        {"restore", {"from", "changes", "checks"}},
        {"recover", {"from", "changes", "checks"}},
        {"erase", {"backup_set", "changes"}},
        {"prune", {"removed"}},
        {"serial", {"serial", "changes"}},
        {"material", {"material", "changes"}},
        {"dds", {"payload", "length", "changes"}},
        {"mac", {"payload", "length", "changes"}},
        {"batch", {"changes"}},
        {"log", {"log"}},
        {"demo", {"steps"}},
    };
    return keys;
}

// The length of the valid UTF-8 sequence at text[i], or 0.
size_t Utf8Sequence(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char first = byte(i);
    if (first < 0x80) return 1;
    size_t length = first >= 0xF0 && first <= 0xF4 ? 4 : first >= 0xE0 ? 3 : first >= 0xC2 ? 2 : 0;
    if (length == 0 || first > 0xF4 || i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    }
    // No overlong forms, no surrogates, nothing above U+10FFFF.
    if ((first == 0xE0 && byte(i + 1) < 0xA0) || (first == 0xED && byte(i + 1) >= 0xA0) ||
        (first == 0xF0 && byte(i + 1) < 0x90) || (first == 0xF4 && byte(i + 1) >= 0x90)) {
        return 0;
    }
    return length;
}

std::string HexWord(HRESULT hresult) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(hresult));
    return text;
}

}  // namespace

QJsonValue JsonText(const std::string& bytes) {
    std::string text;
    for (size_t i = 0; i < bytes.size();) {
        const size_t length = Utf8Sequence(bytes, i);
        if (length > 0) {
            text.append(bytes, i, length);
            i += length;
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof(escaped), "\\x%02x", static_cast<unsigned char>(bytes[i]));
        text += escaped;
        ++i;
    }
    return QString::fromStdString(text);
}

CRunOutput::CRunOutput(bool json, bool raw, std::string command)
    : m_json(json),
      m_raw(raw),
      m_terminal(isatty(STDOUT_FILENO) != 0),
      m_command(std::move(command)) {
    m_object.insert("reports", QJsonArray());
    m_object.insert("events", QJsonArray());
}

void CRunOutput::Line(const std::string& text) {
    if (!m_json) std::cout << text << std::endl;
}

void CRunOutput::Payload(const std::string& title, const std::string& bytes) {
    if (m_raw || !m_terminal) {
        Line(title + firmware::ToHex(bytes));
        return;
    }
    Line(title);
    for (size_t offset = 0; offset < bytes.size(); offset += 16) {
        char line[96];
        int at = std::snprintf(line, sizeof(line), "  %04zx  ", offset);
        std::string ascii;
        for (size_t i = offset; i < offset + 16; ++i) {
            if (i < bytes.size()) {
                const auto c = static_cast<unsigned char>(bytes[i]);
                at += std::snprintf(line + at, sizeof(line) - at, "%02x ", c);
                ascii += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
            } else {
                at += std::snprintf(line + at, sizeof(line) - at, "   ");
            }
        }
        Line(std::string(line) + " |" + ascii + "|");
    }
}

void CRunOutput::Report(const firmware::CReceivedReport& report) {
    const std::string code = firmware::ReportTextUtf8(report.reportCode);
    const std::string cause = ReportCause(code, report.hresult, report.line);
    const char* name = firmware::HresultName(report.hresult);
    QJsonObject object{
        {"code", JsonText(code)},
        {"hresult", HexWord(report.hresult).c_str()},
        {"hresult_name", name != nullptr ? QJsonValue(name) : QJsonValue()},
        {"file", JsonText(firmware::ReportTextUtf8(report.file))},
        {"line", static_cast<qint64>(report.line)},
        {"cause", cause.empty() ? QJsonValue() : JsonText(cause)},
    };
    QJsonArray reports = m_object.value("reports").toArray();
    reports.append(object);
    m_object.insert("reports", reports);
    Line("report: " + firmware::FormatReport(report) + (cause.empty() ? "" : " (" + cause + ")"));
}

void CRunOutput::Event(const char* log, const std::string& line) {
    QJsonArray events = m_object.value("events").toArray();
    events.append(QJsonObject{{"log", log}, {"text", JsonText(line)}});
    m_object.insert("events", events);
    Line("event:  " + line);
}

void CRunOutput::Set(const char* key, const QJsonValue& value) {
    m_object.insert(key, value);
}

void CRunOutput::NoteError(const char* kind, const std::string& message) {
    if (m_noted.kind == nullptr) m_noted = {kind, message};
}

void CRunOutput::Finish(int exitCode, const CRunError* error) {
    if (!m_json) return;
    const CRunError failed{"module", "the module reported a failure"};
    if (error == nullptr && exitCode != 0) error = m_noted.kind != nullptr ? &m_noted : &failed;
    QJsonObject object = m_object;
    const auto keys = CommandKeys().find(m_command);
    if (keys != CommandKeys().end()) {
        for (const char* key : keys->second) {
            if (!object.contains(key)) object.insert(key, QJsonValue());
        }
    }
    if (!object.contains("driver_writes")) object.insert("driver_writes", QJsonValue());
    object.insert("command", m_command.empty() ? QJsonValue() : JsonText(m_command));
    object.insert("exit_code", exitCode);
    object.insert("result", exitCode == 0 ? "ok" : exitCode == 2 ? "usage error" : "failed");
    object.insert("error", error == nullptr ? QJsonValue()
                                            : QJsonObject{{"kind", error->kind},
                                                          {"message", JsonText(error->message)}});
    std::cout << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() << std::endl;
}

}  // namespace norn::tool
