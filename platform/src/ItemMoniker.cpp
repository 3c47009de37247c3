// CItemMoniker: the moniker CreateItemMoniker makes. Its display name is the delimiter followed
// by the item; its comparison data (IROTData) is its class ID, then the upper-cased delimiter and
// item and a zero character, so the table finds an item whatever its case, but only behind the
// same delimiter. IsEqual and Hash look at the item alone. Methods that nothing here needs answer
// E_NOTIMPL; their slots exist.
#include "ItemMoniker.h"

#include <cstring>
#include <new>

#include "norn/ComObject.h"
#include "norn/InterfaceId.h"
#include "norn/InterfacePtr.h"

namespace norn::platform {

std::u16string UpperCaseForComparison(std::u16string text) {
    for (char16_t& c : text) {
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
            (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F)) {
            c = static_cast<char16_t>(c - 0x20);
        } else if (c >= 0x450 && c <= 0x45F) {
            c = static_cast<char16_t>(c - 0x50);
        } else if (c == 0xFF) {
            c = 0x178;
        } else if (c == 0xB5) {
            c = 0x39C;
        }
    }
    return text;
}

namespace {

// The class ID's bytes, then the upper-cased name with its terminator.
std::string KeyOf(const CLSID& classId, const std::u16string& name) {
    const std::u16string upper = UpperCaseForComparison(name);
    const size_t nameBytes = (upper.size() + 1) * sizeof(char16_t);
    std::string key;
    key.reserve(sizeof(classId) + nameBytes);  // one allocation
    key.append(reinterpret_cast<const char*>(&classId), sizeof(classId));
    key.append(reinterpret_cast<const char*>(upper.c_str()), nameBytes);
    return key;
}

// The class ID as an identifier that QueryInterface answers with the moniker itself, as Windows'
// item moniker does.
struct CItemMonikerClass {};

}  // namespace
}  // namespace norn::platform

NORN_INTERFACE_ID(norn::platform::CItemMonikerClass, "00000304-0000-0000-C000-000000000046")

namespace norn::platform {
namespace {

// Made by CreateItemMoniker, which hands out the first reference; the last Release deletes it.
class CItemMoniker final
    : public CSelfDeletingComObject<
          CChain<IMoniker, IMoniker, IPersistStream, IPersist, CItemMonikerClass>, IROTData> {
public:
    CItemMoniker(std::u16string delimiter, std::u16string item)
        : m_displayName(std::move(delimiter) + item),
          m_itemKey(UpperCaseForComparison(item)),
          m_comparisonData(KeyOf(CLSID_ItemMoniker, m_displayName)) {}

    // IPersist, IPersistStream
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) override {
        if (pClassID == nullptr) return E_POINTER;
        *pClassID = CLSID_ItemMoniker;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(IStream*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save(IStream*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }

    // IMoniker
    HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx*, IMoniker*, REFIID, void**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx*, IMoniker*, REFIID, void**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Reduce(IBindCtx*, DWORD, IMoniker**, IMoniker**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ComposeWith(IMoniker*, BOOL, IMoniker**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Enum(BOOL, IEnumMoniker** ppenum) override {
        if (ppenum == nullptr) return E_POINTER;
        *ppenum = nullptr;  // an item moniker has no parts to enumerate
        return S_OK;
    }
    // Two item monikers are equal when their items are, ignoring case; the delimiter is not
    // compared (the table, which goes by comparison data, does compare it).
    HRESULT STDMETHODCALLTYPE IsEqual(IMoniker* other) override {
        if (other == nullptr) return E_INVALIDARG;
        const auto* item = dynamic_cast<const CItemMoniker*>(other);
        return item != nullptr && item->m_itemKey == m_itemKey ? S_OK : S_FALSE;
    }
    // Over the upper-cased item only, so that monikers IsEqual calls equal hash alike.
    HRESULT STDMETHODCALLTYPE Hash(DWORD* pdwHash) override {
        if (pdwHash == nullptr) return E_POINTER;
        DWORD hash = 0;
        for (char16_t c : m_itemKey) hash = (hash * 3) ^ c;
        *pdwHash = hash;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsRunning(IBindCtx*, IMoniker*, IMoniker*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Inverse(IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CommonPrefixWith(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RelativePathTo(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* ppsz) override {
        if (ppsz == nullptr) return E_POINTER;
        const size_t bytes = (m_displayName.size() + 1) * sizeof(OLECHAR);
        *ppsz = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
        if (*ppsz == nullptr) return E_OUTOFMEMORY;
        std::memcpy(*ppsz, m_displayName.c_str(), bytes);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG*,
                                               IMoniker**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE IsSystemMoniker(DWORD* pdwMksys) override {
        if (pdwMksys == nullptr) return E_POINTER;
        *pdwMksys = MKSYS_ITEMMONIKER;
        return S_OK;
    }

    // IROTData
    HRESULT STDMETHODCALLTYPE GetComparisonData(BYTE* pbData, ULONG cbMax,
                                                ULONG* pcbData) override {
        if (pbData == nullptr || pcbData == nullptr) return E_POINTER;
        *pcbData = static_cast<ULONG>(m_comparisonData.size());
        if (m_comparisonData.size() > cbMax) return E_OUTOFMEMORY;
        std::memcpy(pbData, m_comparisonData.data(), m_comparisonData.size());
        return S_OK;
    }

private:
    std::u16string m_displayName;
    std::u16string m_itemKey;  // the item, upper-cased as the table compares names
    std::string m_comparisonData;
};

}  // namespace

std::string ComparisonDataOf(IMoniker* moniker) try {
    constexpr ULONG kMaxComparisonData = 2048;
    auto rotData = CInterfacePtr<IMoniker>::Share(moniker).Query<IROTData>();
    if (rotData) {
        BYTE data[kMaxComparisonData];
        ULONG size = 0;
        if (FAILED(rotData->GetComparisonData(data, sizeof(data), &size))) return {};
        return std::string(reinterpret_cast<const char*>(data), size);
    }
    CLSID classId{};
    LPOLESTR name = nullptr;
    if (FAILED(moniker->GetDisplayName(nullptr, nullptr, &name)) || name == nullptr) return {};
    const std::u16string displayName = name;
    CoTaskMemFree(name);
    if (FAILED(moniker->GetClassID(&classId))) return {};
    return KeyOf(classId, displayName);
} catch (const std::bad_alloc&) {
    return {};
}

}  // namespace norn::platform

WINOLEAPI CreateItemMoniker(LPCOLESTR lpszDelim, LPCOLESTR lpszItem, IMoniker** ppmk) {
    if (ppmk == nullptr) return E_INVALIDARG;
    *ppmk = nullptr;
    try {
        *ppmk = new norn::platform::CItemMoniker(lpszDelim != nullptr ? lpszDelim : u"",
                                                 lpszItem != nullptr ? lpszItem : u"");
        (*ppmk)->AddRef();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}
