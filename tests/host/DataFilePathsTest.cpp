// Where the module looks for its service data files: resolved once per load from
// TARVO_SYSTEM_ROOT_RW, and read-only files made writable again at the start of every operation.
// Seen from outside through what the module does to the files' modes.
#include <gtest/gtest.h>

#include <iomanip>
#include <utility>

#include "HostFixture.h"

namespace {

using norn::test::CHostFixture;
using norn::test::CTempDirectory;

constexpr mode_t kReadOnly = 0444;

class DataFilePathsTest : public CHostFixture {
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
};

// A file without owner write gets owner read and write, each file on its own and checked again
// on every call; a file with owner write keeps its mode.
TEST_F(DataFilePathsTest, ReadOnlyFilesAreMadeWritableAtEveryOperation) {
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

TEST_F(DataFilePathsTest, RootIsReadOncePerLoad) {
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
TEST_F(DataFilePathsTest, RootOfUpTo99CharactersIsUsedAndALongerOneNotAtAll) {
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

// Unset, the root names no folder at all; the operation itself goes on as usual. (Set but empty,
// it is taken as it is: the paths then begin at /eeprom, which the conformance table checks.)
TEST_F(DataFilePathsTest, UnsetRootTouchesNothing) {
    RunAnOperation();  // the load before knew this root
    const std::string file = ReadOnlyDataFile(m_root.Path(), "NornData.xml");
    unsetenv("TARVO_SYSTEM_ROOT_RW");
    m_module.reset();
    m_module = std::make_unique<norn::test::CLoadedModule>();
    EXPECT_EQ(RunAnOperation(), 1);
    EXPECT_FALSE(Writable(file));
}

}  // namespace
