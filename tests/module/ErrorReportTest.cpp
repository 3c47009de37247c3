// Reports of caught errors: the ErrorEntry record for the error manager, and the event-log line
// when there is none.
#include <gtest/gtest.h>

#include <norn/firmware/ErrorManagerSimulator.h>
#include <norn/firmware/RotRegistration.h>

#include <string>

#include "norn/ComApartment.h"
#include "reports/ErrorReport.h"
#include "support/ApiUnderTest.h"
#include "support/CountingObjects.h"
#include "support/LogCapture.h"

using norn::firmware::CErrorManagerSimulator;
using norn::firmware::CRotRegistration;
using norn::test::CBstrLeakCheck;
using norn::test::CLogCapture;
using norn::test::FailPlatformAllocation;
using norn::test::OleString;

namespace {

struct FileNameCase {
    const OLECHAR* path;
    const OLECHAR* expected;
};

class ExtractFileNameTest : public ::testing::TestWithParam<FileNameCase> {};

TEST_P(ExtractFileNameTest, KeepsTheLastNonEmptyComponent) {
    OLECHAR buffer[kReportFileCapacity];
    std::fill(std::begin(buffer), std::end(buffer), OLESTR('#'));
    ExtractFileName(GetParam().path, buffer, kReportFileCapacity);
    EXPECT_EQ(OleString(buffer), GetParam().expected);
}

const OleString kHundred(100, OLESTR('p'));
const OleString kSixtyThree(63, OLESTR('p'));

INSTANTIATE_TEST_SUITE_P(
    Paths, ExtractFileNameTest,
    ::testing::Values(FileNameCase{OLESTR(".\\Brightwork"), OLESTR("Brightwork")},
                      FileNameCase{OLESTR("a\\b\\"), OLESTR("b")},
                      FileNameCase{OLESTR("CROTAccess"), OLESTR("CROTAccess")},
                      FileNameCase{OLESTR("\\\\server\\share\\x.cpp"), OLESTR("x.cpp")},
                      FileNameCase{OLESTR("\\\\\\"), OLESTR("\\\\\\")},
                      FileNameCase{OLESTR(""), OLESTR("")}, FileNameCase{nullptr, OLESTR("")},
                      FileNameCase{kHundred.c_str(), kSixtyThree.c_str()}));

TEST(CErrorEntry, FillsEveryFieldFromTheError) {
    norn::test::CCountingErrorInfo info;
    {
        CErrorEntry entry(GUID_NULL, kReportSourceName,
                          CExceptionError(E_POINTER, kModuleSourceFile, 2492, &info));
        EXPECT_EQ(entry.hresult, E_POINTER);
        EXPECT_EQ(OleString(entry.description), OLESTR("Something failed"));
        EXPECT_EQ(entry.kind, 1);
        EXPECT_EQ(OleString(entry.helpFile), OLESTR("help.chm"));
        EXPECT_EQ(entry.helpContext, 42u);
        EXPECT_EQ(entry.thread, GetCurrentThreadId());
        EXPECT_TRUE(IsEqualGUID(entry.identifier, GUID_NULL));
        EXPECT_EQ(OleString(entry.source), OLESTR("Brightwork"));
        ASSERT_NE(entry.version, nullptr);
        EXPECT_EQ(OleString(entry.version), OLESTR("9.8.7.6")) << "this executable's own version";
        EXPECT_EQ(entry.reportCode, nullptr);
        EXPECT_EQ(OleString(entry.file), OLESTR("Brightwork"));
        EXPECT_EQ(entry.line, 2492);
        EXPECT_EQ(entry.reserved, 0);
        entry.SetReportCode("D31");
        entry.SetReportCode("F4");
        EXPECT_EQ(OleString(entry.reportCode), OLESTR("F4"));
    }
    EXPECT_EQ(info.Refs(), 0u);
}

// Every report goes to exactly one place and leaves no BSTR behind.
class ReportToErrorManagerTest : public ::testing::Test {
protected:
    void TearDown() override { m_bstrs.ExpectNoneLeaked(); }

    void Report(LONG line, const char* code) {
        ReportToErrorManager(CExceptionError(E_FAIL, kModuleSourceFile, line), code);
    }

    CLogCapture m_events = CLogCapture::EventLog();
    CLogCapture m_diagnostics = CLogCapture::Diagnostics();
    norn::CComApartment m_apartment;
    CBstrLeakCheck m_bstrs;
};

TEST_F(ReportToErrorManagerTest, ErrorManagerReceivesTheWholeRecord) {
    CErrorManagerSimulator manager;
    {
        CRotRegistration registration(&manager, OLESTR("ErrorManager"));
        ASSERT_TRUE(registration.Succeeded());
        Report(2489, "F4");
    }
    const auto reports = manager.Reports();
    ASSERT_EQ(reports.size(), 1u);
    const auto& r = reports[0];
    EXPECT_EQ(r.hresult, E_FAIL);
    EXPECT_TRUE(r.description.isNull);
    EXPECT_EQ(r.kind, 1);
    EXPECT_TRUE(r.helpFile.isNull);
    EXPECT_EQ(r.helpContext, 0u);
    EXPECT_EQ(r.thread, GetCurrentThreadId());
    EXPECT_TRUE(IsEqualGUID(r.identifier, GUID_NULL));
    EXPECT_EQ(r.source.text, OLESTR("Brightwork"));
    EXPECT_EQ(r.version.text, OLESTR("9.8.7.6"));
    EXPECT_EQ(r.reportCode.text, OLESTR("F4"));
    EXPECT_EQ(r.file.text, OLESTR("Brightwork"));
    EXPECT_EQ(r.line, 2489);
    EXPECT_EQ(r.reserved, 0);
    if (m_events.Readable()) {
        EXPECT_TRUE(m_events.Lines().empty()) << "the error manager replaces the event log";
    }
    EXPECT_TRUE(m_diagnostics.Lines().empty()) << "the lookup of the error manager is silent";
    EXPECT_EQ(manager.Refs(), 0u);
}

TEST_F(ReportToErrorManagerTest, WithoutErrorManagerOneEventLogLineAndNoLookupReport) {
    if (!m_events.Readable()) {
        GTEST_SKIP() << "the event log is the system's; its lines stay unread";
    }
    Report(2489, "F4");
    const auto lines = m_events.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Tarvo_Orm\tERROR\t0\tError in Brightwork (Line 2489)");
    EXPECT_TRUE(m_diagnostics.Lines().empty());
}

TEST_F(ReportToErrorManagerTest, ErrorManagerOfAnotherProcessIsNotUsed) {
    CErrorManagerSimulator manager;
    CRotRegistration registration(&manager, OLESTR("ErrorManager"), GetCurrentProcessId() + 1);
    ASSERT_TRUE(registration.Succeeded());
    Report(1036, "CreateDDSFile");
    EXPECT_TRUE(manager.Reports().empty());
    if (m_events.Readable()) {
        EXPECT_EQ(m_events.Lines().size(), 1u) << "the event log instead";
    }
}

TEST_F(ReportToErrorManagerTest, EntryThatCannotBeBuiltIsReportedAsNotAvailable) {
    NORN_LINUX_LAYER_ONLY("fails the entry's allocation on demand and reads the event log");
    CExceptionError error(E_FAIL, kModuleSourceFile, 907);
    FailPlatformAllocation(1);  // the entry's copy of the error
    ReportToErrorManager(error, "SetDeviceDataSetEEPROM");
    FailPlatformAllocation(0);
    const auto lines = m_events.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Tarvo_Orm\tERROR\t0\tErrorEntry structure not available!");
}

TEST_F(ReportToErrorManagerTest, NoFailedAllocationEscapesOrLeaks) {
    NORN_LINUX_LAYER_ONLY("fails allocations on demand and reads the event log");
    CErrorManagerSimulator manager;
    CRotRegistration registration(&manager, OLESTR("ErrorManager"));
    CExceptionError error(E_FAIL, kModuleSourceFile, 1042);
    for (LONG nth = 1; nth <= 12; ++nth) {
        FailPlatformAllocation(nth);
        ReportToErrorManager(error, "CreateDDSFile");
    }
    FailPlatformAllocation(0);
    EXPECT_EQ(manager.Reports().size() + m_events.Lines().size(), 12u)
        << "every report ends in exactly one place";
}

}  // namespace
