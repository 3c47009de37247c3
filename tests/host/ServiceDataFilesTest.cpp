// The service data files as a host finds them on disk. Where the module looks for them: resolved
// once per load from TARVO_SYSTEM_ROOT_RW, read-only files made writable again at the start of
// every operation, files that exist rewritten in place. And a directory standing where a file
// belongs: the operation fails at its open of that file, the files it wrote before stay written,
// nothing else on disk changes, and only the backup has asked the driver anything. (The report
// lines of these failure points, and what the blocks hold after them, are cases of the
// reliability suite's conformance table.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
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

class ServiceDataFilesTest : public CHostFixture {
protected:
    // Any operation resolves the paths first; F6 with an empty text touches nothing else.
    LONG RunAnOperation() { return Module().F6(""); }

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
        const bool restore = operation == std::string("F2");
        if (!restore) {
            expected["NornData.xml"] = kNewDocument;
            expected["NornData.dds"] = Payload(kDeviceDataSetBlock);
        }

        EXPECT_EQ(restore ? Module().F2() : Module().F3(), 1);
        EXPECT_EQ(Snapshot(), expected);
        if (restore) {
            EXPECT_TRUE(m_driver.Journal().empty()) << "the driver was asked before the files";
        }
        fs::remove_all(file);
    }
}

// Files that exist are rewritten in place, each keeping its inode, so that a service data
// directory the firmware keeps read-only still takes a backup over the files it holds: only
// the files need write permission, which the operation gives read-only ones first.
TEST_F(ServiceDataFilesTest, ExistingFilesAreRewrittenInPlace) {
    std::map<std::string, std::ifstream> held;  // the files as they were, open before the backup
    for (const char* name : {"NornData.xml", "NornData.dds", "NornData.mac"}) {
        CTempDirectory::WriteFile(DataFile(name), std::string(2000, 'o'), 0444);
        held[name].open(DataFile(name), std::ios::binary);
    }
    EXPECT_EQ(Module().F3(), 0);
    EXPECT_EQ(Snapshot(), (Files{{"NornData.xml", kNewDocument},
                                 {"NornData.dds", Payload(kDeviceDataSetBlock)},
                                 {"NornData.mac", Payload(kMacAddressBlock)}}));
    for (auto& [name, file] : held) {
        const std::string seen{std::istreambuf_iterator<char>(file), {}};
        EXPECT_EQ(seen, FileContent(name.c_str())) << name << " was replaced, not rewritten";
    }
}

}  // namespace
