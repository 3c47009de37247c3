// CRotRegistration: keeps a firmware component registered in the Running Object Table under
// "<process id><name>", the way the firmware publishes its driver and error manager.
#pragma once

#include <windows.h>

#include <string>

#include "norn/InterfacePtr.h"

namespace norn::firmware {

// Registers an object for the lifetime of this value: an item moniker with the empty delimiter
// and the item "<decimal process id><name>", flags ROTFLAGS_REGISTRATIONKEEPSALIVE. The table
// holds one reference on the object until the destructor revokes the registration; the
// registration holds a reference on the table, so the revoke works on any thread.
//
// The constructing thread must have joined COM (the host does that); otherwise the registration
// fails with CO_E_NOTINITIALIZED. A failed registration holds nothing: check Succeeded() or
// Result(). Move-only; a moved-from value holds no registration and gives E_UNEXPECTED.
class CRotRegistration {
public:
    // Behind the current process id.
    CRotRegistration(IUnknown* object, const OLECHAR* name);
    // Behind the given process id, for tests that play another process.
    CRotRegistration(IUnknown* object, const OLECHAR* name, DWORD processId);
    ~CRotRegistration();

    CRotRegistration(const CRotRegistration&) = delete;
    CRotRegistration& operator=(const CRotRegistration&) = delete;
    CRotRegistration(CRotRegistration&& other) noexcept;
    CRotRegistration& operator=(CRotRegistration&& other) noexcept;

    bool Succeeded() const noexcept { return m_table && SUCCEEDED(m_hr); }
    HRESULT Result() const noexcept { return m_hr; }
    const std::basic_string<OLECHAR>& ItemName() const noexcept { return m_item; }

private:
    void Revoke() noexcept;

    std::basic_string<OLECHAR> m_item;
    CInterfacePtr<IRunningObjectTable> m_table;
    DWORD m_cookie = 0;
    HRESULT m_hr = E_UNEXPECTED;
};

}  // namespace norn::firmware
