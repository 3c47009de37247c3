// The method table and the entries that live in it, called through the table as a host does.
#include <gtest/gtest.h>

#include <cstring>

#include "HostFixture.h"

namespace {

using norn::test::CHostFixture;

class MethodTableTest : public CHostFixture {};

TEST_F(MethodTableTest, EveryCallGivesTheSameConstantTable) {
    const BrightworkMethodTable* first = Module().Table();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Module().Table(), first);
    uint32_t size = 0;
    std::memcpy(&size, first, sizeof(size));  // the first 32-bit word
    EXPECT_EQ(size, sizeof(BrightworkMethodTable));
    EXPECT_EQ(size, 4 + 43 * sizeof(void*) + (sizeof(void*) - 4)) << "size field, then 43 entries";
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
    LONG values[4] = {7, 7, 7, 7};
    EXPECT_EQ(Module().Entry<PFN_BRIGHTWORK_NOTIMPL13>(13)(&values[1]), E_NOTIMPL);
    EXPECT_EQ(values[0], 7);
    EXPECT_EQ(values[1], 0);
    EXPECT_EQ(values[2], 7);

    LONG untouched = 7, cleared = 7;
    EXPECT_EQ(Module().Entry<PFN_BRIGHTWORK_NOTIMPL15>(15)(&untouched, &cleared), E_NOTIMPL);
    EXPECT_EQ(untouched, 7);
    EXPECT_EQ(cleared, 0);

    LONG first = 7, second = 7, third = 7;
    EXPECT_EQ(Module().Entry<PFN_BRIGHTWORK_NOTIMPL18>(18)(&first, &second, &third), E_NOTIMPL);
    EXPECT_EQ(first, 7);
    EXPECT_EQ(second, 7);
    EXPECT_EQ(third, 0);

    first = second = 7;
    EXPECT_EQ(Module().Entry<PFN_BRIGHTWORK_NOTIMPL19>(19)(&first, &second), E_NOTIMPL);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);
    EXPECT_TRUE(m_driver.Journal().empty());
    EXPECT_TRUE(Reports().empty());
}

TEST_F(MethodTableTest, ReleaseBufferAcceptsNull) {
    EXPECT_EQ(Module().Entry<PFN_BRIGHTWORK_RELEASEBUFFER>(EntryReleaseBuffer)(0, nullptr), 0);
}

class DeferredCommitBatchTest : public CHostFixture {
protected:
    HRESULT Begin() const {
        return Module().Entry<PFN_BRIGHTWORK_BEGINDEFERREDCOMMIT>(EntryBeginDeferredCommit)();
    }
    LONG End() const {
        return Module().Entry<PFN_BRIGHTWORK_ENDDEFERREDCOMMIT>(EntryEndDeferredCommit)();
    }
};

TEST_F(DeferredCommitBatchTest, SecondOpenIsRefusedAndTheBatchStaysOpen) {
    EXPECT_EQ(Begin(), S_OK);
    EXPECT_EQ(Begin(), E_FAIL);
    EXPECT_EQ(End(), 0);
    EXPECT_EQ(Begin(), S_OK) << "the first batch was still open and has now ended";
    EXPECT_EQ(End(), 0);
    EXPECT_TRUE(Reports().empty()) << "a refused open is not reported";
}

TEST_F(DeferredCommitBatchTest, EndingWithoutABatchOrWithNothingWrittenCallsNoDriver) {
    EXPECT_EQ(End(), 0);
    EXPECT_EQ(Begin(), S_OK);
    EXPECT_EQ(End(), 0);
    EXPECT_TRUE(m_driver.Journal().empty());
    EXPECT_EQ(m_driver.CommitCount(), 0);
    EXPECT_TRUE(m_diagnostics.Lines().empty()) << "not even a driver lookup";
}

}  // namespace
