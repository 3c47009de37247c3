// CROTAccess: registers COM objects in the Running Object Table under a name and finds them
// again by that name. A name is put behind the prefix, the decimal id of the process, whenever
// the caller asks for it: the entry the module looks for is the one registered by the firmware
// process that loaded it.
//
// Owns its prefix BSTR. Every operation takes its name as a BSTR by value and frees it before it
// returns, on every path. The operations handle their own failures: a failed call is reported
// through the diagnostics library under the file "CROTAccess" and the operation returns FALSE;
// nothing goes to the error manager.
#pragma once

#include <windows.h>

class CROTAccess {
public:
    // The prefix becomes the current process id; CAtlException(E_OUTOFMEMORY) when it cannot be
    // allocated.
    CROTAccess();
    ~CROTAccess();
    CROTAccess(const CROTAccess&) = delete;
    CROTAccess& operator=(const CROTAccess&) = delete;

    // TRUE when registered; *cookie then holds the registration. A failed allocation of the
    // prefix copy throws CAtlException to the caller.
    BOOL RegisterIfPointer(BSTR name, IUnknown* object, DWORD* cookie, BOOL usePrefix);
    // TRUE when found; *object then holds a reference that the caller releases. The pointer is
    // written only by the table's lookup, which stores null when nothing is registered; with
    // reportFailure FALSE a failed lookup is not reported.
    [[nodiscard]] BOOL NameToIfPointer(BSTR name, IUnknown** object, BOOL reportFailure,
                                       BOOL usePrefix);
    BOOL RevokeIfPointer(DWORD cookie);
    // 0 means the current process. CAtlException(E_OUTOFMEMORY) when the text cannot be made.
    BOOL SetPrefixProcessId(DWORD processId);

    BSTR Prefix() const noexcept { return m_prefix; }

private:
    BSTR m_prefix;
};

// The module-wide instance, built at load.
extern CROTAccess g_ROTAccess;

// The same operations on g_ROTAccess by wide text, always with the prefix. Null text gives a
// null name; a failed copy throws CAtlException(E_OUTOFMEMORY).
[[nodiscard]] BOOL ROTRegisterIfPointer(const OLECHAR* name, IUnknown* object, DWORD* cookie);
[[nodiscard]] BOOL ROTNameToIfPointer(const OLECHAR* name, IUnknown** object);
BOOL ROTRevokeIfPointer(DWORD cookie);
BOOL ROTSetPrefixProcessId(DWORD processId);
