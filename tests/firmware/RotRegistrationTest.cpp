// CRotRegistration: the name it registers under, its lifetime, and its references.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "norn/ComApartment.h"
#include "norn/FirmwareNames.h"
#include "norn/InterfacePtr.h"
#include "norn/firmware/MeasurementDriverSimulator.h"
#include "norn/firmware/RotRegistration.h"
#include "support/ApiUnderTest.h"

using norn::CInterfacePtr;
using norn::firmware::CMeasurementDriverSimulator;
using norn::firmware::CRotRegistration;
using norn::test::OleString;
using norn::test::OleText;

namespace {

// Looks the item up the way the module does (an item moniker behind the empty delimiter) and gives
// the address of what it found, its reference already released, or null for MK_E_UNAVAILABLE.
IUnknown* Lookup(const OleString& item) {
    CInterfacePtr<IRunningObjectTable> table;
    CInterfacePtr<IMoniker> moniker;
    CInterfacePtr<IUnknown> found;
    EXPECT_EQ(GetRunningObjectTable(0, table.Put()), S_OK);
    EXPECT_EQ(CreateItemMoniker(OLESTR(""), item.c_str(), moniker.Put()), S_OK);
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
    const OleString item =
        OleText(std::to_string(GetCurrentProcessId())) + norn::names::kMeasurementDriver;
    {
        CRotRegistration registration(m_driver.Unknown(), norn::names::kMeasurementDriver);
        ASSERT_TRUE(registration.Succeeded());
        EXPECT_EQ(registration.ItemName(), item);
        norn::test::ExpectTableReferences(m_driver.Refs());
        EXPECT_EQ(Lookup(item), m_driver.Unknown());
        EXPECT_EQ(Lookup(norn::names::kMeasurementDriver), nullptr);
    }
    EXPECT_EQ(m_driver.Refs(), 0u);
    EXPECT_EQ(Lookup(item), nullptr);
}

TEST_F(RotRegistrationTest, ExplicitProcessIdAndMoveKeepOneRegistration) {
    CRotRegistration moved(m_driver.Unknown(), norn::names::kErrorManager, 4711);
    const ULONG oneRegistration = m_driver.Refs();
    norn::test::ExpectTableReferences(oneRegistration);
    CRotRegistration registration(std::move(moved));
    EXPECT_FALSE(moved.Succeeded());
    {
        CRotRegistration temporary = std::move(moved);  // holds nothing, revokes nothing
    }
    EXPECT_EQ(Lookup(OLESTR("4711ErrorManager")), m_driver.Unknown());
    EXPECT_EQ(m_driver.Refs(), oneRegistration);
    registration = CRotRegistration(m_driver.Unknown(), norn::names::kErrorManager, 4712);
    EXPECT_EQ(Lookup(OLESTR("4711ErrorManager")), nullptr) << "the replaced one is revoked";
    EXPECT_EQ(Lookup(OLESTR("4712ErrorManager")), m_driver.Unknown());
    EXPECT_EQ(m_driver.Refs(), oneRegistration);
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
