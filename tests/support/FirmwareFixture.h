// CFirmwareFixture: the firmware around the module, as a test sets it up. The thread has joined
// COM, the measurement driver and error manager simulators are registered behind this process's
// prefix, and diagnostics lines are captured. At the end no reference on either simulator may be
// left.
#pragma once

#include <gtest/gtest.h>

#include <norn/firmware/ErrorManagerSimulator.h>
#include <norn/firmware/MeasurementDriverSimulator.h>
#include <norn/firmware/RotRegistration.h>

#include <memory>
#include <string>

#include "norn/ComApartment.h"
#include "support/LogCapture.h"

namespace norn::test {

class CFirmwareFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(m_apartment.Result(), S_OK);
        ASSERT_TRUE(m_driverRegistration->Succeeded());
        ASSERT_TRUE(m_managerRegistration->Succeeded());
        m_driverTableRefs = m_driver.Refs();
    }
    void TearDown() override {
        m_driverRegistration.reset();
        m_managerRegistration.reset();
        EXPECT_EQ(m_driver.Refs(), 0u) << "a driver reference was kept";
        EXPECT_EQ(m_manager.Refs(), 0u) << "an error manager reference was kept";
    }

    // Takes a simulator out of the Running Object Table for the rest of the test.
    void UnregisterDriver() { m_driverRegistration.reset(); }
    void UnregisterErrorManager() { m_managerRegistration.reset(); }

    CLogCapture m_diagnostics = CLogCapture::Diagnostics();
    CComApartment m_apartment;
    ULONG m_driverTableRefs = 0;  // what the Running Object Table holds on the driver
    firmware::CMeasurementDriverSimulator m_driver;
    firmware::CErrorManagerSimulator m_manager;
    std::unique_ptr<firmware::CRotRegistration> m_driverRegistration =
        std::make_unique<firmware::CRotRegistration>(m_driver.Unknown(), OLESTR("TarvoMeasDriver"));
    std::unique_ptr<firmware::CRotRegistration> m_managerRegistration =
        std::make_unique<firmware::CRotRegistration>(&m_manager, OLESTR("ErrorManager"));
};

}  // namespace norn::test
