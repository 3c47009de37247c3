// CreateDDSFile and CreateMACFile: whole-file replacement, and their own failure reports.
#include <gtest/gtest.h>

#include <norn/firmware/ErrorManagerSimulator.h>
#include <norn/firmware/RotRegistration.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

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
    void ExpectReport(size_t index, const char16_t* code, LONG line) {
        const auto reports = m_manager.Reports();
        ASSERT_GT(reports.size(), index);
        EXPECT_EQ(reports[index].reportCode.text, code);
        EXPECT_EQ(reports[index].hresult, E_FAIL);
        EXPECT_EQ(reports[index].line, line);
    }

    CTempDirectory m_root{"norn-files"};
    std::string m_directory = CTempDirectory::MakeServiceDataDirectory(m_root.Path());
    norn::CComApartment m_apartment;
    norn::firmware::CErrorManagerSimulator m_manager;
    norn::firmware::CRotRegistration m_registration{&m_manager, OLESTR("ErrorManager")};
};

TEST_F(PayloadFilesTest, ShorterPayloadReplacesTheWholeFileByteForByte) {
    CTempDirectory::WriteFile(m_directory + "/NornData.mac", std::string(40, 'x'));
    const BYTE mac[16] = {0x00, 0xA5, 0xFF, 0x00, 0x0A, 0x0D, 0x1A, 0x80};
    EXPECT_TRUE(CreateMACFile(mac, 16));
    EXPECT_EQ(Content(MACFilePath()), std::string(reinterpret_cast<const char*>(mac), 16));
    EXPECT_EQ(CreateDDSFile(mac, 3), 0);
    EXPECT_EQ(Content(DDSFilePath()), std::string("\0\xA5\xFF", 3));
    EXPECT_TRUE(m_manager.Reports().empty());
}

TEST_F(PayloadFilesTest, EmptyPayloadGivesAnEmptyFile) {
    CTempDirectory::WriteFile(m_directory + "/NornData.dds", "old");
    EXPECT_EQ(CreateDDSFile(nullptr, 0), 0);
    EXPECT_TRUE(CreateMACFile(nullptr, 0));
    EXPECT_EQ(Content(DDSFilePath()), "");
    EXPECT_EQ(Content(MACFilePath()), "");
}

TEST_F(PayloadFilesTest, MissingDirectoryFailsAtTheOpenAndCreatesNothing) {
    std::filesystem::remove_all(m_directory);
    const BYTE payload[4] = {1, 2, 3, 4};
    EXPECT_EQ(CreateDDSFile(payload, 4), 1) << "0 is success here, 1 failure";
    EXPECT_FALSE(CreateMACFile(payload, 4)) << "true is success here, false failure";
    ExpectReport(0, u"CreateDDSFile", 1036);
    ExpectReport(1, u"CreateMACFile", 1447);
    EXPECT_FALSE(std::filesystem::exists(m_directory));
}

TEST_F(PayloadFilesTest, UnreadablePayloadFailsTheCountCheckWithoutReadingIt) {
    EXPECT_EQ(CreateDDSFile(nullptr, 5), 1);
    EXPECT_FALSE(CreateMACFile(reinterpret_cast<const BYTE*>("abc"), -1));
    ExpectReport(0, u"CreateDDSFile", 1042);
    ExpectReport(1, u"CreateMACFile", 1458);
    EXPECT_EQ(Content(DDSFilePath()), "") << "opened and truncated, nothing written";
}

}  // namespace
