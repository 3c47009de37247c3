// EndDeferredCommit's commit of a batch in which a block was written: which failures keep the
// batch open for another try and which end it.
#include <gtest/gtest.h>

#include "driver/DeferredCommit.h"
#include "host/TableEntries.h"
#include "support/FirmwareFixture.h"

namespace {

class EndDeferredCommitTest : public norn::test::CFirmwareFixture {
protected:
    void SetUp() override {
        CFirmwareFixture::SetUp();
        SetDeferredCommit(true);  // a batch is open and a block was written in it
        SetCommitPending(true);
    }
    void TearDown() override {
        ResetDeferredCommitForTests();
        CFirmwareFixture::TearDown();
    }
};

TEST_F(EndDeferredCommitTest, CommitsOnceAndEndsTheBatch) {
    EXPECT_EQ(EndDeferredCommit(), 0);
    EXPECT_EQ(m_driver.CommitCount(), 1);
    const auto journal = m_driver.Journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].method, "SetEEPROMMode");
    EXPECT_EQ(journal[0].arguments, (std::vector<LONG>{2, 1}));
    EXPECT_FALSE(IsDeferredCommit());
    EXPECT_FALSE(IsCommitPending());
    EXPECT_EQ(m_driver.Refs(), m_driverTableRefs) << "only the table's references are left";
}

TEST_F(EndDeferredCommitTest, BeginClearsALeftoverPendingCommit) {
    SetDeferredCommit(false);  // left over from a restore, which clears only DeferredCommit
    EXPECT_EQ(EndDeferredCommit(), 0) << "a leftover pending commit has no effect";
    EXPECT_EQ(BeginDeferredCommit(), S_OK);
    EXPECT_FALSE(IsCommitPending());
    EXPECT_EQ(EndDeferredCommit(), 0);
    EXPECT_TRUE(m_driver.Journal().empty());
}

}  // namespace
