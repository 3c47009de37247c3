// Where the module looks for its service data files: resolved once per load from
// TARVO_SYSTEM_ROOT_RW, and read-only files made writable again at the start of every operation.
// Seen from outside through what the module does to the files.
#include <gtest/gtest.h>

#include "HostFixture.h"

namespace {

using norn::test::CHostFixture;
using norn::test::CTempDirectory;

constexpr mode_t kReadOnly = 0444;

class DataFilePathsTest : public CHostFixture {
protected:
    // Any operation resolves the paths first; F6 with an empty text touches nothing else.
    void RunAnOperation() { Module().F6(""); }

    std::string ReadOnlyDataFile(const std::string& root, const char* name) {
        const std::string path = CTempDirectory::MakeServiceDataDirectory(root) + "/" + name;
        CTempDirectory::WriteFile(path, "data", kReadOnly);
        return path;
    }
    static bool Writable(const std::string& path) {
        return (CTempDirectory::Mode(path) & 0200) != 0;
    }
};

TEST_F(DataFilePathsTest, EachReadOnlyFileIsMadeWritableOnItsOwn) {
    const std::string mac = ReadOnlyDataFile(m_root.Path(), "NornData.mac");
    RunAnOperation();
    EXPECT_EQ(CTempDirectory::Mode(mac), 0644u) << "owner read and write added";
    const std::string xml = ReadOnlyDataFile(m_root.Path(), "NornData.xml");
    const std::string dds = ReadOnlyDataFile(m_root.Path(), "NornData.dds");
    chmod(mac.c_str(), kReadOnly);
    RunAnOperation();
    EXPECT_TRUE(Writable(xml));
    EXPECT_TRUE(Writable(dds));
    EXPECT_TRUE(Writable(mac)) << "not cached: checked again on every call";
}

TEST_F(DataFilePathsTest, WritableFileKeepsItsPermissions) {
    const std::string dds = DataFile("NornData.dds");
    CTempDirectory::WriteFile(dds, "payload", 0640);
    RunAnOperation();
    EXPECT_EQ(CTempDirectory::Mode(dds), 0640u);
}

TEST_F(DataFilePathsTest, RootIsReadOncePerLoad) {
    RunAnOperation();
    CTempDirectory other("norn-other");
    const std::string moved = ReadOnlyDataFile(other.Path(), "NornData.xml");
    setenv("TARVO_SYSTEM_ROOT_RW", other.Path().c_str(), 1);
    RunAnOperation();
    EXPECT_FALSE(Writable(moved)) << "the loaded module keeps its first root";

    m_module.reset();
    ASSERT_FALSE(norn::test::CLoadedModule::IsMapped()) << "the module did not unload";
    m_module = std::make_unique<norn::test::CLoadedModule>();
    RunAnOperation();
    EXPECT_TRUE(Writable(moved)) << "a new load reads the root again";
}

// Roots at and beyond the 99 characters the module reads.
struct RootCase {
    size_t length;
    bool found;
};
// Names the row; gtest's default byte dump would read the struct's padding.
void PrintTo(const RootCase& c, std::ostream* os) {
    *os << c.length << " characters" << (c.found ? "" : ", not found");
}

class RootLengthTest : public DataFilePathsTest, public ::testing::WithParamInterface<RootCase> {};

TEST_P(RootLengthTest, RootOfUpTo99CharactersIsKeptAsItIs) {
    std::string root = m_root.Path() + "/";
    root += std::string(GetParam().length - root.size(), 'r');
    ASSERT_EQ(root.size(), GetParam().length);
    const std::string file = ReadOnlyDataFile(root, "NornData.dds");
    setenv("TARVO_SYSTEM_ROOT_RW", root.c_str(), 1);
    m_module = std::make_unique<norn::test::CLoadedModule>();
    RunAnOperation();
    EXPECT_EQ(Writable(file), GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(Lengths, RootLengthTest,
                         ::testing::Values(RootCase{98, true}, RootCase{99, true},
                                           RootCase{100, false}, RootCase{140, false}));

// Unset, the root names no folder at all. (Set but empty, it is taken as it is: the paths then
// begin at /eeprom, which the reliability suite's failure points check.)
TEST_F(DataFilePathsTest, UnsetRootTouchesNothing) {
    RunAnOperation();  // the load before knew this root
    const std::string file = ReadOnlyDataFile(m_root.Path(), "NornData.xml");
    m_module.reset();
    ASSERT_FALSE(norn::test::CLoadedModule::IsMapped()) << "the next load must be a fresh one";
    unsetenv("TARVO_SYSTEM_ROOT_RW");
    m_module = std::make_unique<norn::test::CLoadedModule>();
    RunAnOperation();
    EXPECT_FALSE(Writable(file));
    EXPECT_EQ(Module().F6(""), 1) << "the operation itself goes on as usual";
}

TEST_F(DataFilePathsTest, RootWithCharactersOutsideAsciiFindsItsFiles) {
    const std::string root = m_root.Path() + "/Prüfstand-Ωmega";
    const std::string file = ReadOnlyDataFile(root, "NornData.mac");
    setenv("TARVO_SYSTEM_ROOT_RW", root.c_str(), 1);
    m_module = std::make_unique<norn::test::CLoadedModule>();
    RunAnOperation();
    EXPECT_TRUE(Writable(file));
}

}  // namespace
