// Hostile inputs at the host surface: service data files that are empty, huge, directories or
// unreadable, a service data directory that cannot be written, roots at and beyond the longest
// the module reads, and a root with characters outside ASCII. Each case checks the result, the
// reports, and what the blocks and the files hold afterwards.
#include <gtest/gtest.h>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "HostFixture.h"

namespace {

using namespace norn::eeprom;
using norn::test::CHostFixture;
using norn::test::CLoadedModule;
using norn::test::CTempDirectory;
namespace fs = std::filesystem;

using Trail = std::vector<std::string>;
using Files = std::map<std::string, std::string>;

const std::string kDocumentWithIdentification =
    "<?xml version='1.0' standalone='yes'?>\n<!DOCTYPE NornData>\n"
    "<NornData SerialNo=\"SN77\" MaterialNo=\"4711.0815.00\"/>\n";
const std::string kNewDocument =
    "<?xml version='1.0' standalone='yes'?>\n<!DOCTYPE NornData>\n<NornData/>\n";
const std::string kImportedDds(64, 'i');
const std::string kImportedMac(16, 'm');
constexpr size_t kTenMegabytes = 10u << 20;

// While it lives, this thread's file accesses are checked as an unprivileged user's. Root
// ignores permission bits, so under root the tree is handed to that user and the thread's
// filesystem uid dropped to it, which also clears the capabilities that override file
// permissions; the destructor takes uid 0 back. For any other user the bits apply anyway.
class CUnprivilegedFileAccess {
public:
    static constexpr uid_t kUser = 65534;

    explicit CUnprivilegedFileAccess(const std::string& tree) {
        if (geteuid() != 0) return;
        EXPECT_EQ(lchown(tree.c_str(), kUser, static_cast<gid_t>(-1)), 0);
        for (const auto& entry : fs::recursive_directory_iterator(tree)) {
            EXPECT_EQ(lchown(entry.path().c_str(), kUser, static_cast<gid_t>(-1)), 0);
        }
        setfsuid(kUser);
        m_dropped = true;
    }
    ~CUnprivilegedFileAccess() {
        if (m_dropped) setfsuid(0);
    }
    CUnprivilegedFileAccess(const CUnprivilegedFileAccess&) = delete;
    CUnprivilegedFileAccess& operator=(const CUnprivilegedFileAccess&) = delete;

    // False when the process is root but may not change its filesystem uid (no CAP_SETUID).
    static bool Possible() {
        if (geteuid() != 0) return true;
        setfsuid(kUser);
        const bool dropped = setfsuid(static_cast<uid_t>(-1)) == static_cast<int>(kUser);
        setfsuid(0);
        return dropped;
    }

private:
    bool m_dropped = false;
};

class HostileInputTest : public CHostFixture {
protected:
    // A payload as it stands in its block.
    std::string Payload(LONG block) const {
        const auto image = m_driver.CommittedImage(block);
        if (block == kMacAddressBlock) return {image.begin() + kHeaderSize, image.end()};
        const uint32_t length = image[8] | image[9] << 8 | image[10] << 16 | image[11] << 24;
        return {image.begin() + 12, image.begin() + 12 + length};
    }
    // What the instrument holds: both committed blocks, the commits, and whether a write waits.
    auto Instrument() const {
        return std::make_tuple(m_driver.CommittedImage(kDeviceDataSetBlock),
                               m_driver.CommittedImage(kMacAddressBlock), m_driver.CommitCount(),
                               m_driver.HasPendingWrites(), m_driver.Value(3), m_driver.Value(4));
    }

    struct CExported {
        LONG result;
        std::string bytes;  // the payload and the byte after it
        ULONG count;
        bool handedOut;
    };
    // An export entry as a host calls it, its buffer given back through entry 21.
    CExported Export(int entry) const {
        BYTE* buffer = nullptr;
        ULONG count = 77;
        const LONG result = Module().Entry<PFN_BRIGHTWORK_EXPORT>(entry)(0, &buffer, &count);
        CExported out{result, {}, count, buffer != nullptr};
        if (buffer != nullptr && count <= 1348) {
            out.bytes.assign(reinterpret_cast<const char*>(buffer), count + 1);
        }
        Module().Entry<PFN_BRIGHTWORK_RELEASEBUFFER>(EntryReleaseBuffer)(0, buffer);
        return out;
    }
    LONG Import(int entry, const std::string& payload) const {
        return Module().Entry<PFN_BRIGHTWORK_IMPORT>(entry)(
            0, reinterpret_cast<const BYTE*>(payload.data()), static_cast<LONG>(payload.size()));
    }
    // One host operation by its report code, with a fixed payload for the imports; an export's
    // outcome is kept in m_lastExport.
    LONG Run(const std::string& operation) {
        if (operation == "D4") return Import(EntryDeviceDataSetImport, kImportedDds);
        if (operation == "D6") return Import(EntryMacAddressImport, kImportedMac);
        if (operation == "D5" || operation == "D7") {
            const bool dds = operation == "D5";
            m_lastExport = Export(dds ? EntryDeviceDataSetExport : EntryMacAddressExport);
            return m_lastExport.result;
        }
        if (operation == "F2") return Module().F2();
        return Module().F3();
    }
    // An export that failed at its file: count 0, no buffer handed out, the driver not asked.
    void ExpectNothingExported(const std::string& operation) const {
        if (operation != "D5" && operation != "D7") return;
        EXPECT_EQ(m_lastExport.count, 0u);
        EXPECT_FALSE(m_lastExport.handedOut);
        EXPECT_TRUE(m_driver.Journal().empty());
    }
    template <class Call>
    LONG RunUnprivileged(Call call) const {
        CUnprivilegedFileAccess access(m_root.Path());
        return call();
    }

    // The files that a backup and the host's service procedure leave: payloads as in the blocks,
    // a document with the identification.
    void LayOutMatchingFiles(const std::string& directory) const {
        CTempDirectory::WriteFile(directory + "/NornData.xml", kDocumentWithIdentification);
        CTempDirectory::WriteFile(directory + "/NornData.dds", Payload(kDeviceDataSetBlock));
        CTempDirectory::WriteFile(directory + "/NornData.mac", Payload(kMacAddressBlock));
    }
    // Everything below a directory: relative name to content, "<dir>" for a directory.
    static Files Snapshot(const std::string& directory) {
        Files files;
        for (const auto& entry : fs::recursive_directory_iterator(directory)) {
            const std::string name = fs::relative(entry.path(), directory).string();
            files[name] = entry.is_directory() ? "<dir>" : ReadAll(entry.path().string());
        }
        return files;
    }
    static std::string ReadAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // The reports as "code:line"; every failure point met here reports E_FAIL.
    Trail FailTrail() const {
        for (const auto& report : Reports()) EXPECT_EQ(report.hresult, E_FAIL);
        return ReportTrail();
    }
    void StartRow() {
        m_manager.Clear();
        m_driver.ClearJournal();
        m_lastExport = {};
    }

    // A service data root of exactly `length` characters below this test's root.
    std::string RootOfLength(size_t length) const {
        std::string root = m_root.Path() + "/";
        root += std::string(length - root.size(), 'r');
        CTempDirectory::MakeServiceDataDirectory(root);
        return root;
    }
    // A fresh load of the module that finds `root` in the environment.
    void LoadWithRoot(const std::string& root) {
        m_module.reset();
        setenv("TARVO_SYSTEM_ROOT_RW", root.c_str(), 1);
        m_module = std::make_unique<CLoadedModule>();
        ASSERT_TRUE(m_module->Loaded());
    }

    CExported m_lastExport{};
};

TEST_F(HostileInputTest, EmptyDeviceDataSetFileIsADifferenceForTheExportUnlessTheBlockIsEmpty) {
    LayOutMatchingFiles(m_xmlDirectory);
    CTempDirectory::WriteFile(DataFile("NornData.dds"), "");
    const std::string payload = Payload(kDeviceDataSetBlock);
    ASSERT_GT(payload.size(), 1u);
    const auto instrument = Instrument();
    const CExported out = Export(EntryDeviceDataSetExport);
    EXPECT_EQ(out.result, 1);
    EXPECT_EQ(FailTrail(), Trail{"D5:1257"});
    EXPECT_EQ(out.count, payload.size()) << "the payload's length, not the file's";
    EXPECT_EQ(out.bytes, '\0' + payload.substr(1) + '\0') << "first byte cleared";
    EXPECT_EQ(FileContent("NornData.dds"), "");
    EXPECT_EQ(Instrument(), instrument);

    // An empty payload is written as an empty file, and the two then agree.
    StartRow();
    ASSERT_EQ(Import(EntryDeviceDataSetImport, ""), 0);
    EXPECT_EQ(FileContent("NornData.dds"), "");
    const CExported empty = Export(EntryDeviceDataSetExport);
    EXPECT_EQ(empty.result, 0);
    EXPECT_EQ(empty.count, 0u);
    EXPECT_EQ(empty.bytes, std::string(1, '\0'));
    EXPECT_TRUE(Reports().empty());
}

// The restore takes the file as it is: an empty file is an empty payload, restored like any
// other.
TEST_F(HostileInputTest, EmptyDeviceDataSetFileIsRestoredAsAnEmptyPayload) {
    LayOutMatchingFiles(m_xmlDirectory);
    CTempDirectory::WriteFile(DataFile("NornData.dds"), "");
    const Files files = Snapshot(m_xmlDirectory);
    EXPECT_EQ(Module().F2(), 0);
    EXPECT_TRUE(Reports().empty());
    EXPECT_EQ(Payload(kDeviceDataSetBlock), "");
    EXPECT_EQ(m_driver.CommitCount(), 1);
    EXPECT_EQ(m_driver.Value(3), "SN77");
    EXPECT_EQ(Snapshot(m_xmlDirectory), files);
}

TEST_F(HostileInputTest, TenMegabyteDeviceDataSetFileIsComparedOverThePayloadOnly) {
    const std::string payload = Payload(kDeviceDataSetBlock);
    const auto instrument = Instrument();
    const struct {
        std::string file;
        LONG result;
        Trail trail;
        std::string bytes;
    } rows[] = {
        {payload + std::string(kTenMegabytes, 'x'), 0, {}, payload + '\0'},
        {std::string(kTenMegabytes, '\0'), 1, {"D5:1257"}, '\0' + payload.substr(1) + '\0'},
    };
    for (const auto& row : rows) {
        StartRow();
        CTempDirectory::WriteFile(DataFile("NornData.dds"), row.file);
        const CExported out = Export(EntryDeviceDataSetExport);
        EXPECT_EQ(out.result, row.result);
        EXPECT_EQ(FailTrail(), row.trail);
        EXPECT_EQ(out.count, payload.size()) << "the payload's length, not the file's";
        EXPECT_EQ(out.bytes, row.bytes);
        EXPECT_EQ(FileContent("NornData.dds").size(), row.file.size());
        EXPECT_EQ(Instrument(), instrument);
    }
}

TEST_F(HostileInputTest, TenMegabyteDeviceDataSetFileIsRefusedByTheRestoreBeforeAnyWrite) {
    LayOutMatchingFiles(m_xmlDirectory);
    CTempDirectory::WriteFile(DataFile("NornData.dds"), std::string(kTenMegabytes, 'd'));
    const Files files = Snapshot(m_xmlDirectory);
    const auto instrument = Instrument();
    EXPECT_EQ(Module().F2(), 1);
    EXPECT_EQ(FailTrail(), (Trail{"SetDeviceDataSetEEPROM:907", "F2:3389"}));
    EXPECT_EQ(m_driver.CallCount("SetEEPROMMode"), 1u) << "opened, never committed";
    EXPECT_EQ(m_driver.CallCount("WriteBlock"), 0u);
    EXPECT_EQ(m_driver.CallCount("WriteValue"), 0u);
    EXPECT_EQ(Instrument(), instrument);
    EXPECT_EQ(Snapshot(m_xmlDirectory), files);
    auto begin = Module().Entry<PFN_BRIGHTWORK_BEGINDEFERREDCOMMIT>(EntryBeginDeferredCommit);
    EXPECT_EQ(begin(), S_OK) << "the restore's batch is closed";
}

// A directory that stands where a data file belongs: readers and writers fail at their open of
// it, the directory stays, and only the files written before that open have changed.
TEST_F(HostileInputTest, DirectoryInPlaceOfADataFileFailsAtItsOpen) {
    const struct {
        const char* file;
        const char* operation;
        Trail trail;
        Files rewritten;
    } rows[] = {
        {"NornData.dds", "D5", {"D5:1230"}, {}},
        {"NornData.mac", "D7", {"D7:1631"}, {}},
        {"NornData.xml", "F2", {"F2:3240"}, {}},
        {"NornData.dds", "F2", {"F2:3310"}, {}},
        {"NornData.mac", "F2", {"F2:3340"}, {}},
        {"NornData.dds", "D4", {"CreateDDSFile:1036", "D4:1098"}, {}},
        {"NornData.mac", "D6", {"CreateMACFile:1447", "D6:1500"}, {}},
        {"NornData.xml", "F3", {"F3:3543"}, {}},
        {"NornData.dds", "F3", {"CreateDDSFile:1036", "F3:3588"}, {{"NornData.xml", kNewDocument}}},
        {"NornData.mac",
         "F3",
         {"CreateMACFile:1447", "F3:3595"},
         {{"NornData.xml", kNewDocument}, {"NornData.dds", Payload(kDeviceDataSetBlock)}}},
    };
    const auto instrument = Instrument();
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.operation) + " with a directory as " + row.file);
        StartRow();
        fs::remove_all(m_xmlDirectory);
        CTempDirectory::MakeServiceDataDirectory(m_root.Path());
        CTempDirectory::WriteFile(DataFile("NornData.xml"), kDocumentWithIdentification);
        CTempDirectory::WriteFile(DataFile("NornData.dds"), "old dds");
        CTempDirectory::WriteFile(DataFile("NornData.mac"), "old mac");
        fs::remove(DataFile(row.file));
        fs::create_directory(DataFile(row.file));
        CTempDirectory::WriteFile(DataFile(row.file) + "/inside", "kept");
        Files expected = Snapshot(m_xmlDirectory);
        for (const auto& [name, content] : row.rewritten) expected[name] = content;

        EXPECT_EQ(Run(row.operation), 1);
        EXPECT_EQ(FailTrail(), row.trail);
        EXPECT_EQ(Snapshot(m_xmlDirectory), expected);
        EXPECT_EQ(Instrument(), instrument);
        ExpectNothingExported(row.operation);
        if (std::string(row.operation) == "F2") {
            EXPECT_TRUE(m_driver.Journal().empty());
        }
    }
}

// A file that cannot be read fails its reader at the open; being writable, it is left as it is.
TEST_F(HostileInputTest, UnreadableDataFileFailsItsReaderAtTheOpen) {
    if (!CUnprivilegedFileAccess::Possible()) GTEST_SKIP() << "root without CAP_SETUID";
    const struct {
        const char* file;
        const char* operation;
        Trail trail;
    } rows[] = {
        {"NornData.dds", "D5", {"D5:1230"}}, {"NornData.mac", "D7", {"D7:1631"}},
        {"NornData.xml", "F2", {"F2:3240"}}, {"NornData.dds", "F2", {"F2:3310"}},
        {"NornData.mac", "F2", {"F2:3340"}},
    };
    const auto instrument = Instrument();
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.operation) + " with an unreadable " + row.file);
        StartRow();
        LayOutMatchingFiles(m_xmlDirectory);
        chmod(DataFile(row.file).c_str(), 0200);
        const Files files = Snapshot(m_xmlDirectory);
        EXPECT_EQ(RunUnprivileged([&] { return Run(row.operation); }), 1);
        EXPECT_EQ(FailTrail(), row.trail);
        EXPECT_EQ(CTempDirectory::Mode(DataFile(row.file)), 0200u);
        EXPECT_EQ(Snapshot(m_xmlDirectory), files);
        EXPECT_TRUE(m_driver.Journal().empty()) << "the files are read before the instrument";
        ExpectNothingExported(row.operation);
        EXPECT_EQ(Instrument(), instrument);
        chmod(DataFile(row.file).c_str(), 0644);
    }
}

// Mode 000 counts as read-only: the start of the operation gives the owner read and write back,
// and the file is then read as usual.
TEST_F(HostileInputTest, FileWithoutAnyPermissionIsMadeWritableAndRead) {
    if (!CUnprivilegedFileAccess::Possible()) GTEST_SKIP() << "root without CAP_SETUID";
    LayOutMatchingFiles(m_xmlDirectory);
    chmod(DataFile("NornData.dds").c_str(), 0);
    EXPECT_EQ(RunUnprivileged([&] { return Run("D5"); }), 0);
    EXPECT_TRUE(Reports().empty());
    EXPECT_EQ(CTempDirectory::Mode(DataFile("NornData.dds")), 0600u);
}

// A service data directory without write permission: no writer can create a missing file there
// (each fails at its open, the blocks stay), while files that exist are rewritten in place,
// which needs write permission on the files only.
TEST_F(HostileInputTest, ReadOnlyDirectoryRefusesNewFilesButNotRewrites) {
    if (!CUnprivilegedFileAccess::Possible()) GTEST_SKIP() << "root without CAP_SETUID";
    const struct {
        const char* operation;
        Trail trail;
    } rows[] = {
        {"D4", {"CreateDDSFile:1036", "D4:1098"}},
        {"D6", {"CreateMACFile:1447", "D6:1500"}},
        {"F3", {"F3:3543"}},
    };
    const auto instrument = Instrument();
    chmod(m_xmlDirectory.c_str(), 0555);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.operation);
        StartRow();
        EXPECT_EQ(RunUnprivileged([&] { return Run(row.operation); }), 1);
        EXPECT_EQ(FailTrail(), row.trail);
        EXPECT_TRUE(Snapshot(m_xmlDirectory).empty());
        EXPECT_EQ(Instrument(), instrument);
    }

    StartRow();
    chmod(m_xmlDirectory.c_str(), 0755);
    for (const char* name : {"NornData.xml", "NornData.dds", "NornData.mac"}) {
        CTempDirectory::WriteFile(DataFile(name), "old", 0444);
    }
    chmod(m_xmlDirectory.c_str(), 0555);
    EXPECT_EQ(RunUnprivileged([&] { return Module().F3(); }), 0);
    EXPECT_TRUE(Reports().empty());
    EXPECT_EQ(Snapshot(m_xmlDirectory), (Files{{"NornData.xml", kNewDocument},
                                               {"NornData.dds", Payload(kDeviceDataSetBlock)},
                                               {"NornData.mac", Payload(kMacAddressBlock)}}));
    chmod(m_xmlDirectory.c_str(), 0755);  // so that a user other than root can remove it
}

TEST_F(HostileInputTest, RootOf99CharactersIsUsedAsItIs) {
    const std::string root = RootOfLength(99);
    LoadWithRoot(root);
    ASSERT_EQ(Module().F3(), 0);
    EXPECT_EQ(Snapshot(root + "/eeprom/xml"), (Files{{"NornData.xml", kNewDocument},
                                                     {"NornData.dds", Payload(kDeviceDataSetBlock)},
                                                     {"NornData.mac", Payload(kMacAddressBlock)}}));
    EXPECT_EQ(Run("D5"), 0);
    EXPECT_EQ(Run("D7"), 0);
    EXPECT_TRUE(Reports().empty());
    EXPECT_TRUE(Snapshot(m_xmlDirectory).empty()) << "the fixture's own root is not used";
}

// A root of 100 characters is not read at all: the paths stay empty, so every operation fails
// at its first open and no file anywhere is created, changed or removed, neither below that
// root nor below its first 99 characters (a cut root) nor in the working directory.
TEST_F(HostileInputTest, RootOf100CharactersLeavesThePathsEmptyAndEveryOperationFailsAtItsOpen) {
    const std::string cut = RootOfLength(99);
    const std::string root = cut + "r";
    CTempDirectory::MakeServiceDataDirectory(root);
    LayOutMatchingFiles(cut + "/eeprom/xml");
    LayOutMatchingFiles(root + "/eeprom/xml");
    const Files files = Snapshot(m_root.Path());
    const auto instrument = Instrument();
    LoadWithRoot(root);
    const struct {
        const char* operation;
        Trail trail;
    } rows[] = {
        {"D4", {"CreateDDSFile:1036", "D4:1098"}},
        {"D5", {"D5:1230"}},
        {"D6", {"CreateMACFile:1447", "D6:1500"}},
        {"D7", {"D7:1631"}},
        {"F2", {"F2:3240"}},
        {"F3", {"F3:3543"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.operation);
        StartRow();
        EXPECT_EQ(Run(row.operation), 1);
        EXPECT_EQ(FailTrail(), row.trail);
        ExpectNothingExported(row.operation);
    }
    EXPECT_EQ(Snapshot(m_root.Path()), files);
    EXPECT_EQ(Instrument(), instrument);
    for (const char* name : {"NornData.xml", "NornData.dds", "NornData.mac", "eeprom"}) {
        EXPECT_FALSE(fs::exists(name)) << name << " in the working directory";
    }
}

// Backup and restore below a root with characters outside ASCII: the files land in that root's
// own service data directory and nowhere else, and the restore finds them there.
TEST_F(HostileInputTest, RootOutsideAsciiKeepsBackupAndRestoreTogether) {
    const std::string root = m_root.Path() + "/Prüfstand-ü-測試-データ";
    const std::string directory = CTempDirectory::MakeServiceDataDirectory(root);
    LoadWithRoot(root);
    const std::string dds = Payload(kDeviceDataSetBlock);
    const std::string mac = Payload(kMacAddressBlock);
    ASSERT_EQ(Module().F3(), 0);
    EXPECT_EQ(
        Snapshot(directory),
        (Files{{"NornData.xml", kNewDocument}, {"NornData.dds", dds}, {"NornData.mac", mac}}));
    Files everything = Snapshot(m_root.Path());
    EXPECT_EQ(everything.count("Prüfstand-ü-測試-データ/eeprom/xml/NornData.dds"), 1u);
    EXPECT_EQ(everything.size(), 8u) << "eeprom/xml of both roots, the three files, nothing else";

    // The host adds the identification; the instrument's payloads are overwritten meanwhile.
    CTempDirectory::WriteFile(directory + "/NornData.xml", kDocumentWithIdentification);
    for (LONG block : {kDeviceDataSetBlock, kMacAddressBlock}) {
        auto image = m_driver.CommittedImage(block);
        std::fill(image.begin() + kHeaderSize, image.end(), kErasedByte);
        m_driver.SetCommittedImage(block, image);
    }
    ASSERT_EQ(Module().F2(), 0);
    EXPECT_EQ(Payload(kDeviceDataSetBlock), dds);
    EXPECT_EQ(Payload(kMacAddressBlock), mac);
    EXPECT_EQ(m_driver.Value(3), "SN77");
    EXPECT_TRUE(Reports().empty());
}

}  // namespace
