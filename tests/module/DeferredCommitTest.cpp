// EndDeferredCommit's commit of a batch in which a block was written: which failures keep the
// batch open for another try and which end it.
#include <gtest/gtest.h>

#include <norn/firmware/ErrorManagerSimulator.h>
#include <norn/firmware/MeasurementDriverSimulator.h>
#include <norn/firmware/RotRegistration.h>

#include <memory>

#include "host/DeferredCommitFlags.h"
#include "host/TableEntries.h"
#include "norn/ComApartment.h"
#include "support/LogCapture.h"

using norn::firmware::CDriverFault;
using norn::firmware::CErrorManagerSimulator;
using norn::firmware::CMeasurementDriverSimulator;
using norn::firmware::CRotRegistration;

namespace {

class EndDeferredCommitTest : public ::testing::Test {
protected:
    void SetUp() override {
        DeferredCommit = true;  // a batch is open and a block was written in it
        CommitPending = true;
    }
    void TearDown() override {
        DeferredCommit = false;
        CommitPending = false;
    }
    void ExpectOneReport(HRESULT hr, LONG line) {
        const auto reports = m_manager.Reports();
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0].reportCode.text, u"D31");
        EXPECT_EQ(reports[0].hresult, hr);
        EXPECT_EQ(reports[0].line, line);
    }

    norn::test::CLogCapture m_diagnostics = norn::test::CLogCapture::Diagnostics();
    norn::CComApartment m_apartment;
    CMeasurementDriverSimulator m_driver;
    CErrorManagerSimulator m_manager;
    std::unique_ptr<CRotRegistration> m_driverRegistration =
        std::make_unique<CRotRegistration>(m_driver.Unknown(), OLESTR("TarvoMeasDriver"));
    CRotRegistration m_managerRegistration{&m_manager, OLESTR("ErrorManager")};
};

TEST_F(EndDeferredCommitTest, CommitsOnceAndEndsTheBatch) {
    EXPECT_EQ(EndDeferredCommit(), 0);
    EXPECT_EQ(m_driver.CommitCount(), 1);
    const auto journal = m_driver.Journal();
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0].method, "SetEEPROMMode");
    EXPECT_EQ(journal[0].arguments, (std::vector<LONG>{2, 1}));
    EXPECT_FALSE(DeferredCommit);
    EXPECT_FALSE(CommitPending);
    EXPECT_EQ(m_driver.Refs(), 1u) << "only the table's reference is left";
}

TEST_F(EndDeferredCommitTest, FailedCommitCallKeepsTheBatchForAnotherTry) {
    const HRESULT driverError = static_cast<HRESULT>(0x80045678);
    m_driver.AddFault(CDriverFault::Failure("SetEEPROMMode", 1, driverError));
    EXPECT_EQ(EndDeferredCommit(), 1);
    ExpectOneReport(driverError, 2437);
    EXPECT_TRUE(DeferredCommit);
    EXPECT_TRUE(CommitPending);
    EXPECT_EQ(EndDeferredCommit(), 0) << "the host may call it again";
    EXPECT_EQ(m_driver.CommitCount(), 1);
}

TEST_F(EndDeferredCommitTest, NonzeroCommitStatusEndsTheBatchAndIsReported) {
    m_driver.AddFault(CDriverFault::Status("SetEEPROMMode", 1, 3));
    EXPECT_EQ(EndDeferredCommit(), 1);
    ExpectOneReport(E_FAIL, 2446);
    EXPECT_FALSE(DeferredCommit);
    EXPECT_FALSE(CommitPending);
}

TEST_F(EndDeferredCommitTest, MissingDriverFailsWithoutAReportOfItsOwn) {
    m_driverRegistration.reset();
    EXPECT_EQ(EndDeferredCommit(), 1);
    EXPECT_TRUE(m_manager.Reports().empty());
    EXPECT_EQ(m_diagnostics.Lines().size(), 1u) << "the lookup's own report";
    EXPECT_TRUE(DeferredCommit);
    EXPECT_TRUE(CommitPending);
}

TEST_F(EndDeferredCommitTest, BeginClearsALeftoverPendingCommit) {
    DeferredCommit = false;  // left over from a restore, which clears only DeferredCommit
    EXPECT_EQ(EndDeferredCommit(), 0) << "a leftover pending commit has no effect";
    EXPECT_EQ(BeginDeferredCommit(), S_OK);
    EXPECT_FALSE(CommitPending);
    EXPECT_EQ(EndDeferredCommit(), 0);
    EXPECT_TRUE(m_driver.Journal().empty());
}

}  // namespace
