// The measurement driver simulator: interface layout, instrument model, and the fault plan that
// decides which call a fault hits and what it does to that call. (Its QueryInterface and
// reference counting are CComObjectBase's, which ComObjectTest covers; the module's tests read its
// factory images through the module, and the host's restore test pins the journal's calls.)
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "norn/InterfacePtr.h"
#include "norn/firmware/MeasurementDriverSimulator.h"
#include "support/VtableSlot.h"

using norn::CInterfacePtr;
using norn::firmware::CDriverFault;
using norn::firmware::CMeasurementDriverSimulator;
using norn::test::VtableSlot;
namespace eeprom = norn::eeprom;
namespace driver_status = norn::firmware::driver_status;
using Bytes = std::vector<BYTE>;

namespace {

constexpr LONG kUntouched = 0x5A5A;
BYTE g_untouched;

TEST(DriverInterfaceLayout, MethodsSitInTheFirmwareSlots) {
    EXPECT_EQ(VtableSlot(&IEEPROMBlock::WriteBlock), 9);
    EXPECT_EQ(VtableSlot(&IEEPROMBlock::ReadBlock), 10);
    EXPECT_EQ(VtableSlot(&IEEPROMControl::SetEEPROMMode), 8);
    EXPECT_EQ(VtableSlot(&IEEPROMControl::PrepareRead), 9);
    EXPECT_EQ(VtableSlot(&IDriverValue::WriteValue), 7);
    EXPECT_EQ(VtableSlot(&IDriverValue::QueryValue), 8);
    EXPECT_EQ(VtableSlot(&IDriverValue::ReadValue), 9);
    EXPECT_EQ(norn::InterfaceId<IEEPROMBlock>::value.Data1, 0xB41F6C1Eu);
    EXPECT_EQ(norn::InterfaceId<IEEPROMControl>::value.Data1, 0x7C3961E1u);
    EXPECT_EQ(norn::InterfaceId<IDriverValue>::value.Data1, 0x1F72FA8Bu);
}

class DriverSimulator : public ::testing::Test {
protected:
    struct CRead {
        HRESULT hr = E_UNEXPECTED;
        LONG status = kUntouched, count = kUntouched;
        BYTE* buffer = &g_untouched;
        Bytes bytes;  // all `count` bytes handed out: ASan checks that they lie in the allocation
    };

    void SetUp() override {
        CInterfacePtr<IUnknown> unknown = CInterfacePtr<IUnknown>::Share(m_driver.Unknown());
        m_block = unknown.Query<IEEPROMBlock>();
        m_control = unknown.Query<IEEPROMControl>();
        m_values = unknown.Query<IDriverValue>();
        ASSERT_TRUE(m_block && m_control && m_values);
        m_image = m_driver.CommittedImage(eeprom::kMacAddressBlock);
        m_image[8] = 0x42;
    }
    CRead Read(LONG block) {
        CRead read;
        read.hr = m_block->ReadBlock(0, block, &read.count, &read.buffer, &read.status);
        if (read.buffer != nullptr && read.buffer != &g_untouched) {
            read.bytes.assign(read.buffer, read.buffer + read.count);
        }
        return read;
    }
    LONG Write(LONG block, Bytes image, HRESULT expected = S_OK) {
        LONG status = kUntouched;
        BYTE* data = image.data();
        const LONG count = static_cast<LONG>(image.size());
        EXPECT_EQ(m_block->WriteBlock(0, block, 1, count, data, &data, &status), expected);
        return status;
    }
    LONG Commit(HRESULT expected = S_OK, LONG mode = 2) {
        LONG status = kUntouched;
        EXPECT_EQ(m_control->SetEEPROMMode(mode, 1, &status), expected);
        return status;
    }

    CMeasurementDriverSimulator m_driver;
    CInterfacePtr<IEEPROMBlock> m_block;
    CInterfacePtr<IEEPROMControl> m_control;
    CInterfacePtr<IDriverValue> m_values;
    Bytes m_image;  // the factory MAC address block with one byte changed
};

TEST_F(DriverSimulator, WritesStayPendingUntilCommittedAndRefusedOnesStoreNothing) {
    EXPECT_EQ(Commit(S_OK, 0), 0) << "mode 0 commits nothing";
    EXPECT_EQ(Write(eeprom::kMacAddressBlock, m_image), 0);
    EXPECT_TRUE(m_driver.HasPendingWrites());
    EXPECT_EQ(Read(eeprom::kMacAddressBlock).bytes, m_image) << "a read sees the pending image";
    EXPECT_NE(m_driver.CommittedImage(eeprom::kMacAddressBlock), m_image);
    EXPECT_EQ(m_driver.CommitCount(), 0);
    EXPECT_EQ(Commit(), 0);
    EXPECT_EQ(m_driver.CommittedImage(eeprom::kMacAddressBlock), m_image);
    EXPECT_FALSE(m_driver.HasPendingWrites());

    EXPECT_EQ(Write(22003, Bytes(24, 0x11)), driver_status::kUnknownBlock);
    EXPECT_EQ(Write(eeprom::kMacAddressBlock, Bytes(23, 0x11)), driver_status::kWrongByteCount);
    EXPECT_EQ(Write(eeprom::kDeviceDataSetBlock, Bytes(24, 0x11)), driver_status::kWrongByteCount);
    EXPECT_FALSE(m_driver.HasPendingWrites());
    const CRead read = Read(22003);
    EXPECT_EQ(std::tie(read.hr, read.status, read.count, read.buffer),
              std::make_tuple(S_OK, driver_status::kUnknownBlock, 0, nullptr));
}

// QueryValue fills exactly `code` bytes, ReadValue a terminated text cut to its buffer size.
TEST_F(DriverSimulator, ValueCallsWriteExactlyTheirBytes) {
    BYTE text[] = "ABCDEFGH\0junk";
    LONG status = -1;
    ASSERT_EQ(m_values->WriteValue(16, 23, sizeof(text), text, &status), S_OK);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(m_driver.Value(16), "ABCDEFGH") << "stored up to the zero";
    const std::tuple<bool, LONG, LONG, std::string> cases[] = {
        {true, 4, 13, std::string("1234.5678.90\0", 13)},
        {true, 3, 4, "SN12"},
        {true, 3, 12, std::string("SN12345678\0\0", 12)},
        {false, 16, 200, std::string("ABCDEFGH\0", 9)},
        {false, 16, 5, std::string("ABCD\0", 5)},
        {false, 16, 1, {'\0'}}};
    for (const auto& [query, item, size, expected] : cases) {
        Bytes buffer(size + 8, 0xEE);
        status = -1;
        ASSERT_EQ(query ? m_values->QueryValue(item, size, buffer.data(), &status)
                        : m_values->ReadValue(item, 23, size, buffer.data(), &status),
                  S_OK);
        EXPECT_EQ(status, 0);
        const size_t used = expected.size();
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + used), expected);
        EXPECT_EQ(Bytes(buffer.begin() + used, buffer.end()), Bytes(buffer.size() - used, 0xEE))
            << "item " << item << " size " << size << " wrote past its bytes";
    }
    ASSERT_EQ(m_values->WriteValue(99, 23, sizeof(text), text, &status), S_OK);
    EXPECT_EQ(status, driver_status::kUnknownItem);
    EXPECT_EQ(m_driver.Value(99), std::nullopt);
}

// A failure returns its HRESULT and a status fault sets its status; neither changes the model.
// A fault hits the nth call after it was added and no other, or with nth 0 every call.
TEST_F(DriverSimulator, FailureAndStatusFaultsChangeNothing) {
    ASSERT_EQ(Commit(), 0);
    m_driver.AddFault(CDriverFault::Failure("SetEEPROMMode", 2, E_ACCESSDENIED));
    EXPECT_EQ(Commit(), 0);
    EXPECT_EQ(Write(eeprom::kMacAddressBlock, m_image), 0);
    m_driver.AddFault(CDriverFault::Status("WriteBlock", 0, 7));
    m_driver.AddFault(CDriverFault::Failure("ReadBlock", 0, E_OUTOFMEMORY));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Write(eeprom::kMacAddressBlock, Bytes(24, 0x11)), 7);
        const CRead read = Read(eeprom::kMacAddressBlock);
        EXPECT_EQ(std::tie(read.hr, read.status, read.buffer),
                  std::make_tuple(E_OUTOFMEMORY, kUntouched, &g_untouched));
    }
    EXPECT_EQ(m_driver.CurrentImage(eeprom::kMacAddressBlock), m_image);
    EXPECT_EQ(Commit(E_ACCESSDENIED), kUntouched);
    EXPECT_TRUE(m_driver.HasPendingWrites()) << "a failed commit commits nothing";
    EXPECT_EQ(m_driver.CommitCount(), 2);
    EXPECT_EQ(m_driver.Journal().back().hresult, E_ACCESSDENIED);
    EXPECT_FALSE(m_driver.Journal().back().status.has_value());
    EXPECT_EQ(Commit(), 0) << "the fault hits the second call only";
    EXPECT_EQ(m_driver.CommittedImage(eeprom::kMacAddressBlock), m_image);
    m_driver.ClearFaults();
    EXPECT_EQ(Write(eeprom::kMacAddressBlock, Bytes(24, 0x11)), 0);
}

// All `count` bytes handed out are readable, the image padded with erased bytes if need be.
TEST_F(DriverSimulator, ReadBlockFaultsShapeWhatIsHandedOut) {
    const Bytes image = m_driver.CommittedImage(eeprom::kDeviceDataSetBlock);
    const auto check = [&](std::vector<CDriverFault> faults, LONG status, LONG count, bool null) {
        m_driver.ClearFaults();
        for (const CDriverFault& fault : faults) m_driver.AddFault(fault);
        const CRead read = Read(eeprom::kDeviceDataSetBlock);
        Bytes expected = image;
        expected.resize(null ? 0 : count, 0xA5);
        EXPECT_EQ(std::make_tuple(read.hr, read.status, read.count, read.buffer == nullptr),
                  std::make_tuple(S_OK, status, count, null));
        EXPECT_EQ(read.bytes, expected);
    };
    check({CDriverFault::Status("ReadBlock", 1, 9)}, 9, 1360, false);
    check({CDriverFault::WrongByteCount(1, 4000)}, 0, 4000, false);
    check({CDriverFault::WrongByteCount(1, 100), CDriverFault::Status("ReadBlock", 1, 3)}, 3, 100,
          false);
    check({CDriverFault::NullBuffer(1)}, 0, 1360, true);
}

TEST_F(DriverSimulator, ImpossibleFaultsAreRefused) {
    CDriverFault wrongSizeOnWrite = CDriverFault::WrongByteCount(1, 10);
    wrongSizeOnWrite.method = "WriteBlock";
    for (const CDriverFault& fault :
         {CDriverFault::Failure("ReadBlok", 1, E_FAIL),
          CDriverFault::Failure("ReadBlock", 1, S_FALSE), CDriverFault::Status("WriteValue", 1, 0),
          CDriverFault::Failure("ReadBlock", -1, E_FAIL), wrongSizeOnWrite}) {
        EXPECT_THROW(m_driver.AddFault(fault), std::invalid_argument) << fault.method;
    }
}

}  // namespace
