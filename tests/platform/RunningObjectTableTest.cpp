// The Running Object Table's codes, reference counting and name matching, as on Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "norn/ComApartment.h"
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
