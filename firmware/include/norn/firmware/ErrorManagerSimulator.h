// CErrorManagerSimulator: the firmware's error manager, simulated in-process. It keeps a deep
// copy of every report it receives, in order, for tests and tools to inspect.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "norn/ComObject.h"
#include "norn/ErrorManager.h"
#include "norn/firmware/CallBracket.h"

namespace norn::firmware {

// One BSTR field of a report, copied: the text (up to the BSTR's length, in OLECHARs) and
// whether the reporter passed null.
struct CReportText {
    std::basic_string<OLECHAR> text;
    bool isNull = true;
};

// A received ErrorEntry, owning copies of all its texts.
struct CReceivedReport {
    HRESULT hresult = S_OK;
    CReportText description;
    LONG kind = 0;
    CReportText helpFile;
    ULONG helpContext = 0;
    ULONG thread = 0;
    GUID identifier = {};
    CReportText source;
    CReportText version;
    CReportText reportCode;
    CReportText file;
    LONG line = 0;
    LONG reserved = 0;
};

// One readable UTF-8 line, e.g. "F4 E_FAIL (0x80004005) Brightwork line 2489", followed by
// ": <description>" when the report carries one. Null texts read "(null)".
std::string FormatReport(const CReceivedReport& report);
// A report text as UTF-8; "(null)" for a null one.
std::string ReportTextUtf8(const CReportText& text);

// The names of the failure codes that the module, the driver and the tool's fault plans use:
// "E_FAIL" for E_FAIL and so on. HresultName gives null for a code without a name here.
const char* HresultName(HRESULT hresult);
bool HresultFromName(const std::string& name, HRESULT& hresult);

// Implements IErrorManager. Ownership as with the driver simulator (CComObjectBase): the creator
// owns the object; it counts its references (Refs()) but the last Release does NOT delete it.
// ReportError copies every field before it returns (the reporter frees its BSTRs right after)
// and answers S_OK (E_OUTOFMEMORY, keeping nothing, when the copy cannot be made). Thread-safe.
class CErrorManagerSimulator final : public CComObjectBase<IErrorManager> {
public:
    CErrorManagerSimulator() = default;
    CErrorManagerSimulator(const CErrorManagerSimulator&) = delete;
    CErrorManagerSimulator& operator=(const CErrorManagerSimulator&) = delete;

    HRESULT STDMETHODCALLTYPE ReportError(ErrorEntry entry) override;

    // The reports received so far, oldest first.
    std::vector<CReceivedReport> Reports() const;
    void Clear();

    // Called inside each ReportError, on the reporter's thread, once the report is kept: a test
    // looks there at what the reporter still holds while it reports. Set it before reports come.
    void SetReportObserver(std::function<void()> observer) { m_observer = std::move(observer); }
    // Brackets every ReportError from now on (CallBracket.h).
    void SetCallBracket(CCallBracket bracket) { m_bracket = bracket; }

private:
    mutable std::mutex m_mutex;
    std::vector<CReceivedReport> m_reports;
    std::function<void()> m_observer;
    CCallBracket m_bracket = nullptr;
};

}  // namespace norn::firmware
