// CServiceDataDocument's attribute cycles. The restore only reads the attributes and no operation
// sets them, but the setters are part of the document's contract. (The new document's exact form
// on disk is checked with the backup, in the fault sweep and the host tests.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "files/ServiceDataDocument.h"
#include "support/TempDirectory.h"

using norn::test::CTempDirectory;

namespace {

class ServiceDataDocumentTest : public ::testing::Test {
protected:
    std::string Content() const {
        std::ifstream in(m_path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    CTempDirectory m_directory{"norn-xml"};
    std::string m_path = m_directory.Path() + "/NornData.xml";
    CServiceDataDocument m_document{QString::fromStdString(m_path)};
};

TEST_F(ServiceDataDocumentTest, EachAttributeIsSetOnItsOwnAndANewDocumentDropsThem) {
    ASSERT_TRUE(m_document.CreateDocument());
    QString serial = "unchanged", material;
    EXPECT_FALSE(m_document.GetSerialNo(serial));
    EXPECT_EQ(serial, "") << "loaded: the missing attribute reads empty";
    ASSERT_TRUE(m_document.SetSerialNo("SN12345678"));
    EXPECT_TRUE(m_document.GetSerialNo(serial));
    EXPECT_EQ(serial, "SN12345678");
    EXPECT_FALSE(m_document.GetMaterialNo(material));
    ASSERT_TRUE(m_document.SetMaterialNo("1234.5678.90"));
    EXPECT_TRUE(m_document.GetMaterialNo(material));
    EXPECT_EQ(material, "1234.5678.90");
    EXPECT_TRUE(m_document.GetSerialNo(serial)) << "the other attribute is kept";
    EXPECT_TRUE(m_document.SetSerialNo(""));
    EXPECT_FALSE(m_document.GetSerialNo(serial)) << "stored empty, it reads as missing";
    ASSERT_TRUE(m_document.CreateDocument());
    EXPECT_FALSE(m_document.GetMaterialNo(material)) << "a new document has none";
}

TEST_F(ServiceDataDocumentTest, MissingOrBrokenFileIsNeverCreatedOrChanged) {
    EXPECT_FALSE(m_document.SetMaterialNo("M"));
    EXPECT_FALSE(std::filesystem::exists(m_path)) << "saving never creates the file";
    CTempDirectory::WriteFile(m_path, "<NornData SerialNo='x'");
    QString serial = "kept";
    EXPECT_FALSE(m_document.GetSerialNo(serial));
    EXPECT_EQ(serial, "kept");
    EXPECT_FALSE(m_document.SetSerialNo("S"));
    EXPECT_EQ(Content(), "<NornData SerialNo='x'");
}

// /dev/full takes every open and refuses every byte, as a full disk does: a write whose bytes
// did not reach the file fails, never only at a close that nobody checks.
TEST_F(ServiceDataDocumentTest, WritesThatDoNotReachTheDiskFail) {
    CServiceDataDocument full(QStringLiteral("/dev/full"));
    EXPECT_FALSE(full.CreateDocument());
    QDomDocument document;
    ASSERT_TRUE(document.setContent(QByteArray("<NornData SerialNo='S'/>")));
    EXPECT_FALSE(full.SaveDocument(document));
}

}  // namespace
