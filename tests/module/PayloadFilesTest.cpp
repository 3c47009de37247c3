// CreateDDSFile and CreateMACFile where no operation's own checks come first: a payload that
// cannot be read is refused without reading it, and a missing service data directory is not
// created. (Their other failure points are cases of the reliability suite's conformance table;
// what the files hold after a write, of the host tests' round trips.)
#include <gtest/gtest.h>

#include <norn/firmware/ErrorManagerSimulator.h>
#include <norn/firmware/RotRegistration.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "files/DataFilePaths.h"
#include "files/PayloadFiles.h"
#include "norn/ComApartment.h"
#include "support/TempDirectory.h"

using norn::test::CTempDirectory;

namespace {

std::string Content(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PayloadFilesTest : public ::testing::Test {
protected:
    // The module's paths resolved below this test's root, as an operation resolves them.
    void SetUp() override {
        setenv("TARVO_SYSTEM_ROOT_RW", m_root.Path().c_str(), 1);
        ResetDataFilePathsForTests();
        ResolveDataFilePaths();
    }
    void TearDown() override {
        ResetDataFilePathsForTests();
        unsetenv("TARVO_SYSTEM_ROOT_RW");
    }
    std::vector<LONG> ReportLines() const {
        std::vector<LONG> lines;
        for (const auto& report : m_manager.Reports()) lines.push_back(report.line);
        return lines;
    }

    CTempDirectory m_root{"norn-files"};
    std::string m_directory = CTempDirectory::MakeServiceDataDirectory(m_root.Path());
    norn::CComApartment m_apartment;
    norn::firmware::CErrorManagerSimulator m_manager;
    norn::firmware::CRotRegistration m_registration{&m_manager, OLESTR("ErrorManager")};
};

TEST_F(PayloadFilesTest, MissingDirectoryIsNotCreated) {
    std::filesystem::remove_all(m_directory);
    const BYTE payload[4] = {1, 2, 3, 4};
    EXPECT_EQ(CreateDDSFile(payload, 4), 1) << "0 is success here, 1 failure";
    EXPECT_FALSE(CreateMACFile(payload, 4)) << "true is success here, false failure";
    EXPECT_EQ(ReportLines(), (std::vector<LONG>{1036, 1447})) << "at the open";
    EXPECT_FALSE(std::filesystem::exists(m_directory));
}

TEST_F(PayloadFilesTest, UnreadablePayloadIsRefusedWithoutReadingIt) {
    EXPECT_EQ(CreateDDSFile(nullptr, 5), 1);
    EXPECT_FALSE(CreateMACFile(reinterpret_cast<const BYTE*>("abc"), -1));
    EXPECT_EQ(ReportLines(), (std::vector<LONG>{1042, 1458})) << "after the open";
    EXPECT_EQ(Content(DDSFilePath()), "") << "opened and truncated, nothing written";
}

}  // namespace
