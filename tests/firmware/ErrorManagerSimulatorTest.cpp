// The error manager simulator: deep copies of reports, their order, and their one-line form.
#include <gtest/gtest.h>

#include <string>

#include "norn/ScopedBstr.h"
#include "norn/firmware/ErrorManagerSimulator.h"
#include "support/VtableSlot.h"

using norn::firmware::CErrorManagerSimulator;
using norn::firmware::CReceivedReport;
using norn::firmware::FormatReport;

namespace {

ErrorEntry Entry(HRESULT hresult, const OLECHAR* code, LONG line) {
    ErrorEntry entry{};
    entry.hresult = hresult;
    entry.kind = 1;
    entry.thread = GetCurrentThreadId();
    entry.source = SysAllocString(u"Brightwork");
    entry.reportCode = SysAllocString(code);
    entry.file = SysAllocString(u"Brightwork");
    entry.line = line;
    return entry;
}

void Free(ErrorEntry& entry) {
    for (BSTR* field : {&entry.description, &entry.helpFile, &entry.source, &entry.version,
                        &entry.reportCode, &entry.file}) {
        SysFreeString(*field);
        *field = nullptr;
    }
}

TEST(ErrorManagerLayout, ReportErrorIsSlotThree) {
    EXPECT_EQ(norn::test::VtableSlot(&IErrorManager::ReportError), 3);
    EXPECT_EQ(norn::InterfaceId<IErrorManager>::value.Data1, 0xF9097798u);
}

TEST(ErrorManagerSimulator, KeepsDeepCopiesOfEveryField) {
    CErrorManagerSimulator manager;
    ErrorEntry entry = Entry(E_FAIL, u"F4", 2489);
    entry.description = SysAllocStringLen(u"a\0b", 3);
    entry.version = SysAllocString(u"");
    entry.helpContext = 42;
    entry.identifier.Data1 = 0x1234;
    entry.reserved = 5;
    EXPECT_EQ(manager.ReportError(entry), S_OK);
    Free(entry);  // the reporter frees its texts as soon as ReportError returns

    ASSERT_EQ(manager.Reports().size(), 1u);
    const CReceivedReport report = manager.Reports()[0];
    EXPECT_EQ(report.hresult, E_FAIL);
    EXPECT_EQ(report.reportCode.text, u"F4");
    EXPECT_EQ(report.source.text, u"Brightwork");
    EXPECT_EQ(report.file.text, u"Brightwork");
    EXPECT_EQ(report.description.text, std::u16string(u"a\0b", 3)) << "the whole BSTR length";
    EXPECT_FALSE(report.description.isNull);
    EXPECT_TRUE(report.helpFile.isNull);
    EXPECT_FALSE(report.version.isNull) << "an empty text is not a null one";
    EXPECT_EQ(report.kind, 1);
    EXPECT_EQ(report.helpContext, 42u);
    EXPECT_EQ(report.thread, GetCurrentThreadId());
    EXPECT_EQ(report.identifier.Data1, 0x1234u);
    EXPECT_EQ(report.line, 2489);
    EXPECT_EQ(report.reserved, 5);
}

TEST(ErrorManagerSimulator, KeepsReportsInOrderUntilCleared) {
    CErrorManagerSimulator manager;
    for (LONG line : {3, 1, 2}) {
        ErrorEntry entry = Entry(E_FAIL, u"F3", line);
        manager.ReportError(entry);
        Free(entry);
    }
    const auto reports = manager.Reports();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0].line, 3);
    EXPECT_EQ(reports[1].line, 1);
    EXPECT_EQ(reports[2].line, 2);
    manager.Clear();
    EXPECT_TRUE(manager.Reports().empty());
}

TEST(ErrorManagerSimulator, FormatsOneReadableLine) {
    struct Case {
        HRESULT hresult;
        const OLECHAR* code;
        const OLECHAR* description;
        const char* expected;
    } cases[] = {
        {E_FAIL, u"F4", nullptr, "F4 E_FAIL (0x80004005) Brightwork line 2489"},
        {static_cast<HRESULT>(0x80070002), nullptr, nullptr,
         "(null) 0x80070002 Brightwork line 2489"},
        {E_INVALIDARG, u"F2", u"Größe", "F2 E_INVALIDARG (0x80070057) Brightwork line 2489: Größe"},
    };
    for (const Case& c : cases) {
        CErrorManagerSimulator manager;
        ErrorEntry entry = Entry(c.hresult, c.code, 2489);
        entry.description = SysAllocString(c.description);
        manager.ReportError(entry);
        Free(entry);
        EXPECT_EQ(FormatReport(manager.Reports()[0]), c.expected);
    }
}

TEST(ErrorManagerSimulator, ReferencesReturnToBaseline) {
    CErrorManagerSimulator manager;
    for (const GUID& iid :
         {norn::InterfaceId<IUnknown>::value, norn::InterfaceId<IErrorManager>::value}) {
        IUnknown* unknown = nullptr;
        ASSERT_EQ(manager.QueryInterface(iid, reinterpret_cast<void**>(&unknown)), S_OK);
        EXPECT_EQ(manager.Refs(), 1u);
        unknown->Release();
        EXPECT_EQ(manager.Refs(), 0u);
    }
    void* raw = &manager;
    EXPECT_EQ(manager.QueryInterface(IID_IErrorInfo, &raw), E_NOINTERFACE);
    EXPECT_EQ(raw, nullptr);
}

}  // namespace
