// CRunningObjectTable: the process-wide Running Object Table.
//
// On Windows the table is per machine and the process-id prefix in every name keeps processes
// apart; here it is per process, which gives the same separation. Entries are matched by the
// moniker's comparison data, not by IMoniker::IsEqual. The table holds one reference on every
// registered object until its Revoke; it holds nothing of the moniker but its comparison data.
// A registration with ROTFLAGS_REGISTRATIONKEEPSALIVE is also a strong external connection, as
// Windows makes it: IExternalConnection::AddConnection on an object that has the interface, and
// ReleaseConnection at Revoke. Foreign objects are only called outside the lock, so a Release that
// calls back into the table cannot deadlock.
#include <windows.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "ComApartmentState.h"
#include "ItemMoniker.h"
#include "norn/ComObject.h"

namespace {

constexpr DWORD kValidFlags = ROTFLAGS_REGISTRATIONKEEPSALIVE | ROTFLAGS_ALLOWANYCLIENT;

struct Registration {
    DWORD cookie;
    std::string key;
    IUnknown* object;
    IExternalConnection* connection;  // held while a keep-alive registration stands, or null
};

// Makes the strong connection of a keep-alive registration; the connection it returns (null when
// the object has none) holds a reference until ReleaseStrongConnection.
IExternalConnection* AddStrongConnection(IUnknown* object) {
    void* connection = nullptr;
    if (FAILED(object->QueryInterface(IID_IExternalConnection, &connection))) return nullptr;
    static_cast<IExternalConnection*>(connection)->AddConnection(EXTCONN_STRONG, 0);
    return static_cast<IExternalConnection*>(connection);
}

void ReleaseStrongConnection(IExternalConnection* connection) {
    if (connection == nullptr) return;
    connection->ReleaseConnection(EXTCONN_STRONG, 0, TRUE);
    connection->Release();
}

// Counts its references but is never deleted: objects of unloaded libraries may still be
// registered at process exit.
class CRunningObjectTable final : public norn::CComObjectBase<IRunningObjectTable> {
public:
    static CRunningObjectTable& Instance() {
        static auto* table = new CRunningObjectTable();
        return *table;
    }

    HRESULT STDMETHODCALLTYPE Register(DWORD grfFlags, IUnknown* punkObject,
                                       IMoniker* pmkObjectName, DWORD* pdwRegister) override {
        if (pdwRegister != nullptr) *pdwRegister = 0;
        if ((grfFlags & ~kValidFlags) != 0 || punkObject == nullptr || pmkObjectName == nullptr ||
            pdwRegister == nullptr) {
            return E_INVALIDARG;
        }
        std::string key = norn::platform::ComparisonDataOf(pmkObjectName);
        if (key.empty()) return E_INVALIDARG;

        punkObject->AddRef();
        IExternalConnection* connection = (grfFlags & ROTFLAGS_REGISTRATIONKEEPSALIVE) != 0
                                              ? AddStrongConnection(punkObject)
                                              : nullptr;
        std::unique_lock<std::mutex> lock(m_mutex);
        const bool alreadyRegistered = FindLocked(key) != m_entries.end();
        try {
            m_entries.push_back({m_lastCookie + 1, std::move(key), punkObject, connection});
        } catch (const std::bad_alloc&) {
            lock.unlock();
            ReleaseStrongConnection(connection);
            punkObject->Release();
            return E_OUTOFMEMORY;
        }
        *pdwRegister = ++m_lastCookie;
        return alreadyRegistered ? MK_S_MONIKERALREADYREGISTERED : S_OK;
    }

    HRESULT STDMETHODCALLTYPE Revoke(DWORD dwRegister) override {
        IUnknown* object = nullptr;
        IExternalConnection* connection = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                   [&](const Registration& r) { return r.cookie == dwRegister; });
            if (it == m_entries.end()) return E_INVALIDARG;
            object = it->object;
            connection = it->connection;
            m_entries.erase(it);
        }
        ReleaseStrongConnection(connection);
        object->Release();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE IsRunning(IMoniker* pmkObjectName) override {
        if (pmkObjectName == nullptr) return E_INVALIDARG;
        const std::string key = norn::platform::ComparisonDataOf(pmkObjectName);
        std::lock_guard<std::mutex> lock(m_mutex);
        return FindLocked(key) != m_entries.end() ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE GetObject(IMoniker* pmkObjectName, IUnknown** ppunkObject) override {
        if (ppunkObject == nullptr) return E_POINTER;
        *ppunkObject = nullptr;
        if (pmkObjectName == nullptr) return E_INVALIDARG;
        const std::string key = norn::platform::ComparisonDataOf(pmkObjectName);
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = FindLocked(key);
        if (it == m_entries.end()) return MK_E_UNAVAILABLE;
        it->object->AddRef();
        *ppunkObject = it->object;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE NoteChangeTime(DWORD, FILETIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTimeOfLastChange(IMoniker*, FILETIME*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EnumRunning(IEnumMoniker**) override { return E_NOTIMPL; }

private:
    CRunningObjectTable() = default;

    std::vector<Registration>::iterator FindLocked(const std::string& key) {
        return std::find_if(m_entries.begin(), m_entries.end(),
                            [&](const Registration& r) { return r.key == key; });
    }

    std::mutex m_mutex;
    std::vector<Registration> m_entries;
    DWORD m_lastCookie = 0;
};

}  // namespace

WINOLEAPI GetRunningObjectTable(DWORD reserved, IRunningObjectTable** pprot) {
    if (pprot == nullptr) return E_INVALIDARG;
    *pprot = nullptr;
    if (reserved != 0) return E_UNEXPECTED;
    if (!norn::platform::IsComUsableOnThisThread()) return CO_E_NOTINITIALIZED;
    CRunningObjectTable& table = CRunningObjectTable::Instance();
    table.AddRef();
    *pprot = &table;
    return S_OK;
}
