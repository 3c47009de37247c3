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

// Looks the item up the way the module does (an item moniker behind the empty delimiter) and gives
// the address of what it found, its reference already released, or null for MK_E_UNAVAILABLE.
IUnknown* Lookup(const std::u16string& item) {
    CInterfacePtr<IRunningObjectTable> table;
    CInterfacePtr<IMoniker> moniker;
    CInterfacePtr<IUnknown> found;
    EXPECT_EQ(GetRunningObjectTable(0, table.Put()), S_OK);
    EXPECT_EQ(CreateItemMoniker(u"", item.c_str(), moniker.Put()), S_OK);
    if (!table || !moniker) return nullptr;
    const HRESULT hr = table->GetObject(moniker.Get(), found.Put());
    EXPECT_EQ(hr, found ? S_OK : MK_E_UNAVAILABLE);
    return found.Get();
}

class RotRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(m_apartment.Result())); }

    norn::CComApartment m_apartment;
    CMeasurementDriverSimulator m_driver;
};

TEST_F(RotRegistrationTest, RegistersBehindTheProcessIdUntilDestroyed) {
    const std::string pid = std::to_string(GetCurrentProcessId());
    const std::u16string item =
        std::u16string(pid.begin(), pid.end()) + norn::names::kMeasurementDriver;
    {
        CRotRegistration registration(m_driver.Unknown(), norn::names::kMeasurementDriver);
        ASSERT_TRUE(registration.Succeeded());
        EXPECT_EQ(registration.ItemName(), item);
        EXPECT_EQ(m_driver.Refs(), 1u) << "the table's reference";
        EXPECT_EQ(Lookup(item), m_driver.Unknown());
        EXPECT_EQ(Lookup(norn::names::kMeasurementDriver), nullptr);
    }
    EXPECT_EQ(m_driver.Refs(), 0u);
    EXPECT_EQ(Lookup(item), nullptr);
}

TEST_F(RotRegistrationTest, ExplicitProcessIdAndMoveKeepOneRegistration) {
    CRotRegistration moved(m_driver.Unknown(), norn::names::kErrorManager, 4711);
    CRotRegistration registration(std::move(moved));
    EXPECT_FALSE(moved.Succeeded());
    {
        CRotRegistration temporary = std::move(moved);  // holds nothing, revokes nothing
    }
    EXPECT_EQ(Lookup(u"4711ErrorManager"), m_driver.Unknown());
    EXPECT_EQ(m_driver.Refs(), 1u);
    registration = CRotRegistration(m_driver.Unknown(), norn::names::kErrorManager, 4712);
    EXPECT_EQ(Lookup(u"4711ErrorManager"), nullptr) << "the replaced one is revoked";
    EXPECT_EQ(Lookup(u"4712ErrorManager"), m_driver.Unknown());
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
