// CServiceDataDocument: the document's exact form on disk and its attribute cycles.
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

TEST_F(ServiceDataDocumentTest, NewDocumentIsDeclarationDocumentTypeAndEmptyRoot) {
    ASSERT_TRUE(m_document.CreateDocument());
    EXPECT_EQ(Content(),
              "<?xml version='1.0' standalone='yes'?>\n<!DOCTYPE NornData>\n<NornData/>\n");
    QString serial = "unchanged";
    EXPECT_FALSE(m_document.GetSerialNo(serial));
    EXPECT_EQ(serial, "") << "loaded: the missing attribute reads empty";
}

TEST_F(ServiceDataDocumentTest, EachAttributeIsSetOnItsOwn) {
    ASSERT_TRUE(m_document.CreateDocument());
    ASSERT_TRUE(m_document.SetSerialNo("SN12345678"));
    QString serial, material = "kept";
    EXPECT_TRUE(m_document.GetSerialNo(serial));
    EXPECT_EQ(serial, "SN12345678");
    EXPECT_FALSE(m_document.GetMaterialNo(material));
    ASSERT_TRUE(m_document.SetMaterialNo("1234.5678.90"));
    EXPECT_TRUE(m_document.GetMaterialNo(material));
    EXPECT_EQ(material, "1234.5678.90");
    EXPECT_TRUE(m_document.GetSerialNo(serial)) << "the other attribute is kept";
}

TEST_F(ServiceDataDocumentTest, EmptyValueIsStoredButReadsAsMissing) {
    ASSERT_TRUE(m_document.CreateDocument());
    EXPECT_TRUE(m_document.SetSerialNo(""));
    QString serial;
    EXPECT_FALSE(m_document.GetSerialNo(serial));
}

TEST_F(ServiceDataDocumentTest, NewDocumentDropsFormerAttributes) {
    ASSERT_TRUE(m_document.CreateDocument());
    ASSERT_TRUE(m_document.SetSerialNo("S") && m_document.SetMaterialNo("M"));
    ASSERT_TRUE(m_document.CreateDocument());
    QString value;
    EXPECT_FALSE(m_document.GetSerialNo(value));
    EXPECT_FALSE(m_document.GetMaterialNo(value));
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

TEST_F(ServiceDataDocumentTest, MissingDirectoryFailsTheCreate) {
    CServiceDataDocument nowhere(QString::fromStdString(m_directory.Path() + "/none/NornData.xml"));
    EXPECT_FALSE(nowhere.CreateDocument());
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
