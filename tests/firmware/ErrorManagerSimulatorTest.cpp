// The error manager simulator: deep copies of reports, their order, and their one-line form.
// (Its QueryInterface and reference counting are CComObjectBase's, which ComObjectTest covers.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "norn/firmware/ErrorManagerSimulator.h"
#include "support/ApiUnderTest.h"
#include "support/VtableSlot.h"

using norn::firmware::CErrorManagerSimulator;
using norn::firmware::CReceivedReport;
using norn::firmware::FormatReport;
using norn::test::OleString;

namespace {

ErrorEntry Entry(HRESULT hresult, const OLECHAR* code, LONG line,
                 const OLECHAR* description = nullptr) {
    ErrorEntry entry{};
    entry.hresult = hresult;
    entry.reportCode = SysAllocString(code);
    entry.file = SysAllocString(OLESTR("Brightwork"));
    entry.line = line;
    entry.description = SysAllocString(description);
    return entry;
}

// Reports the entry and frees its texts at once, as a reporter does.
HRESULT ReportAndFree(CErrorManagerSimulator& manager, ErrorEntry entry) {
    const HRESULT hr = manager.ReportError(entry);
    for (BSTR text : {entry.description, entry.helpFile, entry.source, entry.version,
                      entry.reportCode, entry.file}) {
        SysFreeString(text);
    }
    return hr;
}

TEST(ErrorManagerLayout, ReportErrorIsSlotThree) {
    EXPECT_EQ(norn::test::VtableSlot(&IErrorManager::ReportError), 3);
    EXPECT_EQ(norn::InterfaceId<IErrorManager>::value.Data1, 0xF9097798u);
}

// Each text is copied whole, and null stays apart from empty. (That every field reaches the
// report, copied before the reporter frees it, the module's ErrorReportTest sees.)
TEST(ErrorManagerSimulator, CopiesTextsWholeAndKeepsNullApartFromEmpty) {
    CErrorManagerSimulator manager;
    ErrorEntry entry = Entry(E_FAIL, OLESTR("F4"), 2489);
    entry.description = SysAllocStringLen(OLESTR("a\0b"), 3);  // Entry gave none
    entry.version = SysAllocString(OLESTR(""));
    EXPECT_EQ(ReportAndFree(manager, entry), S_OK);
    const CReceivedReport report = manager.Reports().at(0);
    EXPECT_EQ(report.description.text, OleString(OLESTR("a\0b"), 3)) << "the whole BSTR length";
    EXPECT_FALSE(report.description.isNull);
    EXPECT_FALSE(report.version.isNull) << "an empty text is not a null one";
}

TEST(ErrorManagerSimulator, KeepsReportsInOrderAndFormatsEachOnOneLine) {
    CErrorManagerSimulator manager;
    ReportAndFree(manager, Entry(E_FAIL, OLESTR("F4"), 2489));
    ReportAndFree(manager, Entry(static_cast<HRESULT>(0x80070002), nullptr, 12));
    ReportAndFree(manager, Entry(E_INVALIDARG, OLESTR("F2"), 3, OLESTR("Größe")));
    std::vector<std::string> lines;
    for (const CReceivedReport& report : manager.Reports()) lines.push_back(FormatReport(report));
    EXPECT_EQ(lines,
              (std::vector<std::string>{"F4 E_FAIL (0x80004005) Brightwork line 2489",
                                        "(null) 0x80070002 Brightwork line 12",
                                        "F2 E_INVALIDARG (0x80070057) Brightwork line 3: Größe"}));
    manager.Clear();
    EXPECT_TRUE(manager.Reports().empty());
}

}  // namespace
