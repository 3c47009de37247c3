// The four EEPROM block accessors against the measurement driver simulator: what a writer leaves
// in the block's image (the header as the driver had it, the device data set's length field, the
// payload, erased bytes to the end) and what a reader hands back from it (the payload, the MAC
// address always 16 bytes, then a zero byte). Each failure point is a case of the reliability
// suite's conformance table, and each driver call a row of its fault sweep.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "driver/EEPROMAccessors.h"
#include "support/FirmwareFixture.h"

using namespace norn::eeprom;

namespace {

class EEPROMAccessorsTest : public norn::test::CFirmwareFixture {};

// The largest device data set leaves no erased byte; a MAC address shorter than a length field
// leaves erased bytes right behind it, the block having none.
TEST_F(EEPROMAccessorsTest, WritersFillTheImageAndReadersHandThePayloadBack) {
    const struct {
        LONG block;
        ULONG size;
    } rows[] = {{kDeviceDataSetBlock, 1348}, {kDeviceDataSetBlock, 0}, {kMacAddressBlock, 3}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.block) + ", " + std::to_string(row.size) + " bytes");
        const bool dds = row.block == kDeviceDataSetBlock;
        std::vector<BYTE> payload(row.size), image = m_driver.CommittedImage(row.block);
        for (ULONG i = 0; i < row.size; ++i) payload[i] = static_cast<BYTE>(i % 251);
        const BYTE* bytes = row.size > 0 ? payload.data() : nullptr;
        ASSERT_TRUE(dds ? SetDeviceDataSetEEPROM(bytes, static_cast<LONG>(row.size))
                        : SetMACEEPROM(bytes, row.size));
        image.resize(kHeaderSize);
        if (dds) image.insert(image.end(), {BYTE(row.size), BYTE(row.size >> 8), 0, 0});
        image.insert(image.end(), payload.begin(), payload.end());
        image.resize(dds ? kDeviceDataSetImageSize : kMacAddressImageSize, kErasedByte);
        EXPECT_EQ(m_driver.CommittedImage(row.block), image);

        BYTE* buffer = nullptr;
        ULONG count = 0;
        ASSERT_TRUE(dds ? GetDeviceDataSetEEPROM(&buffer, &count) : GetMACEEPROM(&buffer, &count));
        const std::unique_ptr<BYTE[]> owned(buffer);
        if (!dds) payload.resize(kMacAddressPayloadSize, kErasedByte);
        payload.push_back(0);
        EXPECT_EQ(std::vector<BYTE>(buffer, buffer + count + 1), payload);
    }
    EXPECT_EQ(m_driver.CommitCount(), 3);
}

}  // namespace
