// F2 and F3 as a host sees them: the driver calls the restore makes from the files as they are,
// and the files an earlier backup left when the next one cannot read a block. (What each
// operation leaves when it succeeds is checked by the reliability suite's operation sweep, each
// failure point's report by its conformance table.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HostFixture.h"

namespace {

using namespace norn::eeprom;
using norn::firmware::CDriverFault;
using norn::test::CHostFixture;
using norn::test::kIdentifiedDocument;

class BackupRestoreTest : public CHostFixture {};

// The restore's driver calls from the files as they are, which it only reads. Value 16 is saved
// first and written back last with its zero byte (a value without one is cut at the saved
// buffer's end: 199 bytes and the zero); the texts are padded with zero bytes to the driver's byte
// counts; the blocks are written between the opening and the one commit. An empty device data set
// file is an empty payload; a file too long for its block is refused by the block writer, and
// nothing after it is written or committed.
TEST_F(BackupRestoreTest, RestoreMakesItsDriverCallsInOrderAndCommitsOnce) {
    std::string cut;
    for (int i = 0; i < 199; ++i) cut += static_cast<char>('0' + i % 10);
    const std::string opened = "ReadValue 16 23 200|SetEEPROMMode 0 1|";
    const std::string written = opened + "WriteBlock 0 22001 1 1360|";
    const std::string all =
        written + "WriteBlock 0 22002 1 24|WriteValue 3 23 11|WriteValue 4 23 13|";
    const std::string mac(16, 'm');
    const struct {
        std::string dds, mac, value16;
        bool unterminated;
        std::string calls;
        std::string writtenBack;  // value 16 as written back; none when the restore fails
    } rows[] = {
        {"dds", mac, "ABCDE", false, all + "WriteValue 16 23 6|SetEEPROMMode 2 1|", "ABCDE"},
        {"", mac, "0123456789", true, all + "WriteValue 16 23 200|SetEEPROMMode 2 1|", cut},
        {std::string(1349, 'd'), mac, "", false, opened, ""},
        {"dds", mac + "m", "", false, written, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.dds.size()) + " and " + std::to_string(row.mac.size()));
        m_driver.ClearJournal();
        m_driver.SetValue(16, row.value16);
        if (row.unterminated) m_driver.AddFault(CDriverFault::Unterminated(1));
        WriteDataFiles(kIdentifiedDocument, row.dds, row.mac);
        const LONG commits = m_driver.CommitCount();
        EXPECT_EQ(Module().F2(), row.writtenBack.empty() ? 1 : 0);
        EXPECT_EQ(JournalText(), row.calls);
        std::vector<std::string> texts;
        for (const auto& call : m_driver.Journal()) {
            if (call.method == "WriteValue") texts.emplace_back(call.data.begin(), call.data.end());
        }
        if (!texts.empty()) {
            EXPECT_EQ(texts, (std::vector<std::string>{std::string("SN77\0\0\0\0\0\0\0", 11),
                                                       std::string("4711.0815.00\0", 13),
                                                       row.writtenBack + '\0'}));
        }
        EXPECT_EQ(m_driver.CommitCount() - commits, row.writtenBack.empty() ? 0 : 1);
        EXPECT_EQ(FileContent("NornData.dds") + FileContent("NornData.mac"), row.dds + row.mac);
    }
    EXPECT_EQ(Payload(kDeviceDataSetBlock), "") << "the empty file's";
}

// The backup reads both blocks before it writes a file: a block it cannot read leaves the files
// of an earlier backup as they were.
TEST_F(BackupRestoreTest, UnreadableBlockLeavesTheFilesOfAnEarlierBackup) {
    WriteDataFiles("old", "old", "old");
    m_driver.AddFault(CDriverFault::Failure("ReadBlock", 2, static_cast<HRESULT>(0x80048888)));
    EXPECT_EQ(Module().F3(), 1);
    EXPECT_EQ(
        FileContent("NornData.xml") + FileContent("NornData.dds") + FileContent("NornData.mac"),
        "oldoldold");
}

}  // namespace
