// The four EEPROM block accessors against the measurement driver simulator.
#include <gtest/gtest.h>

#include <memory>
#include <numeric>

#include "driver/DeferredCommit.h"
#include "driver/EEPROMAccessors.h"
#include "support/FirmwareFixture.h"

using namespace norn::eeprom;
using norn::firmware::CDriverFault;
using norn::firmware::CMeasurementDriverSimulator;

namespace {

std::vector<BYTE> Pattern(size_t size) {
    std::vector<BYTE> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<BYTE>(i % 251);
    return bytes;
}

class EEPROMAccessorsTest : public norn::test::CFirmwareFixture {
protected:
    void TearDown() override {
        ResetDeferredCommitForTests();
        CFirmwareFixture::TearDown();
    }
    std::vector<BYTE> Header(LONG block) {
        auto image = m_driver.CurrentImage(block);
        return {image.begin(), image.begin() + kHeaderSize};
    }
};

TEST_F(EEPROMAccessorsTest, FullDeviceDataSetLeavesNoErasedByteAndKeepsTheHeader) {
    const auto header = Header(kDeviceDataSetBlock);
    const auto payload = Pattern(1348);
    ASSERT_TRUE(SetDeviceDataSetEEPROM(payload.data(), 1348));
    const auto image = m_driver.CommittedImage(kDeviceDataSetBlock);
    ASSERT_EQ(image.size(), 1360u);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), image.begin()));
    EXPECT_EQ(image[8] | image[9] << 8 | image[10] << 16 | image[11] << 24, 1348);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), image.begin() + 12));
    EXPECT_EQ(m_driver.CommitCount(), 1);
    const auto journal = m_driver.Journal();
    ASSERT_EQ(journal.size(), 3u);
    EXPECT_EQ(journal[0].arguments, (std::vector<LONG>{0, kDeviceDataSetBlock}));
    EXPECT_EQ(journal[1].arguments, (std::vector<LONG>{0, kDeviceDataSetBlock, 1, 1360}));
    EXPECT_EQ(journal[2].arguments, (std::vector<LONG>{2, 1}));
}

TEST_F(EEPROMAccessorsTest, EmptyDeviceDataSetIsLengthZeroThenErasedBytes) {
    ASSERT_TRUE(SetDeviceDataSetEEPROM(nullptr, 0));
    const auto image = m_driver.CommittedImage(kDeviceDataSetBlock);
    EXPECT_EQ(image[8] | image[9] | image[10] | image[11], 0);
    EXPECT_TRUE(std::all_of(image.begin() + 12, image.end(), [](BYTE b) { return b == 0xA5; }));
}

TEST_F(EEPROMAccessorsTest, DeviceDataSetReadsBackWithATrailingZero) {
    const auto payload = Pattern(300);
    ASSERT_TRUE(SetDeviceDataSetEEPROM(payload.data(), 300));
    BYTE* buffer = nullptr;
    ULONG count = 0;
    ASSERT_TRUE(GetDeviceDataSetEEPROM(&buffer, &count));
    std::unique_ptr<BYTE[]> owned(buffer);
    EXPECT_EQ(count, 300u);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), buffer));
    EXPECT_EQ(buffer[300], 0);
}

// Three bytes: shorter than a length field, which the MAC address block does not have.
TEST_F(EEPROMAccessorsTest, ShortMacPayloadReadsBackPaddedWithErasedBytes) {
    const BYTE mac[3] = {0x00, 0x1B, 0x7C};
    const auto header = Header(kMacAddressBlock);
    ASSERT_TRUE(SetMACEEPROM(mac, 3));
    const auto image = m_driver.CommittedImage(kMacAddressBlock);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), image.begin()));
    EXPECT_TRUE(std::equal(mac, mac + 3, image.begin() + 8));
    BYTE* buffer = nullptr;
    ULONG count = 0;
    ASSERT_TRUE(GetMACEEPROM(&buffer, &count));
    std::unique_ptr<BYTE[]> owned(buffer);
    EXPECT_EQ(count, 16u);
    EXPECT_TRUE(std::equal(mac, mac + 3, buffer));
    EXPECT_TRUE(std::all_of(buffer + 3, buffer + 16, [](BYTE b) { return b == 0xA5; }));
    EXPECT_EQ(buffer[16], 0);
}

TEST_F(EEPROMAccessorsTest, InsideABatchWritersLeaveTheCommitPending) {
    SetDeferredCommit(true);
    const BYTE mac[16] = {1, 2, 3};
    ASSERT_TRUE(SetMACEEPROM(mac, 16));
    EXPECT_TRUE(IsCommitPending());
    EXPECT_EQ(m_driver.CallCount("SetEEPROMMode"), 0u);
    EXPECT_TRUE(m_driver.HasPendingWrites());
}

TEST_F(EEPROMAccessorsTest, WriterAcceptsAFailedPreliminaryReadOfTheRightSize) {
    m_driver.AddFault(CDriverFault::Status("ReadBlock", 1, 7));
    const BYTE mac[2] = {9, 9};
    EXPECT_TRUE(SetMACEEPROM(mac, 2));
    EXPECT_TRUE(m_manager.Reports().empty());
}

TEST_F(EEPROMAccessorsTest, WriterNeverCopiesMoreThanTheDriverReturned) {
    m_driver.AddFault(CDriverFault::WrongByteCount(1, 4000));  // status 0, oversized
    const auto payload = Pattern(10);
    EXPECT_TRUE(SetDeviceDataSetEEPROM(payload.data(), 10));
    m_driver.AddFault(CDriverFault::WrongByteCount(1, 5));  // not even a whole header
    EXPECT_FALSE(SetDeviceDataSetEEPROM(payload.data(), 10));
    ExpectOneReport("SetDeviceDataSetEEPROM", E_FAIL, 923);
}

TEST_F(EEPROMAccessorsTest, ErasedDeviceDataSetIsRefusedWithoutAReport) {
    std::vector<BYTE> erased(1360, 0xA5);
    m_driver.SetCommittedImage(kDeviceDataSetBlock, erased);
    BYTE* buffer = reinterpret_cast<BYTE*>(0x1);
    ULONG count = 0;
    EXPECT_FALSE(GetDeviceDataSetEEPROM(&buffer, &count));
    EXPECT_EQ(count, 0xA5A5A5A5u) << "the length field stands in the count";
    EXPECT_EQ(buffer, reinterpret_cast<BYTE*>(0x1));
    EXPECT_TRUE(m_manager.Reports().empty());
}

// Each failure point of the accessors (code, HRESULT, line, the block left as it was) is one
// case of the reliability suite's conformance table.

}  // namespace
