// The Running Object Table's codes, reference counting and name matching, and the item monikers
// it keys on, as on Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <string>
#include <utility>

#include "norn/ComApartment.h"
#include "norn/ComObject.h"
#include "norn/InterfaceId.h"
#include "norn/InterfacePtr.h"
#include "support/ApiUnderTest.h"
#include "support/CountingObjects.h"
#include "support/VtableSlot.h"

using norn::CInterfacePtr;
using norn::test::CCountingObject;
using norn::test::OleString;

namespace {

CInterfacePtr<IMoniker> Item(const OLECHAR* delimiter, const OLECHAR* item) {
    CInterfacePtr<IMoniker> moniker;
    EXPECT_EQ(CreateItemMoniker(delimiter, item, moniker.Put()), S_OK);
    return moniker;
}

constexpr CLSID kItemMonikerClass = norn::GuidFromText("00000304-0000-0000-C000-000000000046");

// A moniker of a class of its own without IROTData, which the table tells apart by its class and
// display name. Reduce gives itself, as Windows' table asks it to; what the table never calls
// answers E_NOTIMPL.
class CNamedMoniker final : public norn::CSelfDeletingComObject<
                                norn::CChain<IMoniker, IMoniker, IPersistStream, IPersist>> {
public:
    static CInterfacePtr<IMoniker> Create(const CLSID& classId, const OLECHAR* name) {
        return CInterfacePtr<IMoniker>::Share(new CNamedMoniker(classId, name));
    }

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) override {
        *classId = m_classId;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reduce(IBindCtx*, DWORD, IMoniker**, IMoniker** reduced) override {
        AddRef();
        *reduced = this;
        return MK_S_REDUCED_TO_SELF;
    }
    HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* name) override {
        const size_t bytes = (m_name.size() + 1) * sizeof(OLECHAR);
        *name = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
        std::copy(m_name.c_str(), m_name.c_str() + m_name.size() + 1, *name);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Load(IStream*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save(IStream*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx*, IMoniker*, REFIID, void**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx*, IMoniker*, REFIID, void**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE ComposeWith(IMoniker*, BOOL, IMoniker**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Enum(BOOL, IEnumMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsEqual(IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Hash(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsRunning(IBindCtx*, IMoniker*, IMoniker*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Inverse(IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CommonPrefixWith(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RelativePathTo(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG*,
                                               IMoniker**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE IsSystemMoniker(DWORD*) override { return E_NOTIMPL; }

private:
    CNamedMoniker(const CLSID& classId, const OLECHAR* name) : m_classId(classId), m_name(name) {}

    CLSID m_classId;
    OleString m_name;
};

// An object that counts the strong external connections made to it.
class CConnectableObject final : public norn::CComObjectBase<IExternalConnection> {
public:
    LONG StrongConnections() const { return m_strong; }

    DWORD STDMETHODCALLTYPE AddConnection(DWORD type, DWORD) override {
        return type == EXTCONN_STRONG ? ++m_strong : m_strong.load();
    }
    DWORD STDMETHODCALLTYPE ReleaseConnection(DWORD type, DWORD, BOOL) override {
        return type == EXTCONN_STRONG ? --m_strong : m_strong.load();
    }

private:
    std::atomic<LONG> m_strong{0};
};

class RunningObjectTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(m_apartment.Result(), S_OK);
        ASSERT_EQ(GetRunningObjectTable(0, m_table.Put()), S_OK);
    }

    DWORD Register(IUnknown* object, const OLECHAR* item, HRESULT expected = S_OK,
                   DWORD flags = ROTFLAGS_REGISTRATIONKEEPSALIVE) {
        DWORD cookie = 0;
        EXPECT_EQ(m_table->Register(flags, object, Item(OLESTR(""), item).Get(), &cookie),
                  expected);
        return cookie;
    }
    HRESULT Lookup(IMoniker* name, CInterfacePtr<IUnknown>& found) {
        return m_table->GetObject(name, found.Put());
    }

    norn::CComApartment m_apartment;
    CInterfacePtr<IRunningObjectTable> m_table;
    CCountingObject m_object;
};

// Each refused call answers its code and takes no reference; a lookup that finds nothing stores
// null, and a refused registration gives cookie 0 (Windows clears it; Wine leaves it as it was).
TEST_F(RunningObjectTableTest, RefusedCallsAnswerTheirCodeAndTakeNothing) {
    auto name = Item(OLESTR(""), OLESTR("NobodyHere"));
    IUnknown* found = &m_object;
    DWORD cookie = 99;
    CInterfacePtr<IRunningObjectTable> other;
    const std::pair<HRESULT, HRESULT> calls[] = {
        {m_table->GetObject(name.Get(), &found), MK_E_UNAVAILABLE},
        {m_table->GetObject(name.Get(), nullptr), E_POINTER},
        {m_table->IsRunning(name.Get()), S_FALSE},
        {m_table->Revoke(0), E_INVALIDARG},
        {m_table->Register(0x4, &m_object, name.Get(), &cookie), E_INVALIDARG},
        {m_table->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, nullptr, name.Get(), &cookie),
         E_INVALIDARG},
        {m_table->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, &m_object, nullptr, &cookie),
         E_INVALIDARG},
        {GetRunningObjectTable(1, other.Put()), E_UNEXPECTED},
    };
    for (size_t i = 0; i < std::size(calls); ++i) EXPECT_EQ(calls[i].first, calls[i].second) << i;
    EXPECT_EQ(found, nullptr);
    if (!norn::test::UnderWine()) {
        EXPECT_EQ(cookie, 0u);
    }
    EXPECT_EQ(m_object.Refs(), 0u);
}

// How many references the table takes is its own affair (Windows' marshalling takes more than
// one); it holds them until Revoke, and a lookup hands out exactly one more. A name registered
// twice stands until both are revoked; a cookie is good for one Revoke.
TEST_F(RunningObjectTableTest, RegistrationsHoldTheirObjectUntilRevoked) {
    const auto name = Item(OLESTR(""), OLESTR("4711TarvoMeasDriver"));
    const DWORD first = Register(&m_object, OLESTR("4711TarvoMeasDriver"));
    const ULONG registered = m_object.Refs();
    EXPECT_GE(registered, 1u) << "the table holds the object";
    CInterfacePtr<IUnknown> found;
    ASSERT_EQ(Lookup(name.Get(), found), S_OK);
    EXPECT_EQ(found.Get(), &m_object);
    EXPECT_EQ(m_object.Refs(), registered + 1) << "a lookup hands out a new reference";
    found.Reset();
    EXPECT_EQ(m_table->IsRunning(name.Get()), S_OK);

    CCountingObject second;
    const DWORD again =
        Register(&second, OLESTR("4711TarvoMeasDriver"), MK_S_MONIKERALREADYREGISTERED);
    EXPECT_NE(first, again);
    EXPECT_EQ(m_table->Revoke(first), S_OK);
    EXPECT_EQ(m_object.Refs(), 0u);
    EXPECT_EQ(m_table->Revoke(first), E_INVALIDARG);
    ASSERT_EQ(Lookup(name.Get(), found), S_OK) << "the second registration still stands";
    EXPECT_EQ(found.Get(), &second);
    found.Reset();
    EXPECT_EQ(m_table->Revoke(again), S_OK);
    EXPECT_EQ(second.Refs(), 0u);
    EXPECT_EQ(Lookup(name.Get(), found), MK_E_UNAVAILABLE);
}

// An item is found whatever its case, but only behind the same delimiter (a null one is the empty
// one). Without comparison data the table goes by class and display name: a moniker of another
// class, an item moniker among them, does not find the name.
TEST_F(RunningObjectTableTest, NamesMatchByDelimiterItemAndClass) {
    constexpr CLSID kNamed = norn::GuidFromText("6C7A1E52-93D4-4F0B-8B1E-2D5C0A7E9F31");
    constexpr CLSID kOther = norn::GuidFromText("6C7A1E52-93D4-4F0B-8B1E-2D5C0A7E9F32");
    const DWORD item = Register(&m_object, OLESTR("4711Analyzer"));
    DWORD named = 0;
    ASSERT_EQ(m_table->Register(0, &m_object,
                                CNamedMoniker::Create(kNamed, OLESTR("4711Named")).Get(), &named),
              S_OK);
    const std::pair<CInterfacePtr<IMoniker>, HRESULT> lookups[] = {
        {Item(OLESTR(""), OLESTR("4711Analyzer")), S_OK},
        {Item(nullptr, OLESTR("4711ANALYZER")), S_OK},
        {Item(OLESTR(""), OLESTR("4711analyzer")), S_OK},
        {Item(OLESTR("!"), OLESTR("4711Analyzer")), MK_E_UNAVAILABLE},
        {Item(OLESTR(""), OLESTR("4712Analyzer")), MK_E_UNAVAILABLE},
        {CNamedMoniker::Create(kNamed, OLESTR("4711Named")), S_OK},
        {CNamedMoniker::Create(kOther, OLESTR("4711Named")), MK_E_UNAVAILABLE},
        {Item(OLESTR(""), OLESTR("4711Named")), MK_E_UNAVAILABLE},
    };
    for (size_t i = 0; i < std::size(lookups); ++i) {
        CInterfacePtr<IUnknown> found;
        EXPECT_EQ(Lookup(lookups[i].first.Get(), found), lookups[i].second) << i;
        EXPECT_EQ(found.Get(), lookups[i].second == S_OK ? &m_object : nullptr) << i;
    }
    EXPECT_EQ(m_table->Revoke(item), S_OK);
    EXPECT_EQ(m_table->Revoke(named), S_OK);
}

// A keep-alive registration is a strong external connection to the object until its Revoke; a
// registration without the flag makes none.
TEST_F(RunningObjectTableTest, KeepAliveRegistrationHoldsAStrongConnectionUntilRevoke) {
    CConnectableObject object;
    const DWORD kept = Register(&object, OLESTR("4711Kept"));
    EXPECT_EQ(object.StrongConnections(), 1);
    const DWORD plain = Register(&object, OLESTR("4711Plain"), S_OK, 0);
    EXPECT_EQ(object.StrongConnections(), 1);
    EXPECT_EQ(m_table->Revoke(kept), S_OK);
    EXPECT_EQ(object.StrongConnections(), 0);
    EXPECT_EQ(m_table->Revoke(plain), S_OK);
    EXPECT_EQ(object.Refs(), 0u);
}

// The display name is the delimiter then the item; the table's key (the comparison data) is the
// class ID, then the delimiter and item upper-cased, and a zero character. The moniker answers
// its class ID as an interface with itself.
TEST(CreateItemMoniker, DisplayNameAndComparisonDataJoinDelimiterAndItem) {
    auto moniker = Item(OLESTR("!"), OLESTR("Test"));
    LPOLESTR name = nullptr;
    ASSERT_EQ(moniker->GetDisplayName(nullptr, nullptr, &name), S_OK);
    EXPECT_EQ(OleString(name), OLESTR("!Test"));
    CoTaskMemFree(name);
    DWORD system = 0;
    EXPECT_EQ(moniker->IsSystemMoniker(&system), S_OK);
    EXPECT_EQ(system, static_cast<DWORD>(MKSYS_ITEMMONIKER));
    void* self = nullptr;
    ASSERT_EQ(moniker->QueryInterface(kItemMonikerClass, &self), S_OK);
    EXPECT_EQ(self, static_cast<void*>(moniker.Get()));
    moniker->Release();

    auto data = moniker.Query<IROTData>();
    ASSERT_TRUE(data);
    BYTE bytes[64] = {};
    ULONG size = 0;
    ASSERT_EQ(data->GetComparisonData(bytes, sizeof(bytes), &size), S_OK);
    const OLECHAR upper[] = OLESTR("!TEST");
    std::string expected(reinterpret_cast<const char*>(&kItemMonikerClass), sizeof(CLSID));
    expected.append(reinterpret_cast<const char*>(upper), sizeof(upper));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), size), expected);
}

// IsEqual and Hash go by the item alone, whatever its case or delimiter: the same display name
// is not the same item.
TEST(CreateItemMoniker, IsEqualAndHashGoByTheItemAlone) {
    const auto moniker = Item(OLESTR("!"), OLESTR("Test"));
    const struct {
        const OLECHAR* delimiter;
        const OLECHAR* item;
        HRESULT equal;
        DWORD hash;
    } rows[] = {
        {OLESTR("!"), OLESTR("Test"), S_OK, 0x73c},    {OLESTR("%"), OLESTR("TEST"), S_OK, 0x73c},
        {OLESTR(""), OLESTR("!Test"), S_FALSE, 0x88d}, {OLESTR("!"), OLESTR("T"), S_FALSE, 0x54},
        {OLESTR("&"), OLESTR("A"), S_FALSE, 0x41},     {OLESTR("!"), OLESTR("a"), S_FALSE, 0x41},
    };
    for (const auto& row : rows) {
        const auto other = Item(row.delimiter, row.item);
        DWORD hash = 0;
        EXPECT_EQ(other->Hash(&hash), S_OK);
        EXPECT_EQ(hash, row.hash) << std::hex << row.hash;
        EXPECT_EQ(moniker->IsEqual(other.Get()), row.equal) << row.hash;
    }
}

// The slots of a method are its index on Windows: the module and its hosts call by slot.
TEST(InterfaceSlots, MatchTheWindowsMethodOrder) {
    using norn::test::VtableSlot;
    EXPECT_EQ(VtableSlot(&IUnknown::Release), 2);
    EXPECT_EQ(VtableSlot(&IRunningObjectTable::Register), 3);
    EXPECT_EQ(VtableSlot(&IRunningObjectTable::Revoke), 4);
    EXPECT_EQ(VtableSlot(&IRunningObjectTable::IsRunning), 5);
    EXPECT_EQ(VtableSlot(&IRunningObjectTable::GetObject), 6);
    EXPECT_EQ(VtableSlot(&IRunningObjectTable::EnumRunning), 9);
    EXPECT_EQ(VtableSlot(&IMoniker::BindToObject), 8);
    EXPECT_EQ(VtableSlot(&IMoniker::IsEqual), 13);
    EXPECT_EQ(VtableSlot(&IMoniker::GetDisplayName), 20);
    EXPECT_EQ(VtableSlot(&IMoniker::IsSystemMoniker), 22);
    EXPECT_EQ(VtableSlot(&IErrorInfo::GetHelpContext), 7);
    EXPECT_EQ(VtableSlot(&ISupportErrorInfo::InterfaceSupportsErrorInfo), 3);
}

}  // namespace
