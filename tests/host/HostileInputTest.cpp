// Service data files the module cannot use: a directory standing where a file belongs, a file it
// may not read, a service data directory it may not write. The operation fails at its open of
// that file; the files it wrote before stay written, nothing else on disk changes, and only the
// backup has asked the driver anything. (The report lines of these failure points, and what the
// blocks hold after them, are cases of the reliability suite's conformance table.)
#include <gtest/gtest.h>

#include <sys/fsuid.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "HostFixture.h"

namespace {

using namespace norn::eeprom;
using norn::test::CHostFixture;
using norn::test::CTempDirectory;
using norn::test::kIdentifiedDocument;
using norn::test::kNewDocument;
namespace fs = std::filesystem;

using Files = std::map<std::string, std::string>;

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
    // One host operation by its report code.
    LONG Run(const std::string& operation, bool unprivileged = false) {
        std::unique_ptr<CUnprivilegedFileAccess> access;
        if (unprivileged) access = std::make_unique<CUnprivilegedFileAccess>(m_root.Path());
        if (operation == "D4") return Import(EntryDeviceDataSetImport, std::string(64, 'i'));
        if (operation == "D6") return Import(EntryMacAddressImport, std::string(16, 'm'));
        if (operation == "D5") return Export(EntryDeviceDataSetExport).result;
        if (operation == "D7") return Export(EntryMacAddressExport).result;
        return operation == "F2" ? Module().F2() : Module().F3();
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
    // Only the backup asks the driver before it opens a file.
    void ExpectInstrumentUntouchedBy(const std::string& operation) const {
        if (operation != "F3") {
            EXPECT_TRUE(m_driver.Journal().empty());
        }
    }
};

// Readers and writers with a directory where their file belongs, readers with a file they may not
// read. The backup has written the files before the one it failed at: the document anew, the
// device data set file with the block's payload.
TEST_F(HostileInputTest, FileThatCannotBeOpenedFailsItsOperationAndNothingElseChanges) {
    enum EObstacle { Directory, Unreadable };
    const struct {
        EObstacle obstacle;
        const char* file;
        const char* operation;
    } rows[] = {
        {Directory, "NornData.dds", "D5"},  {Directory, "NornData.mac", "D7"},
        {Directory, "NornData.xml", "F2"},  {Directory, "NornData.dds", "F2"},
        {Directory, "NornData.mac", "F2"},  {Directory, "NornData.dds", "D4"},
        {Directory, "NornData.mac", "D6"},  {Directory, "NornData.xml", "F3"},
        {Directory, "NornData.dds", "F3"},  {Directory, "NornData.mac", "F3"},
        {Unreadable, "NornData.dds", "D5"}, {Unreadable, "NornData.mac", "D7"},
        {Unreadable, "NornData.xml", "F2"}, {Unreadable, "NornData.dds", "F2"},
        {Unreadable, "NornData.mac", "F2"},
    };
    for (const auto& row : rows) {
        const bool unreadable = row.obstacle == Unreadable;
        const std::string operation = row.operation, name = row.file, file = DataFile(row.file);
        SCOPED_TRACE(operation + (unreadable ? " with an unreadable " : " with a directory as ") +
                     row.file);
        if (unreadable && !CUnprivilegedFileAccess::Possible()) continue;  // root, no CAP_SETUID
        m_driver.ClearJournal();
        fs::remove_all(m_xmlDirectory);
        CTempDirectory::MakeServiceDataDirectory(m_root.Path());
        WriteDataFiles(kIdentifiedDocument, "old dds", "old mac");
        if (unreadable) {
            chmod(file.c_str(), 0200);
        } else {
            fs::remove(file);
            fs::create_directory(file);
            CTempDirectory::WriteFile(file + "/inside", "kept");
        }
        Files expected = Snapshot();
        if (operation == "F3" && name != "NornData.xml") expected["NornData.xml"] = kNewDocument;
        if (operation == "F3" && name == "NornData.mac") {
            expected["NornData.dds"] = Payload(kDeviceDataSetBlock);
        }

        EXPECT_EQ(Run(operation, unreadable), 1);
        EXPECT_EQ(Snapshot(), expected);
        ExpectInstrumentUntouchedBy(operation);
    }
}

// A service data directory without write permission: no writer can create a missing file there,
// while files that exist are rewritten in place, which needs write permission on the files only
// (the operation makes read-only ones writable first).
TEST_F(HostileInputTest, ReadOnlyDirectoryRefusesNewFilesButNotRewrites) {
    if (!CUnprivilegedFileAccess::Possible()) GTEST_SKIP() << "root without CAP_SETUID";
    chmod(m_xmlDirectory.c_str(), 0555);
    for (const char* operation : {"D4", "D6", "F3"}) {
        SCOPED_TRACE(operation);
        m_driver.ClearJournal();
        EXPECT_EQ(Run(operation, true), 1);
        EXPECT_TRUE(Snapshot().empty());
        ExpectInstrumentUntouchedBy(operation);
    }

    m_manager.Clear();
    chmod(m_xmlDirectory.c_str(), 0755);
    for (const char* name : {"NornData.xml", "NornData.dds", "NornData.mac"}) {
        CTempDirectory::WriteFile(DataFile(name), "old", 0444);
    }
    chmod(m_xmlDirectory.c_str(), 0555);
    EXPECT_EQ(Run("F3", true), 0);
    EXPECT_TRUE(Reports().empty());
    EXPECT_EQ(Snapshot(), (Files{{"NornData.xml", kNewDocument},
                                 {"NornData.dds", Payload(kDeviceDataSetBlock)},
                                 {"NornData.mac", Payload(kMacAddressBlock)}}));
    chmod(m_xmlDirectory.c_str(), 0755);  // so that a user other than root can remove it
}

}  // namespace
