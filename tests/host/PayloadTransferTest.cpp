// Table entries 3 to 6: the device data set and the MAC address block between host buffers, their
// service data files and the EEPROM, called through the method table as a host does.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "HostFixture.h"

namespace {

using namespace norn::eeprom;
using norn::test::CHostFixture;
using norn::test::CTempDirectory;

std::string Bytes(size_t size, int seed = 0) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + seed) % 256);
    return bytes;
}

class PayloadTransferTest : public CHostFixture {
protected:
    // A buffer handed out by an export entry, given back through entry 21.
    struct CExported {
        LONG result;
        std::string bytes;  // the payload and the byte after it
        ULONG count;
        bool handedOut;
    };

    LONG Import(int entry, const std::string& payload) {
        return Module().Entry<PFN_BRIGHTWORK_IMPORT>(entry)(
            0, reinterpret_cast<const BYTE*>(payload.data()), static_cast<LONG>(payload.size()));
    }
    CExported Export(int entry) {
        BYTE* buffer = nullptr;
        ULONG count = 77;
        CExported out{Module().Entry<PFN_BRIGHTWORK_EXPORT>(entry)(0, &buffer, &count),
                      {},
                      count,
                      buffer != nullptr};
        if (buffer != nullptr && count <= 1348) {
            out.bytes.assign(reinterpret_cast<const char*>(buffer), count + 1);
        }
        Module().Entry<PFN_BRIGHTWORK_RELEASEBUFFER>(EntryReleaseBuffer)(0, buffer);
        return out;
    }
};

TEST_F(PayloadTransferTest, DeviceDataSetRoundTripsThroughFileAndBlock) {
    const std::string payload = Bytes(300);
    ASSERT_EQ(Import(EntryDeviceDataSetImport, payload), 0);
    EXPECT_EQ(FileContent("NornData.dds"), payload);
    const CExported out = Export(EntryDeviceDataSetExport);
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.count, 300u);
    EXPECT_EQ(out.bytes, payload + std::string(1, '\0'));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(PayloadTransferTest, LargestDeviceDataSetFitsAndOneMoreIsRefusedAfterTheFileWrite) {
    EXPECT_EQ(Import(EntryDeviceDataSetImport, Bytes(1348)), 0);
    const auto block = m_driver.CommittedImage(kDeviceDataSetBlock);
    EXPECT_EQ(Import(EntryDeviceDataSetImport, Bytes(1349, 1)), 1);
    EXPECT_EQ(FileContent("NornData.dds"), Bytes(1349, 1)) << "the file was written first";
    EXPECT_EQ(m_driver.CommittedImage(kDeviceDataSetBlock), block);
    EXPECT_EQ(ReportTrail(), (std::vector<std::string>{"SetDeviceDataSetEEPROM:907", "D4:1104"}));
}

TEST_F(PayloadTransferTest, DeviceDataSetThatDiffersFromItsFileIsHandedOutWithItsFirstByteCleared) {
    const std::string payload = Bytes(64);
    ASSERT_EQ(Import(EntryDeviceDataSetImport, payload), 0);
    std::string changed = payload;
    changed[40] ^= 0x01;
    CTempDirectory::WriteFile(DataFile("NornData.dds"), changed);
    const CExported out = Export(EntryDeviceDataSetExport);
    EXPECT_EQ(out.result, 1);
    EXPECT_EQ(out.count, 64u);
    EXPECT_EQ(out.bytes[0], 0);
    EXPECT_EQ(out.bytes.substr(1, 63), payload.substr(1, 63)) << "the rest is the block's payload";
    EXPECT_EQ(ReportTrail(), (std::vector<std::string>{"D5:1257"}));
}

TEST_F(PayloadTransferTest, FileLongerThanThePayloadStillMatches) {
    const std::string payload = Bytes(100);
    ASSERT_EQ(Import(EntryDeviceDataSetImport, payload), 0);
    CTempDirectory::WriteFile(DataFile("NornData.dds"), payload + "trailing");
    EXPECT_EQ(Export(EntryDeviceDataSetExport).result, 0);
    ASSERT_EQ(Import(EntryMacAddressImport, Bytes(16)), 0);
    CTempDirectory::WriteFile(DataFile("NornData.mac"), Bytes(16) + "more");
    EXPECT_EQ(Export(EntryMacAddressExport).result, 0);
}

TEST_F(PayloadTransferTest, ExportWithoutItsFileFailsBeforeTheBlockIsRead) {
    for (auto [entry, line] :
         {std::pair{EntryDeviceDataSetExport, 1230}, {EntryMacAddressExport, 1631}}) {
        m_manager.Clear();
        const CExported out = Export(entry);
        EXPECT_EQ(out.result, 1);
        EXPECT_EQ(out.count, 0u);
        EXPECT_FALSE(out.handedOut);
        EXPECT_EQ(Reports().at(0).line, line);
    }
    EXPECT_EQ(m_driver.CallCount("ReadBlock"), 0u);
}

TEST_F(PayloadTransferTest, NullArgumentsAreRefusedAndTheCountIsZero) {
    for (auto [entry, line] :
         {std::pair{EntryDeviceDataSetExport, 1224}, {EntryMacAddressExport, 1625}}) {
        m_manager.Clear();
        ULONG count = 77;
        EXPECT_EQ(Module().Entry<PFN_BRIGHTWORK_EXPORT>(entry)(0, nullptr, &count), 1);
        EXPECT_EQ(count, 0u);
        BYTE* buffer = nullptr;
        EXPECT_EQ(Module().Entry<PFN_BRIGHTWORK_EXPORT>(entry)(0, &buffer, nullptr), 1);
        EXPECT_EQ(buffer, nullptr);
        EXPECT_EQ(Reports().size(), 2u);
        EXPECT_EQ(Reports().at(1).line, line);
    }
}

TEST_F(PayloadTransferTest, ErasedDeviceDataSetIsNotExported) {
    ASSERT_EQ(Module().F8(), 0);
    EXPECT_EQ(Export(EntryDeviceDataSetExport).result, 1);
    EXPECT_EQ(Reports().back().line, 1230) << "the erase removed the file";
    CTempDirectory::WriteFile(DataFile("NornData.dds"), "x");
    const CExported out = Export(EntryDeviceDataSetExport);
    EXPECT_EQ(out.result, 1);
    EXPECT_EQ(out.count, 0xA5A5A5A5u) << "the block's length field stands in the count";
    EXPECT_FALSE(out.handedOut);
    EXPECT_EQ(Reports().back().line, 1249);
}

TEST_F(PayloadTransferTest, MacAddressRoundTripsWithSixteenBytes) {
    const std::string mac = Bytes(16, 3);
    ASSERT_EQ(Import(EntryMacAddressImport, mac), 0);
    const CExported out = Export(EntryMacAddressExport);
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.count, 16u);
    EXPECT_EQ(out.bytes, mac + std::string(1, '\0'));
}

TEST_F(PayloadTransferTest, ShortMacAddressMismatchesItsPaddedBlockAndKeepsTheBuffer) {
    const std::string mac("\x00\x1B\x7C\x01\x02\x03", 6);  // the leading zero byte included
    ASSERT_EQ(Import(EntryMacAddressImport, std::string(mac.data(), 6)), 0);
    EXPECT_EQ(FileContent("NornData.mac").size(), 6u);
    const CExported out = Export(EntryMacAddressExport);
    EXPECT_EQ(out.result, 1);
    EXPECT_EQ(out.count, 16u);
    EXPECT_EQ(out.bytes.substr(0, 6), std::string(mac.data(), 6)) << "first byte not cleared";
    EXPECT_EQ(out.bytes.substr(6, 10), std::string(10, '\xA5'));
    EXPECT_EQ(ReportTrail(), (std::vector<std::string>{"D7:1656"}));
}

TEST_F(PayloadTransferTest, TooLongMacAddressIsRefusedAfterTheFileWrite) {
    EXPECT_EQ(Import(EntryMacAddressImport, Bytes(17)), 1);
    EXPECT_EQ(FileContent("NornData.mac").size(), 17u);
    EXPECT_EQ(ReportTrail(), (std::vector<std::string>{"SetMACEEPROM:1325", "D6:1506"}));
}

TEST_F(PayloadTransferTest, ImportsInsideABatchAreCommittedOnceAtItsEnd) {
    ASSERT_EQ(Module().Entry<PFN_BRIGHTWORK_BEGINDEFERREDCOMMIT>(EntryBeginDeferredCommit)(), S_OK);
    ASSERT_EQ(Import(EntryDeviceDataSetImport, Bytes(20)), 0);
    ASSERT_EQ(Import(EntryMacAddressImport, Bytes(16)), 0);
    EXPECT_EQ(m_driver.CommitCount(), 0);
    ASSERT_EQ(Module().Entry<PFN_BRIGHTWORK_ENDDEFERREDCOMMIT>(EntryEndDeferredCommit)(), 0);
    EXPECT_EQ(m_driver.CommitCount(), 1);
    EXPECT_EQ(Export(EntryDeviceDataSetExport).result, 0);
}

TEST_F(PayloadTransferTest, UnreadableImportsFailWithoutTouchingMemory) {
    auto import = Module().Entry<PFN_BRIGHTWORK_IMPORT>(EntryDeviceDataSetImport);
    EXPECT_EQ(import(0, nullptr, 5), 1);
    EXPECT_EQ(import(0, reinterpret_cast<const BYTE*>("abc"), -3), 1);
    EXPECT_EQ(ReportTrail(), (std::vector<std::string>{"CreateDDSFile:1042", "D4:1098",
                                                       "CreateDDSFile:1042", "D4:1098"}));
    auto importMac = Module().Entry<PFN_BRIGHTWORK_IMPORT>(EntryMacAddressImport);
    EXPECT_EQ(importMac(0, nullptr, 4), 1);
    EXPECT_EQ(Reports().back().line, 1500);
}

TEST_F(PayloadTransferTest, MissingDirectoryFailsTheImportAtTheFileAndLeavesTheBlock) {
    std::filesystem::remove_all(m_xmlDirectory);
    const auto block = m_driver.CommittedImage(kDeviceDataSetBlock);
    EXPECT_EQ(Import(EntryDeviceDataSetImport, Bytes(8)), 1);
    EXPECT_EQ(ReportTrail(), (std::vector<std::string>{"CreateDDSFile:1036", "D4:1098"}));
    EXPECT_EQ(m_driver.CommittedImage(kDeviceDataSetBlock), block);
}

}  // namespace
