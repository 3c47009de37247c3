#include "reports/ErrorReport.h"

#include <cwchar>
#include <memory>
#include <new>
#include <vector>

#include "errors/Strings.h"
#include "norn/CurrentModule.h"
#include "norn/FirmwareNames.h"
#include "norn/InterfacePtr.h"
#include "rot/ROTAccess.h"

using norn::CInterfacePtr;
using norn::CScopedBstr;

// The error is taken as a copy, destroyed when construction ends: the report's contract, which the
// allocation figures count.
CErrorEntry::CErrorEntry(REFGUID id, const OLECHAR* sourceName,
                         CExceptionError error)  // NOLINT(performance-unnecessary-value-param)
    : ErrorEntry{} {
    // Every text is made first and handed to the fields only when nothing can throw any more,
    // so that a failed allocation leaves nothing behind.
    CScopedBstr descriptionText, helpFileText;
    ULONG context = 0;
    if (auto info = CInterfacePtr<IErrorInfo>::Attach(error.ErrorInfo())) {
        info->GetDescription(descriptionText.Put());
        info->GetHelpFile(helpFileText.Put());
        info->GetHelpContext(&context);
    }
    CScopedBstr sourceText = BstrFromText(sourceName);
    CScopedBstr versionText;
    if (!GetModuleVersionString(versionText)) versionText.Reset();
    OLECHAR fileName[kReportFileCapacity];
    ExtractFileName(error.File(), fileName, kReportFileCapacity);
    CScopedBstr fileText = BstrFromText(fileName);

    hresult = error.Error();
    description = descriptionText.Detach();
    kind = 1;
    helpFile = helpFileText.Detach();
    helpContext = context;
    thread = GetCurrentThreadId();
    identifier = id;
    source = sourceText.Detach();
    version = versionText.Detach();
    reportCode = nullptr;
    file = fileText.Detach();
    line = error.Line();
    reserved = 0;
}

CErrorEntry::~CErrorEntry() {
    for (BSTR text : {description, helpFile, source, version, reportCode, file}) {
        SysFreeString(text);
    }
}

void CErrorEntry::SetReportCode(const char* code) {
    CScopedBstr text = BstrFromAnsi(code);
    SysFreeString(reportCode);
    reportCode = text.Detach();
}

bool GetModuleVersionString(CScopedBstr& version) {
    WCHAR path[260] = {};
    if (GetModuleFileNameW(NornCurrentModule(), path, 260) == 0) return false;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) return false;
    std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[size]);
    if (!block || !GetFileVersionInfoW(path, handle, size, block.get())) return false;
    OLECHAR* text = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.get(), OLESTR("\\StringFileInfo\\040904B0\\FileVersion"),
                        reinterpret_cast<void**>(&text), &length)) {
        return false;
    }
    version.Reset(SysAllocString(text));
    return static_cast<bool>(version);
}

void ExtractFileName(const OLECHAR* path, OLECHAR* buffer, size_t capacity) {
    if (capacity == 0) return;
    if (path == nullptr) path = OLESTR("");
    const size_t length = wcslen(path);
    std::unique_ptr<OLECHAR[]> copy(new (std::nothrow) OLECHAR[length + 1]);
    const OLECHAR* lastPiece = nullptr;
    if (copy) {
        wcscpy(copy.get(), path);
        OLECHAR* context = nullptr;
        for (OLECHAR* piece = wcstok_s(copy.get(), OLESTR("\\"), &context); piece != nullptr;
             piece = wcstok_s(nullptr, OLESTR("\\"), &context)) {
            lastPiece = piece;
        }
    }
    wcsncpy(buffer, lastPiece != nullptr ? lastPiece : path, capacity);
    buffer[capacity - 1] = 0;
}

namespace {

constexpr const OLECHAR* kEventSourceName = OLESTR("Tarvo_Orm");

// The error manager registered by the firmware process, or empty. Never reports a failure.
CInterfacePtr<IErrorManager> LookUpErrorManager() {
    IUnknown* object = nullptr;
    // Found or not, the pointer tells: it stays null when no error manager is registered.
    static_cast<void>(g_ROTAccess.NameToIfPointer(SysAllocString(norn::names::kErrorManager),
                                                  &object, FALSE, TRUE));
    return CInterfacePtr<IUnknown>::Attach(object).Query<IErrorManager>();
}

std::unique_ptr<CErrorEntry> MakeEntry(const CExceptionError& error, const char* reportCode) {
    try {
        auto entry = std::make_unique<CErrorEntry>(GUID_NULL, kReportSourceName, error);
        entry->SetReportCode(reportCode);
        return entry;
    } catch (...) {
        return nullptr;  // reported as "ErrorEntry structure not available!"
    }
}

// The last resort for a report: one error event under the event source "Tarvo_Orm". The module
// only writes to the source; it never registers it in the registry. A source that cannot be
// opened loses the event silently.
void WriteToEventLog(const OLECHAR* text) noexcept {
    HANDLE source = RegisterEventSourceW(nullptr, kEventSourceName);
    if (source == nullptr) return;
    LPCWSTR strings[] = {text};
    ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);  // whether or not the event was written
}

void WriteEntryToEventLog(const CErrorEntry& entry) {
    OLECHAR text[512];
    if (swprintf_s(text, 512, OLESTR("Error in %s (Line %ld)"), entry.file, entry.line) < 0) {
        text[0] = 0;
    }
    WriteToEventLog(text);
}

}  // namespace

void ReportToErrorManager(const CExceptionError& error, const char* reportCode) noexcept {
    // Declared before the entry so that it is released after the entry's texts are freed: the
    // error manager's reference is the last thing a report gives back.
    CInterfacePtr<IErrorManager> manager;
    std::unique_ptr<CErrorEntry> entry = MakeEntry(error, reportCode);
    try {
        manager = LookUpErrorManager();
    } catch (...) {
    }
    if (!entry) {
        WriteToEventLog(OLESTR("ErrorEntry structure not available!"));
    } else if (manager) {
        // A bitwise copy of the record's 64 bytes; its texts stay ours and are freed below.
        manager->ReportError(static_cast<const ErrorEntry&>(*entry));
    } else {
        WriteEntryToEventLog(*entry);
    }
}
