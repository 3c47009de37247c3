// GetIfPointer: the measurement driver found behind the process prefix in the Running Object
// Table (the real one in the Windows parity build), handed out as a reference of the caller's,
// and its interfaces as owners that hold only their own references. (A missing driver or
// interface is a case of the reliability suite's conformance table.)
#include <gtest/gtest.h>

#include <norn/firmware/MeasurementDriverSimulator.h>
#include <norn/firmware/RotRegistration.h>

#include "driver/DriverAccess.h"
#include "norn/ComApartment.h"
#include "support/LogCapture.h"

using norn::CInterfacePtr;
using norn::firmware::CMeasurementDriverSimulator;
using norn::firmware::CRotRegistration;

namespace {

TEST(GetIfPointerTest, RegisteredDriverComesBackAsAReferenceOfTheCallers) {
    const auto diagnostics = norn::test::CLogCapture::Diagnostics();
    norn::CComApartment apartment;
    CMeasurementDriverSimulator driver;
    {
        CRotRegistration registration(driver.Unknown(), OLESTR("TarvoMeasDriver"));
        ASSERT_TRUE(registration.Succeeded());
        const ULONG baseline = driver.Refs();
        auto object = CInterfacePtr<IUnknown>::Attach(GetIfPointer());
        EXPECT_EQ(object.Get(), driver.Unknown());
        EXPECT_EQ(driver.Refs(), baseline + 1);
        object.Reset();
        EXPECT_EQ(driver.Refs(), baseline);
        {
            auto block = GetDriverInterface<IEEPROMBlock>();
            auto control = GetDriverInterface<IEEPROMControl>();
            auto values = GetDriverInterface<IDriverValue>();
            EXPECT_TRUE(block && control && values);
            EXPECT_EQ(driver.Refs(), baseline + 3) << "the object itself is released at once";
        }
        EXPECT_EQ(driver.Refs(), baseline);
    }
    EXPECT_EQ(driver.Refs(), 0u);
    EXPECT_TRUE(diagnostics.Lines().empty());
}

}  // namespace
