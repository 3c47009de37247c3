// Registration of firmware components in the Running Object Table.
#include "norn/firmware/RotRegistration.h"

#include <new>
#include <utility>

namespace norn::firmware {

namespace {

std::basic_string<OLECHAR> ItemFor(DWORD processId, const OLECHAR* name) {
    std::basic_string<OLECHAR> item;
    for (char digit : std::to_string(processId)) item += static_cast<OLECHAR>(digit);
    if (name != nullptr) item += name;
    return item;
}

}  // namespace

CRotRegistration::CRotRegistration(IUnknown* object, const OLECHAR* name)
    : CRotRegistration(object, name, GetCurrentProcessId()) {}

CRotRegistration::CRotRegistration(IUnknown* object, const OLECHAR* name, DWORD processId) {
    try {
        m_item = ItemFor(processId, name);
    } catch (const std::bad_alloc&) {
        m_hr = E_OUTOFMEMORY;
        return;
    }
    CInterfacePtr<IRunningObjectTable> table;
    m_hr = GetRunningObjectTable(0, table.Put());
    if (FAILED(m_hr)) return;
    CInterfacePtr<IMoniker> moniker;
    m_hr = CreateItemMoniker(OLESTR(""), m_item.c_str(), moniker.Put());
    if (FAILED(m_hr)) return;
    m_hr = table->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, object, moniker.Get(), &m_cookie);
    if (FAILED(m_hr)) return;
    m_table = std::move(table);
}

CRotRegistration::~CRotRegistration() {
    Revoke();
}

CRotRegistration::CRotRegistration(CRotRegistration&& other) noexcept
    : m_item(std::move(other.m_item)),
      m_table(std::move(other.m_table)),
      m_cookie(std::exchange(other.m_cookie, 0)),
      m_hr(std::exchange(other.m_hr, E_UNEXPECTED)) {}

CRotRegistration& CRotRegistration::operator=(CRotRegistration&& other) noexcept {
    if (this == &other) return *this;
    Revoke();
    m_item = std::move(other.m_item);
    m_table = std::move(other.m_table);
    m_cookie = std::exchange(other.m_cookie, 0);
    m_hr = std::exchange(other.m_hr, E_UNEXPECTED);
    return *this;
}

void CRotRegistration::Revoke() noexcept {
    if (!m_table) return;
    m_table->Revoke(m_cookie);
    m_table.Reset();
    m_cookie = 0;
}

}  // namespace norn::firmware
