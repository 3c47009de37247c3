// F8: the three service data files removed and both blocks erased, header kept, then one commit.
#include <gtest/gtest.h>

#include <filesystem>

#include "HostFixture.h"

namespace {

using namespace norn::eeprom;
using norn::firmware::CDriverFault;
using norn::test::CHostFixture;
using norn::test::CTempDirectory;

constexpr const char* kDataFiles[] = {"NornData.xml", "NornData.dds", "NornData.mac"};

class EraseTest : public CHostFixture {
protected:
    void WriteDataFiles() {
        for (const char* name : kDataFiles) CTempDirectory::WriteFile(DataFile(name), "old");
    }
    bool AnyDataFile() const {
        for (const char* name : kDataFiles) {
            if (std::filesystem::exists(DataFile(name))) return true;
        }
        return false;
    }
    // The image an erase must leave: the block's header as it is, then 0xA5.
    std::vector<BYTE> ErasedImageOf(LONG block) const {
        auto image = m_driver.CommittedImage(block);
        std::fill(image.begin() + kHeaderSize, image.end(), kErasedByte);
        return image;
    }
};

TEST_F(EraseTest, RemovesTheFilesAndErasesBothBlocksKeepingTheirHeaders) {
    WriteDataFiles();
    const auto erasedDds = ErasedImageOf(kDeviceDataSetBlock);
    const auto erasedMac = ErasedImageOf(kMacAddressBlock);
    ASSERT_EQ(Module().F8(), 0);
    EXPECT_FALSE(AnyDataFile());
    EXPECT_EQ(m_driver.CommittedImage(kDeviceDataSetBlock), erasedDds);
    EXPECT_EQ(m_driver.CommittedImage(kMacAddressBlock), erasedMac);
    EXPECT_EQ(m_driver.CommitCount(), 1);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(EraseTest, SecondEraseInARowWritesTheSameImagesAndMissingFilesAreNoError) {
    ASSERT_EQ(Module().F8(), 0);
    const auto dds = m_driver.CommittedImage(kDeviceDataSetBlock);
    ASSERT_EQ(Module().F8(), 0);
    EXPECT_EQ(m_driver.CommittedImage(kDeviceDataSetBlock), dds);
    EXPECT_EQ(m_driver.CallCount("WriteBlock"), 4u);
    EXPECT_EQ(m_driver.CommitCount(), 2);
}

TEST_F(EraseTest, CommitsEvenInsideABatchAndLeavesTheBatchAlone) {
    auto begin = Module().Entry<PFN_BRIGHTWORK_BEGINDEFERREDCOMMIT>(EntryBeginDeferredCommit);
    auto end = Module().Entry<PFN_BRIGHTWORK_ENDDEFERREDCOMMIT>(EntryEndDeferredCommit);
    ASSERT_EQ(begin(), S_OK);
    ASSERT_EQ(Module().F8(), 0);
    EXPECT_EQ(m_driver.CommitCount(), 1);
    EXPECT_EQ(begin(), E_FAIL) << "the batch is still open";
    EXPECT_EQ(end(), 0);
    EXPECT_EQ(m_driver.CommitCount(), 1) << "the erase set no pending commit";
}

TEST_F(EraseTest, FailedPreliminaryReadOfTheRightSizeDoesNotStopIt) {
    m_driver.AddFault(CDriverFault::Status("ReadBlock", 0, 9));
    EXPECT_EQ(Module().F8(), 0);
    EXPECT_EQ(m_driver.CommittedImage(kMacAddressBlock), ErasedImageOf(kMacAddressBlock));
}

TEST_F(EraseTest, WithoutADriverNoFileIsTouched) {
    WriteDataFiles();
    UnregisterDriver();
    EXPECT_EQ(Module().F8(), 1);
    EXPECT_TRUE(std::filesystem::exists(DataFile("NornData.xml")));
    EXPECT_EQ(m_diagnostics.Lines().size(), 1u);
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].reportCode.text, u"F8");
    EXPECT_EQ(reports[0].hresult, E_POINTER);
    EXPECT_EQ(reports[0].line, 2707);
}

}  // namespace
