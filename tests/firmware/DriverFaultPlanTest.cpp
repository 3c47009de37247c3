// The driver simulator's fault plan: which call a fault hits and what it does to that call.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "norn/InterfacePtr.h"
#include "norn/firmware/MeasurementDriverSimulator.h"

using norn::CInterfacePtr;
using norn::firmware::CDriverFault;
using norn::firmware::CMeasurementDriverSimulator;
namespace eeprom = norn::eeprom;

namespace {

constexpr LONG kUntouched = 0x5A5A;

class DriverFaultPlanTest : public ::testing::Test {
protected:
    void SetUp() override {
        CInterfacePtr<IUnknown> unknown = CInterfacePtr<IUnknown>::Share(m_driver.Unknown());
        m_block = unknown.Query<IEEPROMBlock>();
        m_control = unknown.Query<IEEPROMControl>();
        ASSERT_TRUE(m_block && m_control);
        m_image = m_driver.CommittedImage(eeprom::kMacAddressBlock);
        m_image[8] = 0x42;
    }

    HRESULT Write(LONG* status) {
        BYTE* data = m_image.data();
        *status = kUntouched;
        return m_block->WriteBlock(0, eeprom::kMacAddressBlock, 1, 24, data, &data, status);
    }
    HRESULT Commit(LONG* status) {
        *status = kUntouched;
        return m_control->SetEEPROMMode(2, 1, status);
    }
    HRESULT Read(LONG block, LONG* count, BYTE** buffer, LONG* status) {
        *status = kUntouched;
        return m_block->ReadBlock(0, block, count, buffer, status);
    }

    CMeasurementDriverSimulator m_driver;
    CInterfacePtr<IEEPROMBlock> m_block;
    CInterfacePtr<IEEPROMControl> m_control;
    std::vector<BYTE> m_image;
};

TEST_F(DriverFaultPlanTest, FailureHitsOnlyTheNthCallAndHasNoEffect) {
    LONG status = 0;
    ASSERT_EQ(Commit(&status), S_OK);  // calls before the fault was added do not count
    m_driver.AddFault(CDriverFault::Failure("SetEEPROMMode", 2, E_ACCESSDENIED));
    EXPECT_EQ(Commit(&status), S_OK);
    ASSERT_EQ(Write(&status), S_OK);

    EXPECT_EQ(Commit(&status), E_ACCESSDENIED);
    EXPECT_EQ(status, kUntouched);
    EXPECT_TRUE(m_driver.HasPendingWrites()) << "a failed commit commits nothing";
    EXPECT_EQ(m_driver.CommitCount(), 2);
    const auto journal = m_driver.Journal();
    EXPECT_EQ(journal.back().hresult, E_ACCESSDENIED);
    EXPECT_FALSE(journal.back().status.has_value());

    EXPECT_EQ(Commit(&status), S_OK);
    EXPECT_EQ(m_driver.CommittedImage(eeprom::kMacAddressBlock), m_image);
    EXPECT_EQ(m_driver.CommitCount(), 3);
}

TEST_F(DriverFaultPlanTest, EveryCallFaultsLeaveTheModelAlone) {
    const std::vector<BYTE> before = m_driver.CurrentImage(eeprom::kMacAddressBlock);
    m_driver.AddFault(CDriverFault::Status("WriteBlock", 0, 7));
    m_driver.AddFault(CDriverFault::Failure("ReadBlock", 0, E_OUTOFMEMORY));
    for (int i = 0; i < 3; ++i) {
        LONG status = 0, count = 0;
        BYTE* buffer = nullptr;
        EXPECT_EQ(Write(&status), S_OK);
        EXPECT_EQ(status, 7);
        EXPECT_EQ(Read(eeprom::kMacAddressBlock, &count, &buffer, &status), E_OUTOFMEMORY);
        EXPECT_EQ(status, kUntouched);
        EXPECT_EQ(buffer, nullptr);
    }
    EXPECT_EQ(m_driver.CurrentImage(eeprom::kMacAddressBlock), before);
    EXPECT_EQ(m_driver.Journal().back().hresult, E_OUTOFMEMORY);
    EXPECT_EQ(m_driver.Journal()[4].status, 7);

    m_driver.ClearFaults();
    LONG status = 0;
    EXPECT_EQ(Write(&status), S_OK);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(m_driver.HasPendingWrites());
}

TEST_F(DriverFaultPlanTest, ReadBlockFaultsShapeWhatIsHandedOut) {
    struct Case {
        std::vector<CDriverFault> faults;
        LONG status;
        LONG count;
        bool nullBuffer;
    } cases[] = {
        {{CDriverFault::Status("ReadBlock", 1, 9)}, 9, 1360, false},
        {{CDriverFault::WrongByteCount(1, 4000)}, 0, 4000, false},
        {{CDriverFault::WrongByteCount(1, 100), CDriverFault::Status("ReadBlock", 1, 3)},
         3,
         100,
         false},
        {{CDriverFault::NullBuffer(1)}, 0, 1360, true},
    };
    const std::vector<BYTE> image = m_driver.CommittedImage(eeprom::kDeviceDataSetBlock);
    for (const Case& c : cases) {
        m_driver.ClearFaults();
        for (const CDriverFault& fault : c.faults) m_driver.AddFault(fault);
        LONG count = 0, status = 0;
        BYTE* buffer = nullptr;
        ASSERT_EQ(Read(eeprom::kDeviceDataSetBlock, &count, &buffer, &status), S_OK);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(count, c.count);
        ASSERT_EQ(buffer == nullptr, c.nullBuffer);
        if (buffer == nullptr) continue;
        // Reading all `count` bytes must stay inside the allocation (ASan checks).
        const std::vector<BYTE> seen(buffer, buffer + count);
        for (LONG i = 0; i < count; ++i) {
            ASSERT_EQ(seen[i], i < 1360 ? image[i] : 0xA5) << "byte " << i;
        }
    }
}

TEST(DriverFaultPlan, ImpossibleFaultsAreRefused) {
    CMeasurementDriverSimulator driver;
    CDriverFault wrongSizeOnWrite = CDriverFault::WrongByteCount(1, 10);
    wrongSizeOnWrite.method = "WriteBlock";
    const CDriverFault refused[] = {
        CDriverFault::Failure("ReadBlok", 1, E_FAIL),
        CDriverFault::Failure("ReadBlock", 1, S_FALSE), CDriverFault::Status("WriteValue", 1, 0),
        CDriverFault::Failure("ReadBlock", -1, E_FAIL), wrongSizeOnWrite};
    for (const CDriverFault& fault : refused) {
        EXPECT_THROW(driver.AddFault(fault), std::invalid_argument) << fault.method;
    }
}

}  // namespace
