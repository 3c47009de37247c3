// The Running Object Table's codes, reference counting and name matching, and the item monikers
// it keys on, as on Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <iterator>
#include <utility>

#include "norn/ComApartment.h"
#include "norn/ComObject.h"
#include "norn/InterfacePtr.h"
#include "support/ApiUnderTest.h"
#include "support/CountingObjects.h"
#include "support/VtableSlot.h"

using norn::CInterfacePtr;
using norn::test::CCountingObject;

namespace {

CInterfacePtr<IMoniker> Item(const OLECHAR* delimiter, const OLECHAR* item) {
    CInterfacePtr<IMoniker> moniker;
    EXPECT_EQ(CreateItemMoniker(delimiter, item, moniker.Put()), S_OK);
    return moniker;
}

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
// one); it holds them until Revoke, and a lookup hands out exactly one more. A keep-alive
// registration is a strong external connection to the object until its Revoke, a plain one makes
// none. A name registered twice stands until both are revoked; a cookie is good for one Revoke.
TEST_F(RunningObjectTableTest, RegistrationsHoldTheirObjectUntilRevoked) {
    const auto name = Item(OLESTR(""), OLESTR("4711TarvoMeasDriver"));
    CConnectableObject kept, plain;
    const DWORD first = Register(&kept, OLESTR("4711TarvoMeasDriver"));
    EXPECT_EQ(kept.StrongConnections(), 1);
    const ULONG registered = kept.Refs();
    EXPECT_GE(registered, 1u) << "the table holds the object";
    CInterfacePtr<IUnknown> found;
    ASSERT_EQ(Lookup(name.Get(), found), S_OK);
    EXPECT_EQ(found.Get(), &kept);
    EXPECT_EQ(kept.Refs(), registered + 1) << "a lookup hands out a new reference";
    found.Reset();
    EXPECT_EQ(m_table->IsRunning(name.Get()), S_OK);

    const DWORD again =
        Register(&plain, OLESTR("4711TarvoMeasDriver"), MK_S_MONIKERALREADYREGISTERED, 0);
    EXPECT_EQ(plain.StrongConnections(), 0);
    EXPECT_NE(first, again);
    EXPECT_EQ(m_table->Revoke(first), S_OK);
    EXPECT_EQ(kept.Refs(), 0u);
    EXPECT_EQ(kept.StrongConnections(), 0);
    EXPECT_EQ(m_table->Revoke(first), E_INVALIDARG);
    ASSERT_EQ(Lookup(name.Get(), found), S_OK) << "the second registration still stands";
    EXPECT_EQ(found.Get(), &plain);
    found.Reset();
    EXPECT_EQ(m_table->Revoke(again), S_OK);
    EXPECT_EQ(plain.Refs(), 0u);
    EXPECT_EQ(Lookup(name.Get(), found), MK_E_UNAVAILABLE);
}

// A moniker's display name is its delimiter, then its item. An item is found whatever its case,
// but only behind the same delimiter (a null one is the empty one).
TEST_F(RunningObjectTableTest, NamesMatchByDelimiterAndItem) {
    for (const OLECHAR* delimiter :
         {OLESTR("!"), OLESTR(""), static_cast<const OLECHAR*>(nullptr)}) {
        LPOLESTR name = nullptr;
        ASSERT_EQ(Item(delimiter, OLESTR("Test"))->GetDisplayName(nullptr, nullptr, &name), S_OK);
        EXPECT_EQ(norn::test::OleString(name),
                  delimiter != nullptr && *delimiter ? OLESTR("!Test") : OLESTR("Test"));
        CoTaskMemFree(name);
    }
    const DWORD item = Register(&m_object, OLESTR("4711Analyzer"));
    const std::pair<CInterfacePtr<IMoniker>, HRESULT> lookups[] = {
        {Item(OLESTR(""), OLESTR("4711Analyzer")), S_OK},
        {Item(nullptr, OLESTR("4711ANALYZER")), S_OK},
        {Item(OLESTR(""), OLESTR("4711analyzer")), S_OK},
        {Item(OLESTR("!"), OLESTR("4711Analyzer")), MK_E_UNAVAILABLE},
        {Item(OLESTR(""), OLESTR("4712Analyzer")), MK_E_UNAVAILABLE},
    };
    for (size_t i = 0; i < std::size(lookups); ++i) {
        CInterfacePtr<IUnknown> found;
        EXPECT_EQ(Lookup(lookups[i].first.Get(), found), lookups[i].second) << i;
        EXPECT_EQ(found.Get(), lookups[i].second == S_OK ? &m_object : nullptr) << i;
    }
    EXPECT_EQ(m_table->Revoke(item), S_OK);
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
