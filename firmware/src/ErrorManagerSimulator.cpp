// The error manager simulator and the one-line form of its reports.
#include "norn/firmware/ErrorManagerSimulator.h"

#include <cstdio>
#include <new>

namespace norn::firmware {

namespace {

CReportText CopyText(BSTR text) {
    CReportText copy;
    if (text == nullptr) return copy;
    copy.isNull = false;
    copy.text.assign(text, SysStringLen(text));
    return copy;
}

std::string ToUtf8(const CReportText& field) {
    if (field.isNull) return "(null)";
    if (field.text.empty()) return {};
    const int length = static_cast<int>(field.text.size());
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, field.text.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return "(unconvertible)";
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, field.text.data(), length, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

}  // namespace

namespace {

struct CNamedCode {
    const char* name;
    HRESULT hresult;
};

constexpr CNamedCode kNamedCodes[] = {
    {"E_FAIL", E_FAIL},
    {"E_POINTER", E_POINTER},
    {"E_OUTOFMEMORY", E_OUTOFMEMORY},
    {"E_INVALIDARG", E_INVALIDARG},
    {"E_NOTIMPL", E_NOTIMPL},
    {"E_NOINTERFACE", E_NOINTERFACE},
    {"E_UNEXPECTED", E_UNEXPECTED},
    {"E_ACCESSDENIED", static_cast<HRESULT>(0x80070005)},
    {"MK_E_UNAVAILABLE", MK_E_UNAVAILABLE},
};

}  // namespace

const char* HresultName(HRESULT hresult) {
    for (const CNamedCode& code : kNamedCodes) {
        if (code.hresult == hresult) return code.name;
    }
    return nullptr;
}

bool HresultFromName(const std::string& name, HRESULT& hresult) {
    for (const CNamedCode& code : kNamedCodes) {
        if (name == code.name) {
            hresult = code.hresult;
            return true;
        }
    }
    return false;
}

std::string ReportTextUtf8(const CReportText& text) {
    return ToUtf8(text);
}

std::string FormatReport(const CReceivedReport& report) {
    char code[32];
    std::snprintf(code, sizeof(code), "0x%08X", static_cast<unsigned>(report.hresult));
    const char* name = HresultName(report.hresult);
    std::string line = ToUtf8(report.reportCode) + " ";
    line += name != nullptr ? std::string(name) + " (" + code + ")" : std::string(code);
    line += " " + ToUtf8(report.file) + " line " + std::to_string(report.line);
    if (!report.description.isNull) line += ": " + ToUtf8(report.description);
    return line;
}

HRESULT CErrorManagerSimulator::ReportError(ErrorEntry entry) {
    const CInCall inCall(m_bracket);
    try {
        CReceivedReport report;
        report.hresult = entry.hresult;
        report.description = CopyText(entry.description);
        report.kind = entry.kind;
        report.helpFile = CopyText(entry.helpFile);
        report.helpContext = entry.helpContext;
        report.thread = entry.thread;
        report.identifier = entry.identifier;
        report.source = CopyText(entry.source);
        report.version = CopyText(entry.version);
        report.reportCode = CopyText(entry.reportCode);
        report.file = CopyText(entry.file);
        report.line = entry.line;
        report.reserved = entry.reserved;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_reports.push_back(std::move(report));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;  // the module ignores the result; the report is lost
    }
    if (m_observer) m_observer();
    return S_OK;
}

std::vector<CReceivedReport> CErrorManagerSimulator::Reports() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reports;
}

void CErrorManagerSimulator::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reports.clear();
}

}  // namespace norn::firmware
