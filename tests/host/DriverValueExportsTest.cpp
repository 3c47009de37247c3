// F4 to F7: the serial number and the material number through the driver's value interface.
#include <gtest/gtest.h>

#include <cstring>

#include "HostFixture.h"

namespace {

using norn::test::CHostFixture;

class DriverValueExportsTest : public CHostFixture {
protected:
    // Calls one of F4 to F7 with a fitting buffer or text.
    LONG Call(const char* name) {
        char buffer[kMaterialNumberBufferSize] = {};
        if (name[1] == '4' || name[1] == '5') {
            return Module().Export<PFN_BRIGHTWORK_READTEXT>(name)(buffer);
        }
        return Module().Export<PFN_BRIGHTWORK_WRITETEXT>(name)("SN1");
    }
};

TEST_F(DriverValueExportsTest, SerialNumberFillsTenBytesOfAnElevenByteBuffer) {
    m_driver.SetValue(3, "SN12345678");
    char buffer[kSerialNumberBufferSize + 1] = {};
    buffer[10] = 'x';  // beyond the driver's ten bytes
    ASSERT_EQ(Module().F4(buffer), 0);
    EXPECT_EQ(std::string(buffer, 10), "SN12345678");
    EXPECT_EQ(buffer[10], 'x') << "the module neither terminates nor lets the driver write more";
    const auto journal = m_driver.Journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].method, "QueryValue");
    EXPECT_EQ(journal[0].arguments, (std::vector<LONG>{3, 10}));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(DriverValueExportsTest, MaterialNumberFillsThirteenBytesOfAFourteenByteBuffer) {
    m_driver.SetValue(4, "1234.5678.90A");
    char buffer[kMaterialNumberBufferSize] = {};
    ASSERT_EQ(Module().F5(buffer), 0);
    EXPECT_STREQ(buffer, "1234.5678.90A");
    EXPECT_EQ(m_driver.Journal().at(0).arguments, (std::vector<LONG>{4, 13}));
}

TEST_F(DriverValueExportsTest, WritesStoreTheTextWithTheDriversByteCounts) {
    ASSERT_EQ(Module().F6("SN99\0\0\0\0\0\0"), 0);  // the driver takes 11 bytes
    ASSERT_EQ(Module().F7("4711.0815.00"), 0);
    EXPECT_EQ(m_driver.Value(3), "SN99");
    EXPECT_EQ(m_driver.Value(4), "4711.0815.00");
    const auto journal = m_driver.Journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[0].arguments, (std::vector<LONG>{3, 23, 11}));
    EXPECT_EQ(journal[1].arguments, (std::vector<LONG>{4, 23, 13}));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(DriverValueExportsTest, NullBufferIsReportedAfterThePathsWereResolved) {
    const std::string mac = DataFile("NornData.mac");
    norn::test::CTempDirectory::WriteFile(mac, "0123456789abcdef", 0444);
    EXPECT_EQ(Module().F4(nullptr), 1);
    ExpectOneReport("F4", E_FAIL, 2489);
    EXPECT_TRUE(m_driver.Journal().empty()) << "the driver is not asked";
    EXPECT_EQ(norn::test::CTempDirectory::Mode(mac) & 0600, 0600u) << "paths resolved first";
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    const auto& r = reports[0];
    EXPECT_EQ(r.source.text, u"Brightwork");
    EXPECT_EQ(r.version.text, u"2.60.100.0") << "the module's own version resource";
    EXPECT_EQ(r.thread, GetCurrentThreadId());
    EXPECT_EQ(r.kind, 1);
    EXPECT_TRUE(IsEqualGUID(r.identifier, GUID_NULL));
}

TEST_F(DriverValueExportsTest, WithoutADriverTheLookupReportsAndThenTheExport) {
    UnregisterDriver();
    char buffer[kMaterialNumberBufferSize] = {};
    EXPECT_EQ(Module().F5(buffer), 1);
    const auto diagnostics = m_diagnostics.Fields();
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0][1], "212");
    ExpectOneReport("F5", E_POINTER, 2546);
    for (auto [name, line] : {std::pair{"F4", 2492}, {"F6", 2599}, {"F7", 2654}}) {
        m_manager.Clear();
        EXPECT_EQ(Call(name), 1);
        ExpectOneReport(name, E_POINTER, line);
    }
}

TEST_F(DriverValueExportsTest, WithoutAnErrorManagerTheReportGoesToTheEventLog) {
    UnregisterErrorManager();
    EXPECT_EQ(Module().F4(nullptr), 1);
    const auto lines = m_events.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Tarvo_Orm\tERROR\t0\tError in Brightwork (Line 2489)");
}

}  // namespace
