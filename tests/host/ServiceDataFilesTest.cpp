// The service data files as a host finds them on disk. Where the module looks for them: resolved
// once per load from TARVO_SYSTEM_ROOT_RW, read-only files made writable again at the start of
// every operation. And files it cannot use: a directory standing where a file belongs, a service
// data directory it may not write; the operation fails at its open of that file, the files it
// wrote before stay written, nothing else on disk changes, and only the backup has asked the
// driver anything. (The report lines of these failure points, and what the
// blocks hold after them, are cases of the reliability suite's conformance table.)
#include <gtest/gtest.h>

#include <sys/fsuid.h>
#include <unistd.h>

#include <filesystem>
#include <iomanip>
#include <map>
#include <string>
#include <utility>

#include "HostFixture.h"

namespace {

using namespace norn::eeprom;
using norn::test::CHostFixture;
using norn::test::CTempDirectory;
using norn::test::kIdentifiedDocument;
using norn::test::kNewDocument;
namespace fs = std::filesystem;

using Files = std::map<std::string, std::string>;
constexpr mode_t kReadOnly = 0444;

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

class ServiceDataFilesTest : public CHostFixture {
protected:
    // Any operation resolves the paths first; F6 with an empty text touches nothing else.
    LONG RunAnOperation() { return Module().F6(""); }
    // One host operation by its report code, with the file accesses of an unprivileged user.
    LONG Run(const std::string& operation, bool unprivileged) {
        std::unique_ptr<CUnprivilegedFileAccess> access;
        if (unprivileged) access = std::make_unique<CUnprivilegedFileAccess>(m_root.Path());
        if (operation == "D4") return Import(EntryDeviceDataSetImport, std::string(64, 'i'));
        if (operation == "D6") return Import(EntryMacAddressImport, std::string(16, 'm'));
        return operation == "F2" ? Module().F2() : Module().F3();
    }

    static std::string ReadOnlyDataFile(const std::string& root, const char* name) {
        const std::string path = CTempDirectory::MakeServiceDataDirectory(root) + "/" + name;
        CTempDirectory::WriteFile(path, "data", kReadOnly);
        return path;
    }
    static bool Writable(const std::string& path) {
        return (CTempDirectory::Mode(path) & 0200) != 0;
    }
    // Everything below the service data directory: relative name to content, "<dir>" for one.
    Files Snapshot() const {
        Files files;
        for (const auto& entry : fs::recursive_directory_iterator(m_xmlDirectory)) {
            const std::string name = fs::relative(entry.path(), m_xmlDirectory).string();
            files[name] = entry.is_directory() ? "<dir>" : FileContent(name.c_str());
        }
        return files;
    }
};

// A file without owner write gets owner read and write, each file on its own and checked again
// on every call; a file with owner write keeps its mode.
TEST_F(ServiceDataFilesTest, ReadOnlyFilesAreMadeWritableAtEveryOperation) {
    const struct {
        const char* file;
        mode_t before, after;
    } rows[] = {
        {"NornData.xml", 0444, 0644}, {"NornData.dds", 0000, 0600}, {"NornData.mac", 0400, 0600},
        {"NornData.mac", 0640, 0640}, {"NornData.mac", 0200, 0200},
    };
    for (const auto& row : rows) {
        CTempDirectory::WriteFile(DataFile(row.file), "data", row.before);
        RunAnOperation();
        EXPECT_EQ(CTempDirectory::Mode(DataFile(row.file)), row.after)
            << row.file << " of mode " << std::oct << row.before;
    }
}

TEST_F(ServiceDataFilesTest, RootIsReadOncePerLoad) {
    RunAnOperation();
    CTempDirectory other("norn-other");
    const std::string moved = ReadOnlyDataFile(other.Path(), "NornData.xml");
    setenv("TARVO_SYSTEM_ROOT_RW", other.Path().c_str(), 1);
    RunAnOperation();
    EXPECT_FALSE(Writable(moved)) << "the loaded module keeps its first root";
    LoadWithRoot(other.Path());
    RunAnOperation();
    EXPECT_TRUE(Writable(moved)) << "a new load reads the root again";
}

// The root is read into 100 characters: up to 99 it is used as it is, characters outside ASCII
// included; a longer one is not used at all, not even cut to its first 99.
TEST_F(ServiceDataFilesTest, RootOfUpTo99CharactersIsUsedAndALongerOneNotAtAll) {
    const std::string cut = m_root.Path() + "/" + std::string(98 - m_root.Path().size(), 'r');
    const std::string inCut = ReadOnlyDataFile(cut, "NornData.dds");
    const std::pair<std::string, bool> roots[] = {
        {cut.substr(0, 98), true},
        {cut, true},
        {cut + "r", false},
        {cut + std::string(41, 'r'), false},
        {m_root.Path() + "/Prüfstand-Ωmega", true},
    };
    for (const auto& [root, used] : roots) {
        SCOPED_TRACE(std::to_string(root.size()) + " bytes: " + root);
        const std::string file = ReadOnlyDataFile(root, "NornData.dds");
        chmod(inCut.c_str(), kReadOnly);
        LoadWithRoot(root);
        RunAnOperation();
        EXPECT_EQ(Writable(file), used);
        EXPECT_EQ(Writable(inCut), root == cut);
    }
}

// The restore reads its three files before it asks the driver anything; the backup has written
// the files before the one it failed at: the document anew, the device data set file. (A file
// the module may not read fails at the same open; its mode is the read-only rows' concern.)
TEST_F(ServiceDataFilesTest, DirectoryWhereAFileBelongsFailsItsOperationAndNothingElseChanges) {
    const std::pair<const char*, const char*> rows[] = {{"NornData.xml", "F2"},
                                                        {"NornData.dds", "F2"},
                                                        {"NornData.mac", "F2"},
                                                        {"NornData.mac", "F3"}};
    for (const auto& [name, operation] : rows) {
        SCOPED_TRACE(std::string(operation) + " with a directory as " + name);
        const std::string file = DataFile(name);
        m_driver.ClearJournal();
        WriteDataFiles(kIdentifiedDocument, "old dds", "old mac");
        fs::remove(file);
        fs::create_directory(file);
        CTempDirectory::WriteFile(file + "/inside", "kept");
        Files expected = Snapshot();
        if (operation == std::string("F3")) {
            expected["NornData.xml"] = kNewDocument;
            expected["NornData.dds"] = Payload(kDeviceDataSetBlock);
        }

        EXPECT_EQ(Run(operation, false), 1);
        EXPECT_EQ(Snapshot(), expected);
        if (operation == std::string("F2")) {
            EXPECT_TRUE(m_driver.Journal().empty()) << "the driver was asked before the files";
        }
        fs::remove_all(file);
    }
}

// A service data directory without write permission: no writer can create a missing file there,
// while files that exist are rewritten in place, which needs write permission on the files only
// (the operation makes read-only ones writable first).
TEST_F(ServiceDataFilesTest, ReadOnlyDirectoryRefusesNewFilesButNotRewrites) {
    if (!CUnprivilegedFileAccess::Possible()) GTEST_SKIP() << "root without CAP_SETUID";
    chmod(m_xmlDirectory.c_str(), 0555);
    for (const char* operation : {"D4", "D6", "F3"}) {
        SCOPED_TRACE(operation);
        EXPECT_EQ(Run(operation, true), 1);
        EXPECT_TRUE(Snapshot().empty());
    }

    chmod(m_xmlDirectory.c_str(), 0755);
    for (const char* name : {"NornData.xml", "NornData.dds", "NornData.mac"}) {
        CTempDirectory::WriteFile(DataFile(name), "old", 0444);
    }
    chmod(m_xmlDirectory.c_str(), 0555);
    EXPECT_EQ(Run("F3", true), 0);
    EXPECT_EQ(Snapshot(), (Files{{"NornData.xml", kNewDocument},
                                 {"NornData.dds", Payload(kDeviceDataSetBlock)},
                                 {"NornData.mac", Payload(kMacAddressBlock)}}));
    chmod(m_xmlDirectory.c_str(), 0755);  // so that a user other than root can remove it
}

}  // namespace
