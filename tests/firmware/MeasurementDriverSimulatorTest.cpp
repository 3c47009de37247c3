// The measurement driver simulator: interface layout, instrument model, journal, references.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "norn/InterfacePtr.h"
#include "norn/firmware/MeasurementDriverSimulator.h"
#include "support/VtableSlot.h"

using norn::CInterfacePtr;
using norn::firmware::CDriverCall;
using norn::firmware::CMeasurementDriverSimulator;
using norn::test::VtableSlot;
namespace eeprom = norn::eeprom;
namespace driver_status = norn::firmware::driver_status;

namespace {

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

class DriverSimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        CInterfacePtr<IUnknown> unknown = CInterfacePtr<IUnknown>::Share(m_driver.Unknown());
        m_block = unknown.Query<IEEPROMBlock>();
        m_control = unknown.Query<IEEPROMControl>();
        m_values = unknown.Query<IDriverValue>();
        ASSERT_TRUE(m_block && m_control && m_values);
    }

    std::vector<BYTE> Read(LONG block, LONG expectedStatus = 0) {
        LONG count = -1, status = -1;
        BYTE* buffer = nullptr;
        EXPECT_EQ(m_block->ReadBlock(0, block, &count, &buffer, &status), S_OK);
        EXPECT_EQ(status, expectedStatus);
        if (buffer == nullptr) return {};
        return std::vector<BYTE>(buffer, buffer + count);
    }
    LONG Write(LONG block, std::vector<BYTE> image) {
        LONG status = -1;
        BYTE* data = image.data();
        EXPECT_EQ(
            m_block->WriteBlock(0, block, 1, static_cast<LONG>(image.size()), data, &data, &status),
            S_OK);
        return status;
    }

    CMeasurementDriverSimulator m_driver;
    CInterfacePtr<IEEPROMBlock> m_block;
    CInterfacePtr<IEEPROMControl> m_control;
    CInterfacePtr<IDriverValue> m_values;
};

TEST_F(DriverSimulatorTest, FactoryImagesHaveHeadersAndAPlausiblePayload) {
    const std::vector<BYTE> dds = Read(eeprom::kDeviceDataSetBlock);
    ASSERT_EQ(dds.size(), 1360u);
    EXPECT_EQ(std::memcmp(dds.data(), "DDS\x01", 4), 0);
    uint32_t length = 0;
    for (int i = 3; i >= 0; --i) length = (length << 8) | dds[8 + i];
    EXPECT_GT(length, 0u);
    ASSERT_LE(length, 1348u);
    for (size_t i = 12 + length; i < dds.size(); ++i) ASSERT_EQ(dds[i], 0xA5) << i;

    const std::vector<BYTE> mac = Read(eeprom::kMacAddressBlock);
    ASSERT_EQ(mac.size(), 24u);
    EXPECT_EQ(std::memcmp(mac.data(), "MAC\x01", 4), 0);
    EXPECT_EQ(std::vector<BYTE>(mac.begin() + 14, mac.end()), std::vector<BYTE>(10, 0xA5));
    EXPECT_NE(std::vector<BYTE>(mac.begin() + 8, mac.begin() + 14), std::vector<BYTE>(6, 0xA5));
}

TEST_F(DriverSimulatorTest, WritesStayPendingUntilCommitted) {
    const std::vector<BYTE> factory = m_driver.CommittedImage(eeprom::kMacAddressBlock);
    std::vector<BYTE> image = factory;
    image[8] = 0x42;
    LONG status = -1;
    ASSERT_EQ(m_control->SetEEPROMMode(0, 1, &status), S_OK);
    EXPECT_EQ(Write(eeprom::kMacAddressBlock, image), 0);

    EXPECT_TRUE(m_driver.HasPendingWrites());
    EXPECT_EQ(Read(eeprom::kMacAddressBlock), image) << "a read sees the pending image";
    EXPECT_EQ(m_driver.CommittedImage(eeprom::kMacAddressBlock), factory);
    EXPECT_EQ(m_driver.CommitCount(), 0);

    ASSERT_EQ(m_control->SetEEPROMMode(2, 1, &status), S_OK);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(m_driver.CommittedImage(eeprom::kMacAddressBlock), image);
    EXPECT_FALSE(m_driver.HasPendingWrites());
    EXPECT_EQ(m_driver.CommitCount(), 1);
}

TEST_F(DriverSimulatorTest, RefusedWritesStoreNothing) {
    struct Case {
        LONG block;
        size_t size;
        LONG status;
    } cases[] = {{22003, 24, driver_status::kUnknownBlock},
                 {eeprom::kMacAddressBlock, 23, driver_status::kWrongByteCount},
                 {eeprom::kDeviceDataSetBlock, 24, driver_status::kWrongByteCount}};
    for (const Case& c : cases) {
        EXPECT_EQ(Write(c.block, std::vector<BYTE>(c.size, 0x11)), c.status) << c.block;
    }
    EXPECT_FALSE(m_driver.HasPendingWrites());

    LONG count = -1, status = 0;
    BYTE* buffer = reinterpret_cast<BYTE*>(&count);
    EXPECT_EQ(m_block->ReadBlock(0, 22003, &count, &buffer, &status), S_OK);
    EXPECT_EQ(status, driver_status::kUnknownBlock);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(buffer, nullptr);
}

TEST_F(DriverSimulatorTest, QueryValueFillsExactlyCodeBytes) {
    struct Case {
        LONG item;
        LONG code;
        std::string expected;
    } cases[] = {{3, 10, "SN12345678"},
                 {4, 13, std::string("1234.5678.90\0", 13)},
                 {3, 4, "SN12"},
                 {3, 12, std::string("SN12345678\0\0", 12)}};
    for (const Case& c : cases) {
        std::vector<BYTE> buffer(c.code + 8, 0xEE);
        LONG status = -1;
        ASSERT_EQ(m_values->QueryValue(c.item, c.code, buffer.data(), &status), S_OK);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + c.code), c.expected);
        EXPECT_EQ(std::vector<BYTE>(buffer.begin() + c.code, buffer.end()),
                  std::vector<BYTE>(8, 0xEE))
            << "item " << c.item << " code " << c.code << " wrote past the buffer";
    }
}

TEST_F(DriverSimulatorTest, WrittenValueReadsBackTruncatedAndTerminated) {
    BYTE text[] = "ABCDEFGH\0junk";
    LONG status = -1;
    ASSERT_EQ(m_values->WriteValue(16, 23, sizeof(text), text, &status), S_OK);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(m_driver.Value(16), "ABCDEFGH") << "stored up to the zero";
    struct Case {
        LONG size;
        std::string expected;
    } cases[] = {{200, std::string("ABCDEFGH\0", 9)}, {5, std::string("ABCD\0", 5)}, {1, {'\0'}}};
    for (const Case& c : cases) {
        std::vector<BYTE> buffer(210, 0xEE);
        ASSERT_EQ(m_values->ReadValue(16, 23, c.size, buffer.data(), &status), S_OK);
        EXPECT_EQ(status, 0);
        const size_t used = c.expected.size();
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + used), c.expected);
        EXPECT_EQ(buffer[used], 0xEE) << "size " << c.size;
    }
    ASSERT_EQ(m_values->WriteValue(99, 23, sizeof(text), text, &status), S_OK);
    EXPECT_EQ(status, driver_status::kUnknownItem);
    EXPECT_EQ(m_driver.Value(99), std::nullopt);
}

TEST_F(DriverSimulatorTest, JournalRecordsArgumentsStatusAndResultInOrder) {
    LONG status = 0;
    BYTE value[16] = {};
    std::vector<BYTE> image = m_driver.CommittedImage(eeprom::kMacAddressBlock);
    ASSERT_EQ(m_control->PrepareRead(1, 0, 0, 0, &status), S_OK);
    Read(eeprom::kMacAddressBlock);
    Write(eeprom::kMacAddressBlock, image);
    m_values->QueryValue(77, 10, value, &status);
    EXPECT_EQ(m_block->Reserved5(), E_NOTIMPL);
    m_control->SetEEPROMMode(2, 1, &status);

    const std::vector<CDriverCall> journal = m_driver.Journal();
    ASSERT_EQ(journal.size(), 6u);
    const std::vector<std::vector<LONG>> arguments = {{1, 0, 0, 0}, {0, 22002}, {0, 22002, 1, 24},
                                                      {77, 10},     {},         {2, 1}};
    const char* methods[] = {
        "PrepareRead",  "ReadBlock", "WriteBlock", "QueryValue", "IEEPROMBlock::Reserved5",
        "SetEEPROMMode"};
    const std::optional<LONG> statuses[] = {0, 0, 0, driver_status::kUnknownItem, {}, 0};
    for (size_t i = 0; i < journal.size(); ++i) {
        EXPECT_EQ(journal[i].method, methods[i]) << i;
        EXPECT_EQ(journal[i].arguments, arguments[i]) << i;
        EXPECT_EQ(journal[i].status, statuses[i]) << i;
        EXPECT_EQ(journal[i].hresult, i == 4 ? E_NOTIMPL : S_OK) << i;
    }
    EXPECT_EQ(m_driver.CallCount("ReadBlock"), 1u);
    m_driver.ClearJournal();
    EXPECT_EQ(m_driver.CallCount("ReadBlock"), 0u);
}

TEST(DriverSimulatorReferences, EveryInterfaceReturnsToBaseline) {
    CMeasurementDriverSimulator driver;
    IUnknown* unknown = driver.Unknown();
    const GUID iids[] = {norn::InterfaceId<IUnknown>::value, norn::InterfaceId<IEEPROMBlock>::value,
                         norn::InterfaceId<IEEPROMControl>::value,
                         norn::InterfaceId<IDriverValue>::value};
    for (const GUID& iid : iids) {
        void* raw = nullptr;
        ASSERT_EQ(unknown->QueryInterface(iid, &raw), S_OK);
        EXPECT_EQ(driver.Refs(), 1u);
        IUnknown* identity = nullptr;
        static_cast<IUnknown*>(raw)->QueryInterface(IID_IUnknown,
                                                    reinterpret_cast<void**>(&identity));
        EXPECT_EQ(identity, unknown) << "one object behind every interface";
        identity->Release();
        static_cast<IUnknown*>(raw)->Release();
        EXPECT_EQ(driver.Refs(), 0u);
    }
    void* raw = &driver;
    EXPECT_EQ(unknown->QueryInterface(IID_IErrorInfo, &raw), E_NOINTERFACE);
    EXPECT_EQ(raw, nullptr);
    EXPECT_EQ(driver.Refs(), 0u);
}

}  // namespace
