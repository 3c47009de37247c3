// GetIfPointer: the measurement driver found behind the process prefix, or null after one report.
#include <gtest/gtest.h>

#include <norn/firmware/MeasurementDriverSimulator.h>
#include <norn/firmware/RotRegistration.h>

#include "driver/DriverAccess.h"
#include "norn/ComApartment.h"
#include "support/ApiUnderTest.h"
#include "support/CountingObjects.h"
#include "support/LogCapture.h"

using norn::CInterfacePtr;
using norn::firmware::CMeasurementDriverSimulator;
using norn::firmware::CRotRegistration;
using norn::test::CCountingObject;
using norn::test::CLogCapture;
using norn::test::FailPlatformAllocation;

namespace {

class GetIfPointerTest : public ::testing::Test {
protected:
    CLogCapture m_diagnostics = CLogCapture::Diagnostics();
    CLogCapture m_events = CLogCapture::EventLog();
    norn::CComApartment m_apartment;
};

TEST_F(GetIfPointerTest, NoDriverGivesNullAfterTheLookupsOneReport) {
    EXPECT_EQ(GetIfPointer(), nullptr);
    const auto reports = m_diagnostics.Fields();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0][1], "212");
    if (m_events.Readable()) {
        EXPECT_TRUE(m_events.Lines().empty()) << "nothing reaches the error manager or event log";
    }
}

TEST_F(GetIfPointerTest, RegisteredDriverComesBackAsAReferenceOfTheCallers) {
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
    EXPECT_TRUE(m_diagnostics.Lines().empty());
}

TEST_F(GetIfPointerTest, ObjectWithoutTheInterfaceGivesAnEmptyInterface) {
    CCountingObject plain;
    CRotRegistration registration(&plain, OLESTR("TarvoMeasDriver"));
    ASSERT_TRUE(registration.Succeeded());
    const ULONG tableRefs = plain.Refs();
    EXPECT_FALSE(GetDriverInterface<IEEPROMBlock>());
    EXPECT_EQ(plain.Refs(), tableRefs) << "only the table's references are left";
}

TEST_F(GetIfPointerTest, FailedAllocationGivesNullWithoutAnyReport) {
    NORN_LINUX_LAYER_ONLY("fails the name's allocation on demand");
    CMeasurementDriverSimulator driver;
    CRotRegistration registration(driver.Unknown(), OLESTR("TarvoMeasDriver"));
    FailPlatformAllocation(1);
    EXPECT_EQ(GetIfPointer(), nullptr);
    FailPlatformAllocation(0);
    EXPECT_TRUE(m_diagnostics.Lines().empty());
    EXPECT_TRUE(m_events.Lines().empty());
}

}  // namespace
