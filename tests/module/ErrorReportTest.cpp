// Reports of caught errors: the file name a report gives, the ErrorEntry record as the error
// manager receives it, and the event-log line when there is none. Which failure point reports
// what is the reliability suite's conformance table; here the record and the line themselves.
#include <gtest/gtest.h>

#include <norn/firmware/ErrorManagerSimulator.h>
#include <norn/firmware/RotRegistration.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

#include "norn/ComApartment.h"
#include "reports/ErrorReport.h"
#include "support/ApiUnderTest.h"
#include "support/CountingObjects.h"
#include "support/LogCapture.h"

using norn::firmware::CErrorManagerSimulator;
using norn::firmware::CRotRegistration;
using norn::test::CBstrLeakCheck;
using norn::test::CLogCapture;
using norn::test::OleString;

namespace {

// A report names the last non-empty component of its source path, cut to the record's 63
// characters.
TEST(ExtractFileName, KeepsTheLastNonEmptyComponent) {
    const OleString hundred(100, OLESTR('p')), sixtyThree(63, OLESTR('p'));
    const std::pair<const OLECHAR*, OleString> rows[] = {
        {OLESTR("a\\b\\"), OLESTR("b")},
        {OLESTR("CROTAccess"), OLESTR("CROTAccess")},
        {OLESTR("\\\\server\\share\\x.cpp"), OLESTR("x.cpp")},
        {OLESTR("\\\\\\"), OLESTR("\\\\\\")},
        {OLESTR(""), OLESTR("")},
        {nullptr, OLESTR("")},
        {hundred.c_str(), sixtyThree},
    };
    for (const auto& [path, expected] : rows) {
        OLECHAR buffer[kReportFileCapacity];
        std::fill(std::begin(buffer), std::end(buffer), OLESTR('#'));
        ExtractFileName(path, buffer, kReportFileCapacity);
        EXPECT_EQ(OleString(buffer), expected);
    }
}

// Every report goes to exactly one place and leaves no BSTR behind.
class ReportToErrorManagerTest : public ::testing::Test {
protected:
    void TearDown() override { m_bstrs.ExpectNoneLeaked(); }

    CLogCapture m_events = CLogCapture::EventLog();
    CLogCapture m_diagnostics = CLogCapture::Diagnostics();
    norn::CComApartment m_apartment;
    CBstrLeakCheck m_bstrs;
};

// Every field, the error information's among them; the version is that of the module holding
// the reporting code, here this test program's own.
TEST_F(ReportToErrorManagerTest, ErrorManagerReceivesTheWholeRecord) {
    CErrorManagerSimulator manager;
    norn::test::CCountingErrorInfo info;
    {
        CRotRegistration registration(&manager, OLESTR("ErrorManager"));
        ASSERT_TRUE(registration.Succeeded());
        ReportToErrorManager(CExceptionError(E_POINTER, kModuleSourceFile, 2492, &info), "F4");
    }
    const auto reports = manager.Reports();
    ASSERT_EQ(reports.size(), 1u);
    const auto& r = reports[0];
    EXPECT_EQ(r.hresult, E_POINTER);
    EXPECT_EQ(r.description.text, OLESTR("Something failed"));
    EXPECT_EQ(r.kind, 1);
    EXPECT_EQ(r.helpFile.text, OLESTR("help.chm"));
    EXPECT_EQ(r.helpContext, 42u);
    EXPECT_EQ(r.thread, GetCurrentThreadId());
    EXPECT_TRUE(IsEqualGUID(r.identifier, GUID_NULL));
    EXPECT_EQ(r.source.text, OLESTR("Brightwork"));
    EXPECT_EQ(r.version.text, OLESTR("9.8.7.6"));
    EXPECT_EQ(r.reportCode.text, OLESTR("F4"));
    EXPECT_EQ(r.file.text, OLESTR("Brightwork"));
    EXPECT_EQ(r.line, 2492);
    EXPECT_EQ(r.reserved, 0);
    if (m_events.Readable()) {
        EXPECT_TRUE(m_events.Lines().empty()) << "the error manager replaces the event log";
    }
    EXPECT_TRUE(m_diagnostics.Lines().empty()) << "the lookup of the error manager is silent";
    EXPECT_EQ(manager.Refs(), 0u);
    EXPECT_EQ(info.Refs(), 0u);
}

TEST_F(ReportToErrorManagerTest, WithoutErrorManagerOneEventLogLineAndNoLookupReport) {
    if (!m_events.Readable()) {
        GTEST_SKIP() << "the event log is the system's; its lines stay unread";
    }
    ReportToErrorManager(CExceptionError(E_FAIL, kModuleSourceFile, 2489), "F4");
    const auto lines = m_events.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Tarvo_Orm\tERROR\t0\tError in Brightwork (Line 2489)");
    EXPECT_TRUE(m_diagnostics.Lines().empty());
}

}  // namespace
