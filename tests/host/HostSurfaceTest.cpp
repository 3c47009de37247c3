// The host surface of the module loaded by path: loading and unloading (nothing happens until
// the host calls an operation), the method table as a host reads it with the entries that need no
// instrument and the deferred-commit batch of entries 29 and 30 around the operations a host runs
// inside one, and the exports F4 to F7: the driver item and byte count each hands the driver, and
// a report as the loaded module makes it. (Each failure point's report is a case of the
// reliability suite's conformance table.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "HostFixture.h"

namespace {

using norn::test::CHostFixture;
using norn::test::CLoadedModule;
using norn::test::CTempDirectory;
using norn::test::kIdentifiedDocument;

class ModuleLoadTest : public CHostFixture {};
class MethodTableTest : public CHostFixture {};
class DriverValueExportsTest : public CHostFixture {};

TEST_F(ModuleLoadTest, LoadAndUnloadWithoutCallsTouchNothing) {
    const std::string mac = DataFile("NornData.mac");
    CTempDirectory::WriteFile(mac, "payload", 0444);
    m_module.reset();
    for (int i = 0; i < 3; ++i) {
        CLoadedModule module;
        ASSERT_TRUE(module.Loaded());
    }
    EXPECT_FALSE(CLoadedModule::IsMapped());
    EXPECT_EQ(CTempDirectory::Mode(mac), 0444u) << "no path was resolved";
    EXPECT_TRUE(m_driver.Journal().empty());
    EXPECT_EQ(m_driver.Refs(), 1u) << "only the table's reference";
    EXPECT_TRUE(Reports().empty());
    EXPECT_TRUE(m_diagnostics.Lines().empty());
    EXPECT_TRUE(m_events.Lines().empty());
}

TEST_F(MethodTableTest, EveryCallGivesTheSameConstantTable) {
    const BrightworkMethodTable* first = Module().Table();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Module().Table(), first);
    uint32_t size = 0;
    std::memcpy(&size, first, sizeof(size));  // the first 32-bit word
    EXPECT_EQ(size, sizeof(BrightworkMethodTable));
    EXPECT_EQ(size, 4 + 43 * sizeof(void*) + (sizeof(void*) - 4)) << "size field, then 43 entries";
    EXPECT_EQ(Module().Entry<PFN_BRIGHTWORK_RELEASEBUFFER>(EntryReleaseBuffer)(0, nullptr), 0);
}

TEST_F(MethodTableTest, PositionsWithoutAnOperationHoldNull) {
    const BrightworkMethodTable* table = Module().Table();
    for (int entry : {0, 1, 2, 7, 8, 9, 10, 20, 22, 23, 24, 25, 26, 27, 28, 31, 36, 42}) {
        EXPECT_EQ(table->entries[entry], nullptr) << "entry " << entry;
    }
    for (int entry : {3, 4, 5, 6, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 29, 30}) {
        EXPECT_NE(table->entries[entry], nullptr) << "entry " << entry;
    }
}

// Each not-implemented entry clears exactly the values it names and nothing beside them.
TEST_F(MethodTableTest, NotImplementedEntriesClearExactlyTheirOutValues) {
    for (int entry : {11, 12, 14, 16, 17}) {
        EXPECT_EQ(Module().Entry<PFN_BRIGHTWORK_NOTIMPL>(entry)(), E_NOTIMPL) << entry;
    }
    std::vector<LONG> v(3, 7);
    const auto after = [&v](HRESULT result) {
        EXPECT_EQ(result, E_NOTIMPL);
        return std::exchange(v, std::vector<LONG>(3, 7));
    };
    using Values = std::vector<LONG>;
    EXPECT_EQ(after(Module().Entry<PFN_BRIGHTWORK_NOTIMPL13>(13)(&v[1])), (Values{7, 0, 7}));
    EXPECT_EQ(after(Module().Entry<PFN_BRIGHTWORK_NOTIMPL15>(15)(&v[0], &v[1])), (Values{7, 0, 7}));
    EXPECT_EQ(after(Module().Entry<PFN_BRIGHTWORK_NOTIMPL18>(18)(&v[0], &v[1], &v[2])),
              (Values{7, 7, 0}));
    EXPECT_EQ(after(Module().Entry<PFN_BRIGHTWORK_NOTIMPL19>(19)(&v[0], &v[1])), (Values{0, 0, 7}));
    EXPECT_TRUE(m_driver.Journal().empty());
    EXPECT_TRUE(Reports().empty());
}

// Inside a host's batch the imports leave their commit to the batch's end, the erase commits at
// once and leaves the batch open, and the restore commits once and ends the batch itself: every
// row makes one commit in all. A second open is refused while a batch is open.
TEST_F(MethodTableTest, OperationsInsideAHostBatchCommitOnce) {
    const auto begin = Module().Entry<PFN_BRIGHTWORK_BEGINDEFERREDCOMMIT>(EntryBeginDeferredCommit);
    const auto end = Module().Entry<PFN_BRIGHTWORK_ENDDEFERREDCOMMIT>(EntryEndDeferredCommit);
    EXPECT_EQ(end(), 0) << "no batch";
    ASSERT_EQ(begin(), S_OK);
    EXPECT_EQ(end(), 0) << "nothing written";
    EXPECT_TRUE(m_driver.Journal().empty());
    EXPECT_TRUE(m_diagnostics.Lines().empty()) << "not even a driver lookup";

    const struct {
        const char* operations;
        LONG commitsInside;
        bool batchStillOpen;
    } rows[] = {{"D4 D6", 0, true}, {"F8", 1, true}, {"F2", 1, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.operations);
        WriteDataFiles(kIdentifiedDocument, "dds", std::string(16, 'm'));
        const LONG commits = m_driver.CommitCount();
        ASSERT_EQ(begin(), S_OK);
        if (row.operations[0] == 'D') {
            EXPECT_EQ(Import(EntryDeviceDataSetImport, "dds"), 0);
            EXPECT_EQ(Import(EntryMacAddressImport, std::string(16, 'm')), 0);
        } else {
            EXPECT_EQ(row.operations[1] == '8' ? Module().F8() : Module().F2(), 0);
        }
        EXPECT_EQ(m_driver.CommitCount() - commits, row.commitsInside);
        EXPECT_EQ(begin(), row.batchStillOpen ? E_FAIL : S_OK);
        EXPECT_EQ(end(), 0);
        EXPECT_EQ(m_driver.CommitCount() - commits, 1);
    }
    EXPECT_TRUE(Reports().empty());
}

// F4 and F5 hand the driver the item and its byte count, and the byte after it in the host's
// buffer stays as it was. (F6 and F7 write with the byte counts that the restore's calls show.)
// A null buffer is found after the paths were resolved, and the report carries the version of the
// module's own resource, not the host's.
TEST_F(DriverValueExportsTest, ReadsHandTheDriverItsItemAndByteCount) {
    const std::string mac = DataFile("NornData.mac");
    CTempDirectory::WriteFile(mac, "0123456789abcdef", 0444);
    EXPECT_EQ(Module().F4(nullptr), 1);
    EXPECT_EQ(CTempDirectory::Mode(mac) & 0600, 0600u) << "paths resolved first";
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0].version.text, u"2.60.100.0");

    m_driver.SetValue(3, "SN12345678");
    m_driver.SetValue(4, "1234.5678.90A");
    char serial[kSerialNumberBufferSize + 1] = "..........x";
    char material[kMaterialNumberBufferSize + 1] = ".............x";
    ASSERT_EQ(Module().F4(serial), 0);
    ASSERT_EQ(Module().F5(material), 0);
    EXPECT_EQ(std::string(serial), "SN12345678x");
    EXPECT_EQ(std::string(material), "1234.5678.90Ax");
    EXPECT_EQ(JournalText(), "QueryValue 3 10|QueryValue 4 13|") << "nothing for the null buffer";
}

}  // namespace
