// CRotRegistration: the name it registers under, its lifetime, and its references.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "norn/ComApartment.h"
#include "norn/FirmwareNames.h"
#include "norn/InterfacePtr.h"
#include "norn/firmware/MeasurementDriverSimulator.h"
#include "norn/firmware/RotRegistration.h"

using norn::CInterfacePtr;
using norn::firmware::CMeasurementDriverSimulator;
using norn::firmware::CRotRegistration;

namespace {

std::u16string Prefixed(DWORD processId, const std::u16string& name) {
    std::u16string item;
    for (char digit : std::to_string(processId)) item += static_cast<char16_t>(digit);
    return item + name;
}

// Looks the item up the way the module does: an item moniker behind the empty delimiter.
HRESULT Lookup(const std::u16string& item, CInterfacePtr<IUnknown>& found) {
    CInterfacePtr<IRunningObjectTable> table;
    CInterfacePtr<IMoniker> moniker;
    HRESULT hr = GetRunningObjectTable(0, table.Put());
    if (SUCCEEDED(hr)) hr = CreateItemMoniker(u"", item.c_str(), moniker.Put());
    if (SUCCEEDED(hr)) hr = table->GetObject(moniker.Get(), found.Put());
    return hr;
}

class RotRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(m_apartment.Result())); }

    norn::CComApartment m_apartment;
    CMeasurementDriverSimulator m_driver;
};

TEST_F(RotRegistrationTest, RegistersBehindTheProcessIdUntilDestroyed) {
    const std::u16string item = Prefixed(GetCurrentProcessId(), norn::names::kMeasurementDriver);
    {
        CRotRegistration registration(m_driver.Unknown(), norn::names::kMeasurementDriver);
        ASSERT_TRUE(registration.Succeeded());
        EXPECT_EQ(registration.ItemName(), item);
        EXPECT_EQ(m_driver.Refs(), 1u) << "the table's reference";
        CInterfacePtr<IUnknown> found;
        ASSERT_EQ(Lookup(item, found), S_OK);
        EXPECT_EQ(found.Get(), m_driver.Unknown());
        EXPECT_EQ(Lookup(norn::names::kMeasurementDriver, found), MK_E_UNAVAILABLE);
    }
    EXPECT_EQ(m_driver.Refs(), 0u);
    CInterfacePtr<IUnknown> found;
    EXPECT_EQ(Lookup(item, found), MK_E_UNAVAILABLE);
}

TEST_F(RotRegistrationTest, ExplicitProcessIdAndMoveKeepOneRegistration) {
    CRotRegistration moved(m_driver.Unknown(), norn::names::kErrorManager, 4711);
    CRotRegistration registration(std::move(moved));
    EXPECT_FALSE(moved.Succeeded());
    {
        CRotRegistration temporary = std::move(moved);  // holds nothing, revokes nothing
    }
    CInterfacePtr<IUnknown> found;
    EXPECT_EQ(Lookup(u"4711ErrorManager", found), S_OK);
    found.Reset();
    EXPECT_EQ(m_driver.Refs(), 1u);

    registration = CRotRegistration(m_driver.Unknown(), norn::names::kErrorManager, 4712);
    EXPECT_EQ(Lookup(u"4711ErrorManager", found), MK_E_UNAVAILABLE) << "replaced one is revoked";
    EXPECT_EQ(Lookup(u"4712ErrorManager", found), S_OK);
    found.Reset();
    EXPECT_EQ(m_driver.Refs(), 1u);
}

TEST(RotRegistrationWithoutCom, FailsAndHoldsNothing) {
    CMeasurementDriverSimulator driver;
    HRESULT result = S_OK;
    bool succeeded = true;
    std::thread([&] {
        CRotRegistration registration(driver.Unknown(), norn::names::kMeasurementDriver);
        result = registration.Result();
        succeeded = registration.Succeeded();
    }).join();
    EXPECT_EQ(result, CO_E_NOTINITIALIZED);
    EXPECT_FALSE(succeeded);
    EXPECT_EQ(driver.Refs(), 0u);
}

}  // namespace
