// norn-platform-check: exercises the platform layer the way the module and its hosts use it and
// prints one line per check. Exit status 0 when every check passed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "norn/ComApartment.h"
#include "norn/ComObject.h"
#include "norn/CurrentModule.h"
#include "norn/InterfacePtr.h"
#include "norn/ScopedBstr.h"

using norn::CInterfacePtr;
using norn::CScopedBstr;

namespace {

int g_checks = 0;
int g_failures = 0;

void Report(bool ok, const char* what, const std::string& detail = {}) {
    std::printf("%s  %s%s%s\n", ok ? "ok  " : "FAIL", what, detail.empty() ? "" : ": ",
                detail.c_str());
    ++g_checks;
    if (!ok) ++g_failures;
}

std::string Narrow(const WCHAR* text) {
    if (text == nullptr) return "(null)";
    char buffer[512] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof(buffer), nullptr, nullptr);
    return buffer;
}

// A COM object that implements IUnknown and counts its references.
class CProbe final : public norn::CComObjectBase<IUnknown> {};

void CheckBstr() {
    CScopedBstr prefix = CScopedBstr::Attach(SysAllocStringLen(nullptr, 0));
    WCHAR digits[16];
    _ultow(GetCurrentProcessId(), digits, 10);
    prefix.Reset(SysAllocString(digits));
    CScopedBstr name(OLESTR("TarvoMeasDriver"));
    BSTR joined = nullptr;
    const HRESULT hr = VarBstrCat(prefix.Get(), name.Get(), &joined);
    CScopedBstr item = CScopedBstr::Attach(joined);
    Report(SUCCEEDED(hr) && item.Length() == prefix.Length() + 15, "BSTR and VarBstrCat",
           Narrow(item.Get()));
}

void CheckRunningObjectTable() {
    Report(
        GetRunningObjectTable(0, CInterfacePtr<IRunningObjectTable>().Put()) == CO_E_NOTINITIALIZED,
        "Running Object Table refused before CoInitializeEx");
    norn::CComApartment apartment;
    CInterfacePtr<IRunningObjectTable> table;
    CInterfacePtr<IMoniker> moniker, upper;
    CreateItemMoniker(OLESTR(""), OLESTR("SelfCheckProbe"), moniker.Put());
    CreateItemMoniker(OLESTR(""), OLESTR("SELFCHECKPROBE"), upper.Put());
    CProbe probe;
    DWORD cookie = 0;
    bool ok =
        SUCCEEDED(GetRunningObjectTable(0, table.Put())) &&
        table->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, &probe, moniker.Get(), &cookie) == S_OK;
    CInterfacePtr<IUnknown> found;
    ok = ok && table->GetObject(upper.Get(), found.Put()) == S_OK && found.Get() == &probe;
    found.Reset();
    ok = ok && table->Revoke(cookie) == S_OK && probe.Refs() == 0;
    ok = ok && table->GetObject(moniker.Get(), found.Put()) == MK_E_UNAVAILABLE && !found;
    Report(ok, "Running Object Table register, case-insensitive lookup, revoke",
           "references back to " + std::to_string(probe.Refs()));
}

void CheckEnvironment() {
    WCHAR value[100];
    const DWORD length = GetEnvironmentVariableW(OLESTR("TARVO_SYSTEM_ROOT_RW"), value, 100);
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
        Report(true, "environment", "TARVO_SYSTEM_ROOT_RW is not set");
    } else {
        Report(length < 100, "environment", "TARVO_SYSTEM_ROOT_RW=" + Narrow(value));
    }
}

void CheckVersionResource() {
    WCHAR path[260] = {};
    const DWORD length = GetModuleFileNameW(NornCurrentModule(), path, 260);
    DWORD handle = 1;
    const DWORD size = length != 0 ? GetFileVersionInfoSizeW(path, &handle) : 0;
    std::string block(size, '\0');
    WCHAR* version = nullptr;
    UINT versionLength = 0;
    const bool ok = size != 0 && handle == 0 && GetFileVersionInfoW(path, 0, size, block.data()) &&
                    VerQueryValueW(block.data(), OLESTR("\\StringFileInfo\\040904B0\\FileVersion"),
                                   reinterpret_cast<void**>(&version), &versionLength);
    Report(ok, "version resource", Narrow(path) + " FileVersion " + (ok ? Narrow(version) : ""));
}

void CheckEventLog() {
    HANDLE source = RegisterEventSourceW(nullptr, OLESTR("norn-platform-check"));
    LPCWSTR strings[] = {OLESTR("platform self-check ran")};
    const BOOL written =
        ReportEventW(source, EVENTLOG_INFORMATION_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
    const char* file = std::getenv("NORN_EVENT_LOG");
    Report(source != nullptr && written, "event log",
           file != nullptr ? std::string("also written to ") + file : "syslog only");
}

}  // namespace

int main() {
    std::printf("norn platform layer self-check (process %u)\n", GetCurrentProcessId());
    CheckBstr();
    CheckRunningObjectTable();
    CheckEnvironment();
    CheckVersionResource();
    CheckEventLog();
    std::printf("%d passed, %d failed\n", g_checks - g_failures, g_failures);
    return g_failures == 0 ? 0 : 1;
}
