// Text and JSON output of a service tool run.
#include "RunOutput.h"

#include <cstdio>
#include <iostream>

namespace norn::tool {

namespace {

std::string JsonArray(const std::vector<std::string>& items) {
    std::string json = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) json += ",";
        json += JsonString(items[i]);
    }
    return json + "]";
}

}  // namespace

std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                json += "\\\"";
                break;
            case '\\':
                json += "\\\\";
                break;
            case '\n':
                json += "\\n";
                break;
            case '\t':
                json += "\\t";
                break;
            case '\r':
                json += "\\r";
                break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
                    json += escaped;
                } else {
                    json += static_cast<char>(c);
                }
        }
    }
    return json + "\"";
}

CRunOutput::CRunOutput(bool json, std::string command)
    : m_json(json), m_command(std::move(command)) {}

void CRunOutput::Line(const std::string& text) {
    if (!m_json) std::cout << text << std::endl;
}

void CRunOutput::Report(const std::string& line) {
    m_reports.push_back(line);
    Line("report: " + line);
}

void CRunOutput::Event(const std::string& line) {
    m_events.push_back(line);
    Line("event:  " + line);
}

void CRunOutput::Field(const std::string& key, const std::string& value) {
    RawField(key, JsonString(value));
}

void CRunOutput::RawField(const std::string& key, const std::string& json) {
    for (auto& field : m_fields) {
        if (field.first == key) {  // a key is set once in the object, to its last value
            field.second = json;
            return;
        }
    }
    m_fields.emplace_back(key, json);
}

void CRunOutput::Finish(int result) {
    if (!m_json) return;
    std::string json =
        "{\"command\":" + JsonString(m_command) + ",\"result\":" + std::to_string(result) +
        ",\"reports\":" + JsonArray(m_reports) + ",\"events\":" + JsonArray(m_events);
    for (const auto& [key, value] : m_fields) json += "," + JsonString(key) + ":" + value;
    std::cout << json << "}" << std::endl;
}

}  // namespace norn::tool
