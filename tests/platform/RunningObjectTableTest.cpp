// The Running Object Table's codes, reference counting and name matching, as on Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "norn/ComApartment.h"
#include "norn/ComObject.h"
#include "norn/InterfaceId.h"
#include "norn/InterfacePtr.h"
#include "support/CountingObjects.h"
#include "support/VtableSlot.h"
#include "support/ApiUnderTest.h"

using norn::test::OleString;

using norn::CInterfacePtr;
using norn::test::CCountingObject;

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

    DWORD Register(IUnknown* object, const OLECHAR* item, HRESULT expected = S_OK) {
        DWORD cookie = 0;
        EXPECT_EQ(m_table->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, object,
                                    Item(OLESTR(""), item).Get(), &cookie),
                  expected);
        return cookie;
    }
    HRESULT Lookup(const OLECHAR* delimiter, const OLECHAR* item, CInterfacePtr<IUnknown>& out) {
        return m_table->GetObject(Item(delimiter, item).Get(), out.Put());
    }

    norn::CComApartment m_apartment;
    CInterfacePtr<IRunningObjectTable> m_table;
    CCountingObject m_object;
};

TEST_F(RunningObjectTableTest, UnregisteredNameGivesUnavailableAndStoresNull) {
    IUnknown* found = &m_object;  // must be overwritten with NULL
    EXPECT_EQ(m_table->GetObject(Item(OLESTR(""), OLESTR("NobodyHere")).Get(), &found),
              MK_E_UNAVAILABLE);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(m_table->IsRunning(Item(OLESTR(""), OLESTR("NobodyHere")).Get()), S_FALSE);
}

TEST_F(RunningObjectTableTest, NullOutPointerIsPointerError) {
    EXPECT_EQ(m_table->GetObject(Item(OLESTR(""), OLESTR("x")).Get(), nullptr), E_POINTER);
}

// How many references the table takes is its own affair (Windows' marshalling takes more than
// one); it holds them until Revoke, and a lookup hands out exactly one more.
TEST_F(RunningObjectTableTest, ReferenceCountsBalanceOverRegisterLookupRevoke) {
    const DWORD cookie = Register(&m_object, OLESTR("4711TarvoMeasDriver"));
    const ULONG registered = m_object.Refs();
    EXPECT_GE(registered, 1u) << "the table holds the object";
    {
        CInterfacePtr<IUnknown> found;
        ASSERT_EQ(Lookup(OLESTR(""), OLESTR("4711TarvoMeasDriver"), found), S_OK);
        EXPECT_EQ(found.Get(), &m_object);
        EXPECT_EQ(m_object.Refs(), registered + 1) << "a lookup hands out a new reference";
    }
    EXPECT_EQ(m_object.Refs(), registered);
    EXPECT_EQ(m_table->IsRunning(Item(OLESTR(""), OLESTR("4711TarvoMeasDriver")).Get()), S_OK);
    EXPECT_EQ(m_table->Revoke(cookie), S_OK);
    EXPECT_EQ(m_object.Refs(), 0u);
    CInterfacePtr<IUnknown> found;
    EXPECT_EQ(Lookup(OLESTR(""), OLESTR("4711TarvoMeasDriver"), found), MK_E_UNAVAILABLE);
}

TEST_F(RunningObjectTableTest, ItemMatchesWhateverItsCaseButOnlyBehindTheSameDelimiter) {
    const DWORD cookie = Register(&m_object, OLESTR("4711ErrorManager"));
    CInterfacePtr<IUnknown> found;
    EXPECT_EQ(Lookup(OLESTR(""), OLESTR("4711ERRORMANAGER"), found), S_OK);
    EXPECT_EQ(Lookup(OLESTR(""), OLESTR("4711errormanager"), found), S_OK);
    EXPECT_EQ(Lookup(OLESTR("!"), OLESTR("4711ErrorManager"), found), MK_E_UNAVAILABLE);
    EXPECT_EQ(Lookup(OLESTR(""), OLESTR("4712ErrorManager"), found), MK_E_UNAVAILABLE);
    EXPECT_EQ(m_table->Revoke(cookie), S_OK);
}

// Without comparison data the table goes by class and display name: a moniker of another class,
// an item moniker among them, does not find the name.
TEST_F(RunningObjectTableTest, MonikersWithoutComparisonDataMatchByClassAndDisplayName) {
    constexpr CLSID kNamed = norn::GuidFromText("6C7A1E52-93D4-4F0B-8B1E-2D5C0A7E9F31");
    constexpr CLSID kOther = norn::GuidFromText("6C7A1E52-93D4-4F0B-8B1E-2D5C0A7E9F32");
    DWORD cookie = 0;
    ASSERT_EQ(m_table->Register(0, &m_object,
                                CNamedMoniker::Create(kNamed, OLESTR("4711Named")).Get(), &cookie),
              S_OK);
    EXPECT_EQ(m_table->IsRunning(CNamedMoniker::Create(kNamed, OLESTR("4711Named")).Get()), S_OK);
    EXPECT_EQ(m_table->IsRunning(CNamedMoniker::Create(kOther, OLESTR("4711Named")).Get()),
              S_FALSE);
    EXPECT_EQ(m_table->IsRunning(Item(OLESTR(""), OLESTR("4711Named")).Get()), S_FALSE);
    EXPECT_EQ(m_table->Revoke(cookie), S_OK);
}

// A keep-alive registration is a strong external connection to the object until its Revoke; a
// registration without the flag makes none.
TEST_F(RunningObjectTableTest, KeepAliveRegistrationHoldsAStrongConnectionUntilRevoke) {
    CConnectableObject object;
    const DWORD kept = Register(&object, OLESTR("4711Kept"));
    EXPECT_EQ(object.StrongConnections(), 1);
    DWORD plain = 0;
    ASSERT_EQ(m_table->Register(0, &object, Item(OLESTR(""), OLESTR("4711Plain")).Get(), &plain),
              S_OK);
    EXPECT_EQ(object.StrongConnections(), 1);
    EXPECT_EQ(m_table->Revoke(kept), S_OK);
    EXPECT_EQ(object.StrongConnections(), 0);
    EXPECT_EQ(m_table->Revoke(plain), S_OK);
    EXPECT_EQ(object.Refs(), 0u);
}

TEST_F(RunningObjectTableTest, NullOrEmptyDelimiterGivesTheSameName) {
    const DWORD cookie = Register(&m_object, OLESTR("Bare"));
    CInterfacePtr<IUnknown> found;
    EXPECT_EQ(Lookup(nullptr, OLESTR("Bare"), found), S_OK);
    EXPECT_EQ(m_table->Revoke(cookie), S_OK);
}

TEST_F(RunningObjectTableTest, SecondRegistrationOfANameSucceedsAndNeedsItsOwnRevoke) {
    CCountingObject second;
    const DWORD first = Register(&m_object, OLESTR("Twice"));
    const DWORD again = Register(&second, OLESTR("Twice"), MK_S_MONIKERALREADYREGISTERED);
    EXPECT_NE(first, again);
    EXPECT_GE(second.Refs(), 1u);
    CInterfacePtr<IUnknown> found;
    ASSERT_EQ(m_table->Revoke(first), S_OK);
    EXPECT_EQ(Lookup(OLESTR(""), OLESTR("Twice"), found), S_OK) << "the second entry still stands";
    EXPECT_EQ(found.Get(), &second);
    found.Reset();
    ASSERT_EQ(m_table->Revoke(again), S_OK);
    EXPECT_EQ(Lookup(OLESTR(""), OLESTR("Twice"), found), MK_E_UNAVAILABLE);
    EXPECT_EQ(second.Refs(), 0u);
}

TEST_F(RunningObjectTableTest, UnknownCookieIsInvalidArgument) {
    EXPECT_EQ(m_table->Revoke(0), E_INVALIDARG);
    const DWORD cookie = Register(&m_object, OLESTR("Once"));
    ASSERT_EQ(m_table->Revoke(cookie), S_OK);
    EXPECT_EQ(m_table->Revoke(cookie), E_INVALIDARG) << "a cookie is good for one Revoke";
}

TEST_F(RunningObjectTableTest, BadRegistrationArgumentsAreRefusedWithCookieZero) {
    auto moniker = Item(OLESTR(""), OLESTR("Refused"));
    // Windows clears the cookie of a refused registration; Wine leaves it as it was.
    const bool clearsCookie = !norn::test::UnderWine();
    DWORD cookie = 99;
    EXPECT_EQ(m_table->Register(0x4, &m_object, moniker.Get(), &cookie), E_INVALIDARG);
    if (clearsCookie) {
        EXPECT_EQ(cookie, 0u);
    }
    cookie = 99;
    EXPECT_EQ(m_table->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, nullptr, moniker.Get(), &cookie),
              E_INVALIDARG);
    if (clearsCookie) {
        EXPECT_EQ(cookie, 0u);
    }
    EXPECT_EQ(m_table->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, &m_object, nullptr, &cookie),
              E_INVALIDARG);
    EXPECT_EQ(m_object.Refs(), 0u) << "a refused registration takes no reference";
}

TEST_F(RunningObjectTableTest, ConcurrentRegistrationsAndLookupsStayBalanced) {
    if (norn::test::UnderWine()) {
        GTEST_SKIP() << "Wine's table, kept in a service process, sporadically still holds a "
                        "revoked name under this load (MK_S_MONIKERALREADYREGISTERED)";
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            norn::CComApartment apartment;
            CInterfacePtr<IRunningObjectTable> table;
            ASSERT_EQ(GetRunningObjectTable(0, table.Put()), S_OK);
            const OleString name = OLESTR("Worker") + OleString(1, OLESTR('A') + t);
            for (int i = 0; i < 500; ++i) {
                DWORD cookie = 0;
                auto moniker = Item(OLESTR(""), name.c_str());
                ASSERT_EQ(table->Register(1, &m_object, moniker.Get(), &cookie), S_OK);
                CInterfacePtr<IUnknown> found;
                ASSERT_EQ(table->GetObject(moniker.Get(), found.Put()), S_OK);
                found.Reset();
                ASSERT_EQ(table->Revoke(cookie), S_OK);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(m_object.Refs(), 0u);
}

TEST_F(RunningObjectTableTest, ReservedValueIsUnexpected) {
    CInterfacePtr<IRunningObjectTable> other;
    EXPECT_EQ(GetRunningObjectTable(1, other.Put()), E_UNEXPECTED);
}

// The table as a thread that never joined COM gets it.
HRESULT TableOnAThreadWithoutCom() {
    HRESULT hr = S_OK;
    std::thread([&] {
        IRunningObjectTable* table = nullptr;
        hr = GetRunningObjectTable(0, &table);
        if (SUCCEEDED(hr)) table->Release();
    }).join();
    return hr;
}

// Such a thread belongs to the multithreaded apartment while the process has one; otherwise it
// cannot use COM.
TEST(ComWithoutJoining, WorksOnlyWhileTheProcessHasAMultithreadedApartment) {
    EXPECT_EQ(TableOnAThreadWithoutCom(), CO_E_NOTINITIALIZED);
    {
        norn::CComApartment singleThreaded(COINIT_APARTMENTTHREADED);
        ASSERT_EQ(singleThreaded.Result(), S_OK);
        EXPECT_EQ(TableOnAThreadWithoutCom(), CO_E_NOTINITIALIZED) << "an STA lends nothing";
    }
    {
        norn::CComApartment multithreaded;
        ASSERT_EQ(multithreaded.Result(), S_OK);
        EXPECT_EQ(TableOnAThreadWithoutCom(), S_OK);
    }
    EXPECT_EQ(TableOnAThreadWithoutCom(), CO_E_NOTINITIALIZED) << "the apartment has gone";
}

TEST(CreateItemMoniker, DisplayNameIsDelimiterThenItem) {
    auto moniker = Item(OLESTR("!"), OLESTR("Brightwork"));
    LPOLESTR name = nullptr;
    ASSERT_EQ(moniker->GetDisplayName(nullptr, nullptr, &name), S_OK);
    EXPECT_EQ(OleString(name), OLESTR("!Brightwork"));
    CoTaskMemFree(name);
    DWORD system = 0;
    EXPECT_EQ(moniker->IsSystemMoniker(&system), S_OK);
    EXPECT_EQ(system, static_cast<DWORD>(MKSYS_ITEMMONIKER));
    EXPECT_EQ(moniker->IsEqual(Item(OLESTR("!"), OLESTR("BRIGHTWORK")).Get()), S_OK);
    EXPECT_EQ(moniker->IsEqual(Item(OLESTR("#"), OLESTR("brightwork")).Get()), S_OK)
        << "IsEqual compares the items only";
    EXPECT_EQ(moniker->IsEqual(Item(OLESTR(""), OLESTR("!Brightwork")).Get()), S_FALSE)
        << "the same display name is not the same item";
    EXPECT_EQ(moniker->IsEqual(Item(OLESTR("!"), OLESTR("Other")).Get()), S_FALSE);
    void* self = nullptr;
    ASSERT_EQ(moniker->QueryInterface(kItemMonikerClass, &self), S_OK) << "the class as interface";
    EXPECT_EQ(self, static_cast<void*>(moniker.Get()));
    moniker->Release();
}

// The hash goes with IsEqual: the item alone, whatever its case or delimiter.
TEST(CreateItemMoniker, HashIsOfTheItemAloneIgnoringCase) {
    const std::tuple<const OLECHAR*, const OLECHAR*, DWORD> cases[] = {
        {OLESTR("!"), OLESTR("Test"), 0x73c}, {OLESTR("%"), OLESTR("TEST"), 0x73c},
        {OLESTR("!"), OLESTR("T"), 0x54},     {OLESTR("&"), OLESTR("A"), 0x41},
        {OLESTR("!"), OLESTR("a"), 0x41},
    };
    for (const auto& [delimiter, item, expected] : cases) {
        DWORD hash = 0;
        EXPECT_EQ(Item(delimiter, item)->Hash(&hash), S_OK);
        EXPECT_EQ(hash, expected) << std::hex << expected;
    }
}

// The table's key: the class ID, the delimiter and item upper-cased, and a zero character.
TEST(CreateItemMoniker, ComparisonDataIsClassThenUpperCasedNameAndTerminator) {
    auto data = Item(OLESTR("!"), OLESTR("Test")).Query<IROTData>();
    ASSERT_TRUE(data);
    BYTE bytes[64] = {};
    ULONG size = 0;
    ASSERT_EQ(data->GetComparisonData(bytes, sizeof(bytes), &size), S_OK);
    const OLECHAR name[] = OLESTR("!TEST");
    std::string expected(reinterpret_cast<const char*>(&kItemMonikerClass), sizeof(CLSID));
    expected.append(reinterpret_cast<const char*>(name), sizeof(name));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), size), expected);
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
