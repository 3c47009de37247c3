// The Running Object Table's codes, reference counting and name matching, as on Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "norn/ComApartment.h"
#include "norn/InterfacePtr.h"
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

class RunningObjectTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(m_apartment.Result(), S_OK);
        ASSERT_EQ(GetRunningObjectTable(0, m_table.Put()), S_OK);
    }

    DWORD Register(IUnknown* object, const OLECHAR* item, HRESULT expected = S_OK) {
        DWORD cookie = 0;
        EXPECT_EQ(m_table->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, object, Item(u"", item).Get(),
                                    &cookie),
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
    EXPECT_EQ(m_table->GetObject(Item(u"", u"NobodyHere").Get(), &found), MK_E_UNAVAILABLE);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(m_table->IsRunning(Item(u"", u"NobodyHere").Get()), S_FALSE);
}

TEST_F(RunningObjectTableTest, NullOutPointerIsPointerError) {
    EXPECT_EQ(m_table->GetObject(Item(u"", u"x").Get(), nullptr), E_POINTER);
}

TEST_F(RunningObjectTableTest, ReferenceCountsBalanceOverRegisterLookupRevoke) {
    const DWORD cookie = Register(&m_object, u"4711TarvoMeasDriver");
    EXPECT_EQ(m_object.Refs(), 1u) << "the table holds one reference";
    {
        CInterfacePtr<IUnknown> found;
        ASSERT_EQ(Lookup(u"", u"4711TarvoMeasDriver", found), S_OK);
        EXPECT_EQ(found.Get(), &m_object);
        EXPECT_EQ(m_object.Refs(), 2u) << "a lookup hands out a new reference";
    }
    EXPECT_EQ(m_object.Refs(), 1u);
    EXPECT_EQ(m_table->IsRunning(Item(u"", u"4711TarvoMeasDriver").Get()), S_OK);
    EXPECT_EQ(m_table->Revoke(cookie), S_OK);
    EXPECT_EQ(m_object.Refs(), 0u);
    CInterfacePtr<IUnknown> found;
    EXPECT_EQ(Lookup(u"", u"4711TarvoMeasDriver", found), MK_E_UNAVAILABLE);
}

TEST_F(RunningObjectTableTest, ItemMatchesWhateverItsCaseButOnlyBehindTheSameDelimiter) {
    const DWORD cookie = Register(&m_object, u"4711ErrorManager");
    CInterfacePtr<IUnknown> found;
    EXPECT_EQ(Lookup(u"", u"4711ERRORMANAGER", found), S_OK);
    EXPECT_EQ(Lookup(u"", u"4711errormanager", found), S_OK);
    EXPECT_EQ(Lookup(u"!", u"4711ErrorManager", found), MK_E_UNAVAILABLE);
    EXPECT_EQ(Lookup(u"", u"4712ErrorManager", found), MK_E_UNAVAILABLE);
    EXPECT_EQ(m_table->Revoke(cookie), S_OK);
}

TEST_F(RunningObjectTableTest, NullOrEmptyDelimiterGivesTheSameName) {
    const DWORD cookie = Register(&m_object, u"Bare");
    CInterfacePtr<IUnknown> found;
    EXPECT_EQ(Lookup(nullptr, u"Bare", found), S_OK);
    EXPECT_EQ(m_table->Revoke(cookie), S_OK);
}

TEST_F(RunningObjectTableTest, SecondRegistrationOfANameSucceedsAndNeedsItsOwnRevoke) {
    CCountingObject second;
    const DWORD first = Register(&m_object, u"Twice");
    const DWORD again = Register(&second, u"Twice", MK_S_MONIKERALREADYREGISTERED);
    EXPECT_NE(first, again);
    EXPECT_EQ(second.Refs(), 1u);
    CInterfacePtr<IUnknown> found;
    ASSERT_EQ(m_table->Revoke(first), S_OK);
    EXPECT_EQ(Lookup(u"", u"Twice", found), S_OK) << "the second entry still stands";
    EXPECT_EQ(found.Get(), &second);
    found.Reset();
    ASSERT_EQ(m_table->Revoke(again), S_OK);
    EXPECT_EQ(Lookup(u"", u"Twice", found), MK_E_UNAVAILABLE);
    EXPECT_EQ(second.Refs(), 0u);
}

TEST_F(RunningObjectTableTest, UnknownCookieIsInvalidArgument) {
    EXPECT_EQ(m_table->Revoke(0), E_INVALIDARG);
    const DWORD cookie = Register(&m_object, u"Once");
    ASSERT_EQ(m_table->Revoke(cookie), S_OK);
    EXPECT_EQ(m_table->Revoke(cookie), E_INVALIDARG) << "a cookie is good for one Revoke";
}

TEST_F(RunningObjectTableTest, BadRegistrationArgumentsAreRefusedWithCookieZero) {
    auto moniker = Item(u"", u"Refused");
    DWORD cookie = 99;
    EXPECT_EQ(m_table->Register(0x4, &m_object, moniker.Get(), &cookie), E_INVALIDARG);
    EXPECT_EQ(cookie, 0u);
    cookie = 99;
    EXPECT_EQ(m_table->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, nullptr, moniker.Get(), &cookie),
              E_INVALIDARG);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(m_table->Register(ROTFLAGS_REGISTRATIONKEEPSALIVE, &m_object, nullptr, &cookie),
              E_INVALIDARG);
    EXPECT_EQ(m_object.Refs(), 0u) << "a refused registration takes no reference";
}

TEST_F(RunningObjectTableTest, ConcurrentRegistrationsAndLookupsStayBalanced) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            norn::CComApartment apartment;
            CInterfacePtr<IRunningObjectTable> table;
            ASSERT_EQ(GetRunningObjectTable(0, table.Put()), S_OK);
            const std::u16string name = u"Worker" + std::u16string(1, u'A' + t);
            for (int i = 0; i < 500; ++i) {
                DWORD cookie = 0;
                auto moniker = Item(u"", name.c_str());
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

TEST_F(RunningObjectTableTest, TableCallsWithoutComFail) {
    IRunningObjectTable* table = reinterpret_cast<IRunningObjectTable*>(0x1);
    HRESULT hr = S_OK;
    std::thread([&] { hr = GetRunningObjectTable(0, &table); }).join();
    EXPECT_EQ(hr, CO_E_NOTINITIALIZED);
    EXPECT_EQ(table, nullptr);
    CInterfacePtr<IRunningObjectTable> other;
    EXPECT_EQ(GetRunningObjectTable(1, other.Put()), E_UNEXPECTED);
}

TEST(CreateItemMoniker, DisplayNameIsDelimiterThenItem) {
    auto moniker = Item(u"!", u"Brightwork");
    LPOLESTR name = nullptr;
    ASSERT_EQ(moniker->GetDisplayName(nullptr, nullptr, &name), S_OK);
    EXPECT_EQ(std::u16string(name), u"!Brightwork");
    CoTaskMemFree(name);
    DWORD system = 0;
    EXPECT_EQ(moniker->IsSystemMoniker(&system), S_OK);
    EXPECT_EQ(system, static_cast<DWORD>(MKSYS_ITEMMONIKER));
    EXPECT_EQ(moniker->IsEqual(Item(u"!", u"BRIGHTWORK").Get()), S_OK);
    EXPECT_EQ(moniker->IsEqual(Item(u"", u"!Brightwork").Get()), S_OK)
        << "the same comparison data is the same name";
    EXPECT_EQ(moniker->IsEqual(Item(u"!", u"Other").Get()), S_FALSE);
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
