// F3 backs the service data up into the three files; F2 restores them into the instrument with
// one commit.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "HostFixture.h"

namespace {

using namespace norn::eeprom;
using norn::firmware::CDriverFault;
using norn::test::CHostFixture;
using norn::test::CTempDirectory;

const std::string kDocumentWithIdentification =
    "<?xml version='1.0' standalone='yes'?>\n<!DOCTYPE NornData>\n"
    "<NornData SerialNo=\"SN77\" MaterialNo=\"4711.0815.00\"/>\n";

class BackupRestoreTest : public CHostFixture {
protected:
    std::vector<BYTE> Payload(LONG block) const {
        const auto image = m_driver.CommittedImage(block);
        if (block == kMacAddressBlock) return {image.begin() + 8, image.end()};
        const uint32_t length = image[8] | image[9] << 8 | image[10] << 16 | image[11] << 24;
        return {image.begin() + 12, image.begin() + 12 + length};
    }
    // Files as a backup and the host's service procedure leave them.
    void LayOutRestoreInputs(const std::string& dds, const std::string& mac) {
        CTempDirectory::WriteFile(DataFile("NornData.xml"), kDocumentWithIdentification);
        CTempDirectory::WriteFile(DataFile("NornData.dds"), dds);
        CTempDirectory::WriteFile(DataFile("NornData.mac"), mac);
    }
    bool BatchIsClosed() const {
        auto begin = Module().Entry<PFN_BRIGHTWORK_BEGINDEFERREDCOMMIT>(EntryBeginDeferredCommit);
        auto end = Module().Entry<PFN_BRIGHTWORK_ENDDEFERREDCOMMIT>(EntryEndDeferredCommit);
        const bool closed = begin() == S_OK;
        end();
        return closed;
    }
};

TEST_F(BackupRestoreTest, BackupWritesThePayloadsAndANewDocumentWithoutIdentification) {
    CTempDirectory::WriteFile(DataFile("NornData.xml"), kDocumentWithIdentification);
    ASSERT_EQ(Module().F3(), 0);
    const auto dds = Payload(kDeviceDataSetBlock);
    const auto mac = Payload(kMacAddressBlock);
    EXPECT_EQ(FileContent("NornData.dds"), std::string(dds.begin(), dds.end()));
    EXPECT_EQ(FileContent("NornData.mac"), std::string(mac.begin(), mac.end()));
    EXPECT_EQ(FileContent("NornData.xml"),
              "<?xml version='1.0' standalone='yes'?>\n<!DOCTYPE NornData>\n<NornData/>\n");
    const auto first = FileContent("NornData.dds") + FileContent("NornData.mac");
    ASSERT_EQ(Module().F3(), 0);
    EXPECT_EQ(FileContent("NornData.dds") + FileContent("NornData.mac"), first);
    EXPECT_EQ(m_driver.CallCount("PrepareRead"), 2u);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(BackupRestoreTest, RestoreAfterBackupWritesBackWhatTheBackupRead) {
    const auto dds = Payload(kDeviceDataSetBlock);
    const auto mac = Payload(kMacAddressBlock);
    ASSERT_EQ(Module().F3(), 0);
    CTempDirectory::WriteFile(DataFile("NornData.xml"), kDocumentWithIdentification);
    ASSERT_EQ(Module().F8(), 0);  // the files are gone and the blocks erased: lay them out again
    LayOutRestoreInputs(std::string(dds.begin(), dds.end()), std::string(mac.begin(), mac.end()));
    m_driver.ClearJournal();
    ASSERT_EQ(Module().F2(), 0);
    EXPECT_EQ(Payload(kDeviceDataSetBlock), dds);
    EXPECT_EQ(Payload(kMacAddressBlock), mac);
    EXPECT_EQ(m_driver.Value(3), "SN77");
    EXPECT_EQ(m_driver.Value(4), "4711.0815.00");
    EXPECT_TRUE(Reports().empty());
}

TEST_F(BackupRestoreTest, RestoreMakesItsDriverCallsInOrderAndCommitsOnce) {
    m_driver.SetValue(16, "ABCDE");
    LayOutRestoreInputs("dds-payload", std::string(16, 'm'));
    ASSERT_EQ(Module().F2(), 0);
    std::vector<std::string> calls, texts;
    for (const auto& call : m_driver.Journal()) {
        if (call.method == "ReadBlock") continue;
        std::string entry = call.method;
        for (LONG argument : call.arguments) entry += " " + std::to_string(argument);
        calls.push_back(entry);
        if (call.method == "WriteValue") texts.emplace_back(call.data.begin(), call.data.end());
    }
    // Texts shorter than the driver's byte counts are padded with zero bytes up to them.
    EXPECT_EQ(texts, (std::vector<std::string>{std::string("SN77\0\0\0\0\0\0\0", 11),
                                               std::string("4711.0815.00\0", 13),
                                               std::string("ABCDE\0", 6)}));
    EXPECT_EQ(calls, (std::vector<std::string>{
                         "ReadValue 16 23 200", "SetEEPROMMode 0 1", "WriteBlock 0 22001 1 1360",
                         "WriteBlock 0 22002 1 24", "WriteValue 3 23 11", "WriteValue 4 23 13",
                         "WriteValue 16 23 6", "SetEEPROMMode 2 1"}));
    EXPECT_EQ(m_driver.CommitCount(), 1);
    EXPECT_TRUE(BatchIsClosed());
}

TEST_F(BackupRestoreTest, RestoreInsideAHostBatchEndsThatBatch) {
    LayOutRestoreInputs("d", std::string(16, 'm'));
    ASSERT_EQ(Module().Entry<PFN_BRIGHTWORK_BEGINDEFERREDCOMMIT>(EntryBeginDeferredCommit)(), S_OK);
    ASSERT_EQ(Module().F2(), 0);
    EXPECT_EQ(Module().Entry<PFN_BRIGHTWORK_ENDDEFERREDCOMMIT>(EntryEndDeferredCommit)(), 0);
    EXPECT_EQ(m_driver.CommitCount(), 1) << "the batch found nothing left to commit";
}

// Restore inputs that are refused before the instrument is touched.
struct MissingInput {
    const char* xml;
    bool withDds;
    bool withMac;
    LONG line;
};
// Names the row; gtest's default byte dump would read the struct's padding.
void PrintTo(const MissingInput& c, std::ostream* os) {
    *os << (c.xml != nullptr ? "document" : "no document") << (c.withDds ? ", dds" : "")
        << (c.withMac ? ", mac" : "") << " -> line " << c.line;
}

class RestoreInputTest : public BackupRestoreTest,
                         public ::testing::WithParamInterface<MissingInput> {};

TEST_P(RestoreInputTest, IsReportedOnceAndNoDriverCallIsMade) {
    if (GetParam().xml != nullptr)
        CTempDirectory::WriteFile(DataFile("NornData.xml"), GetParam().xml);
    if (GetParam().withDds) CTempDirectory::WriteFile(DataFile("NornData.dds"), "d");
    if (GetParam().withMac) CTempDirectory::WriteFile(DataFile("NornData.mac"), "m");
    EXPECT_EQ(Module().F2(), 1);
    EXPECT_EQ(ReportTrail(), (std::vector<std::string>{"F2:" + std::to_string(GetParam().line)}));
    EXPECT_TRUE(m_driver.Journal().empty());
}

const char* const kWithIdentification = kDocumentWithIdentification.c_str();

INSTANTIATE_TEST_SUITE_P(
    Inputs, RestoreInputTest,
    ::testing::Values(MissingInput{nullptr, true, true, 3240},
                      MissingInput{"<!DOCTYPE NornData>\n<NornData/>\n", true, true, 3240},
                      MissingInput{"<NornData SerialNo=\"S\"/>", true, true, 3246},
                      MissingInput{kWithIdentification, false, true, 3310},
                      MissingInput{kWithIdentification, true, false, 3340}));

TEST_F(BackupRestoreTest, OversizedDeviceDataSetFileIsRefusedAfterTheEEPROMWasOpened) {
    LayOutRestoreInputs(std::string(1349, 'd'), std::string(16, 'm'));
    EXPECT_EQ(Module().F2(), 1);
    EXPECT_EQ(ReportTrail(), (std::vector<std::string>{"SetDeviceDataSetEEPROM:907", "F2:3389"}));
    EXPECT_EQ(m_driver.CallCount("SetEEPROMMode"), 1u);
    EXPECT_EQ(m_driver.CallCount("WriteBlock"), 0u);
    EXPECT_EQ(m_driver.CommitCount(), 0);
}

TEST_F(BackupRestoreTest, OversizedMacFileLeavesTheDeviceDataSetWrittenButNotCommitted) {
    m_driver.SetValue(16, "keep");
    LayOutRestoreInputs("written", std::string(17, 'm'));
    EXPECT_EQ(Module().F2(), 1);
    EXPECT_EQ(ReportTrail(), (std::vector<std::string>{"SetMACEEPROM:1325", "F2:3394"}));
    EXPECT_TRUE(m_driver.HasPendingWrites());
    EXPECT_EQ(m_driver.CommitCount(), 0);
    EXPECT_EQ(m_driver.CallCount("WriteValue"), 0u) << "value 16 is not written back";
    EXPECT_TRUE(BatchIsClosed());
}

// A value 16 that fills the restore's whole buffer without a zero byte is cut at the buffer's
// end: what goes back is 199 bytes and the zero, never more than was saved.
TEST_F(BackupRestoreTest, UnterminatedValue16IsWrittenBackCutToTheSavedBuffer) {
    m_driver.SetValue(16, "0123456789");
    m_driver.AddFault(CDriverFault::Unterminated(1));
    LayOutRestoreInputs("d", std::string(16, 'm'));
    ASSERT_EQ(Module().F2(), 0);
    const auto journal = m_driver.Journal();
    const auto writeBack = std::find_if(journal.rbegin(), journal.rend(), [](const auto& call) {
        return call.method == "WriteValue" && call.arguments.at(0) == 16;
    });
    ASSERT_NE(writeBack, journal.rend());
    EXPECT_EQ(writeBack->arguments.at(2), 200) << "199 bytes and the zero";
    std::string expected;
    for (int i = 0; i < 199; ++i) expected += static_cast<char>('0' + i % 10);
    EXPECT_EQ(m_driver.Value(16), expected);
}

TEST_F(BackupRestoreTest, BackupFailuresLeaveTheFilesOfLaterStepsAlone) {
    const HRESULT driverError = static_cast<HRESULT>(0x80048888);
    const struct {
        CDriverFault fault;
        std::vector<std::string> trail;
    } rows[] = {
        {CDriverFault::Failure("PrepareRead", 1, driverError), {"F3:3511"}},
        {CDriverFault::Status("PrepareRead", 1, 1), {"F3:3514"}},
        {CDriverFault::Failure("ReadBlock", 1, driverError),
         {"GetDeviceDataSetEEPROM:1156", "F3:3525"}},
        {CDriverFault::Failure("ReadBlock", 2, driverError), {"GetMACEEPROM:1557", "F3:3530"}},
    };
    for (const auto& row : rows) {
        for (const char* name : {"NornData.xml", "NornData.dds", "NornData.mac"}) {
            CTempDirectory::WriteFile(DataFile(name), "old");
        }
        m_manager.Clear();
        m_driver.ClearFaults();
        m_driver.AddFault(row.fault);
        EXPECT_EQ(Module().F3(), 1);
        EXPECT_EQ(ReportTrail(), row.trail);
        EXPECT_EQ(
            FileContent("NornData.xml") + FileContent("NornData.dds") + FileContent("NornData.mac"),
            "oldoldold");
    }
}

TEST_F(BackupRestoreTest, FailedMacFileLeavesTheNewDocumentAndDeviceDataSetFile) {
    std::filesystem::create_directory(DataFile("NornData.mac"));  // cannot be opened as a file
    EXPECT_EQ(Module().F3(), 1);
    EXPECT_EQ(ReportTrail(), (std::vector<std::string>{"CreateMACFile:1447", "F3:3595"}));
    EXPECT_TRUE(std::filesystem::exists(DataFile("NornData.xml")));
    const auto dds = Payload(kDeviceDataSetBlock);
    EXPECT_EQ(FileContent("NornData.dds"), std::string(dds.begin(), dds.end()));
}

}  // namespace
