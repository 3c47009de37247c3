#include "rot/ROTAccess.h"

#include <KXDIAG.h>
#include <atlexcept.h>

#include <cstdlib>

#include "errors/Checks.h"
#include "errors/ErrorFrame.h"
#include "errors/Strings.h"
#include "norn/InterfacePtr.h"
#include "norn/ScopedBstr.h"

using norn::CInterfacePtr;
using norn::CScopedBstr;

namespace {

constexpr const OLECHAR* kROTAccessFile = OLESTR("CROTAccess");

// A failure point of the ROT access, which names its own file in every report.
constexpr CFailurePoint ROTLine(LONG line) noexcept {
    return {kROTAccessFile, line};
}

// Each operation's failure points, then the line and context that its diagnostics report names.

// RegisterIfPointer.
constexpr struct {
    CFailurePoint moniker = ROTLine(134);
    CFailurePoint runningObjectTable = ROTLine(137);
    CFailurePoint registration = ROTLine(141);
    CFailurePoint unexpected = ROTLine(146);
    const char* context = "CROTAccess::RegisterIfPointer";
} kRegister{};

// NameToIfPointer.
constexpr struct {
    CFailurePoint moniker = ROTLine(191);
    CFailurePoint runningObjectTable = ROTLine(194);
    CFailurePoint lookup = ROTLine(202);
    CFailurePoint unexpected = ROTLine(212);
    const char* context = "CROTAccess::NameToIfPointer";
} kNameToIfPointer{};

// RevokeIfPointer.
constexpr struct {
    CFailurePoint runningObjectTable = ROTLine(242);
    CFailurePoint revocation = ROTLine(243);
    CFailurePoint unexpected = ROTLine(248);
    const char* context = "CROTAccess::RevokeIfPointer";
} kRevoke{};

BSTR ProcessIdText(DWORD processId) {
    OLECHAR digits[16];
    _ultow(processId, digits, 10);
    BSTR text = SysAllocString(digits);
    if (text == nullptr) ATL::AtlThrow(E_OUTOFMEMORY);
    return text;
}

// "Unexpected exception" through the maker's diagnostics library (KXDIAG), as every operation
// here reports, never to the error manager: the message is formatted with
// _Tarvo_formatErrorString and logged with _Tarvo_TestShowErrorDialogLogInfo2. An answer above 0
// asks for a debugger stop at the reporting place; the module does not honour it, since stopping
// would halt the firmware's host process: the report is all that happens.
void ReportUnexpected(CFailurePoint at, const char* context) noexcept {
    const char* text = _Tarvo_formatErrorString("Unexpected exception");
    _Tarvo_TestShowErrorDialogLogInfo2("CROTAccess", at.line, context, text);
}

// Runs one operation's body and gives back its result, or FALSE when it throws. The body runs in
// an error frame of its own (handledHere), so that what it raises is reported here, at the
// operation's `unexpected` line under its context, and never by the operation guard of its
// caller. Anything else thrown (CAtlException among it) is swallowed without a report.
template <class Points, class Body>
[[nodiscard]] BOOL RunReported(const Points& at, Body&& body) {
    try {
        CErrorFrame handledHere;
        return body();
    } catch (const CExceptionError&) {
        ReportUnexpected(at.unexpected, at.context);
    } catch (...) {
    }
    return FALSE;
}

}  // namespace

CROTAccess::CROTAccess() : m_prefix(ProcessIdText(GetCurrentProcessId())) {}

CROTAccess::~CROTAccess() {
    SysFreeString(m_prefix);
}

BOOL CROTAccess::SetPrefixProcessId(DWORD processId) {
    BSTR prefix = ProcessIdText(processId != 0 ? processId : GetCurrentProcessId());
    SysFreeString(m_prefix);
    m_prefix = prefix;
    return TRUE;
}

namespace {

// The prefix (when asked for and set) followed by the name. A failed prefix copy throws
// CAtlException; a failed concatenation leaves the item as it was, by design of the lookup
// rule: the name is then looked up without it.
CScopedBstr BuildItemName(BSTR prefix, BSTR name, BOOL usePrefix) {
    CScopedBstr item;
    if (usePrefix && prefix != nullptr) {
        item.Reset(
            SysAllocStringByteLen(reinterpret_cast<LPCSTR>(prefix), SysStringByteLen(prefix)));
        if (!item) ATL::AtlThrow(E_OUTOFMEMORY);
    }
    if (name != nullptr) {
        BSTR joined = nullptr;
        if (SUCCEEDED(VarBstrCat(item.Get(), name, &joined))) item.Reset(joined);
    }
    return item;
}

CInterfacePtr<IMoniker> ItemMoniker(const CScopedBstr& item, CFailurePoint at) {
    CInterfacePtr<IMoniker> moniker;
    ThrowIfFailed(CreateItemMoniker(OLESTR(""), item.Get(), moniker.Put()), at);
    return moniker;
}

CInterfacePtr<IRunningObjectTable> RunningObjectTable(CFailurePoint at) {
    CInterfacePtr<IRunningObjectTable> table;
    ThrowIfFailed(GetRunningObjectTable(0, table.Put()), at);
    return table;
}

}  // namespace

BOOL CROTAccess::RegisterIfPointer(BSTR name, IUnknown* object, DWORD* cookie, BOOL usePrefix) {
    CScopedBstr ownedName = CScopedBstr::Attach(name);
    CScopedBstr item = BuildItemName(m_prefix, name, usePrefix);  // lets CAtlException through
    return RunReported(kRegister, [&] {
        auto moniker = ItemMoniker(item, kRegister.moniker);
        auto table = RunningObjectTable(kRegister.runningObjectTable);
        ThrowIfFailed(
            table->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, object, moniker.Get(), cookie),
            kRegister.registration);
        return TRUE;
    });
}

BOOL CROTAccess::NameToIfPointer(BSTR name, IUnknown** object, BOOL reportFailure, BOOL usePrefix) {
    CScopedBstr ownedName = CScopedBstr::Attach(name);
    return RunReported(kNameToIfPointer, [&] {
        CScopedBstr item = BuildItemName(m_prefix, name, usePrefix);
        auto moniker = ItemMoniker(item, kNameToIfPointer.moniker);
        auto table = RunningObjectTable(kNameToIfPointer.runningObjectTable);
        const HRESULT hr = table->GetObject(moniker.Get(), object);
        if (reportFailure) ThrowIfFailed(hr, kNameToIfPointer.lookup);
        return SUCCEEDED(hr) ? TRUE : FALSE;
    });
}

BOOL CROTAccess::RevokeIfPointer(DWORD cookie) {
    return RunReported(kRevoke, [&] {
        auto table = RunningObjectTable(kRevoke.runningObjectTable);
        ThrowIfFailed(table->Revoke(cookie), kRevoke.revocation);
        return TRUE;
    });
}

BOOL ROTRegisterIfPointer(const OLECHAR* name, IUnknown* object, DWORD* cookie) {
    return g_ROTAccess.RegisterIfPointer(BstrFromText(name).Detach(), object, cookie, TRUE);
}

BOOL ROTNameToIfPointer(const OLECHAR* name, IUnknown** object) {
    return g_ROTAccess.NameToIfPointer(BstrFromText(name).Detach(), object, TRUE, TRUE);
}

BOOL ROTRevokeIfPointer(DWORD cookie) {
    return g_ROTAccess.RevokeIfPointer(cookie);
}

BOOL ROTSetPrefixProcessId(DWORD processId) {
    return g_ROTAccess.SetPrefixProcessId(processId);
}

// The module-wide instance, the one object that every lookup of the driver and the error manager
// goes through. It is built at load (its prefix is the loading process's id) and destroyed at
// unload. The module's other state (the service data paths, the deferred-commit flags) is
// defined with the functions that own it. Nothing else happens at load: no thread, no COM, no
// file.
CROTAccess g_ROTAccess;
