// CRotRegistration: the name it registers under, its lifetime, and its references.
#include <gtest/gtest.h>

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

// A registration behind an explicit process id stands until its value goes. A move hands it on
// and leaves nothing to revoke behind; an assignment revokes the registration it replaces.
// (Registering behind this process's id is what the firmware fixture of every module test does,
// checking at its end that no reference is left.)
TEST(RotRegistration, MoveKeepsOneRegistrationAndAssignmentRevokesTheReplacedOne) {
    const norn::CComApartment apartment;
    ASSERT_EQ(apartment.Result(), S_OK);
    CMeasurementDriverSimulator driver;
    {
        CRotRegistration moved(driver.Unknown(), norn::names::kErrorManager, 4711);
        EXPECT_EQ(moved.ItemName(), OLESTR("4711ErrorManager"));
        norn::test::ExpectTableReferences(driver.Refs());
        CRotRegistration registration(std::move(moved));
        EXPECT_FALSE(moved.Succeeded());
        {
            CRotRegistration temporary = std::move(moved);  // holds nothing, revokes nothing
        }
        EXPECT_EQ(Lookup(OLESTR("4711ErrorManager")), driver.Unknown());
        registration = CRotRegistration(driver.Unknown(), norn::names::kErrorManager, 4712);
        EXPECT_EQ(Lookup(OLESTR("4711ErrorManager")), nullptr) << "the replaced one is revoked";
        EXPECT_EQ(Lookup(OLESTR("4712ErrorManager")), driver.Unknown());
    }
    EXPECT_EQ(driver.Refs(), 0u);
    EXPECT_EQ(Lookup(OLESTR("4712ErrorManager")), nullptr);
}

}  // namespace
