// The failure points of the report itself (where it goes when the error manager cannot take it)
// and of the Running Object Table access, whose own failures go to the diagnostics library.
#include <atlexcept.h>

#include <cstdlib>

#include "host/Exports.h"
#include "norn/PlatformTestHooks.h"
#include "reliability/FailurePoints.h"
#include "rot/ROTAccess.h"

namespace norn::test {
namespace {

// An error manager whose ReportError fails: the module ignores that result. It notes the live
// BSTRs when it is called and when it is first released after that.
class CFailingErrorManager final : public CComObjectBase<IErrorManager> {
public:
    ULONG STDMETHODCALLTYPE Release() override {
        if (m_calls > 0 && m_bstrsAtRelease < 0) m_bstrsAtRelease = NornLiveBstrCount();
        return CComObjectBase::Release();
    }
    HRESULT STDMETHODCALLTYPE ReportError(ErrorEntry) override {
        ++m_calls;
        m_bstrsAtReport = NornLiveBstrCount();
        return E_FAIL;
    }
    int m_calls = 0;
    LONG m_bstrsAtReport = 0;
    LONG m_bstrsAtRelease = -1;
};

std::shared_ptr<CFailingErrorManager> g_failingManager;  // made anew for its row

// The error manager's name in the Running Object Table stands for this object instead.
void StandIn(FailurePointTest& t, IUnknown* object) {
    t.UnregisterErrorManager();
    t.m_managerStandIn =
        std::make_unique<firmware::CRotRegistration>(object, OLESTR("ErrorManager"));
}

CStep PlatformAllocationFails(LONG nth) {
    return [nth](FailurePointTest&) { NornFailPlatformAllocation(nth); };
}

BSTR UnknownName() {
    return SysAllocString(u"NobodyRegisteredThis");
}

LONG Register(FailurePointTest&) {
    DWORD cookie = 0;  // the table refuses a registration of nothing
    return CROTAccess().RegisterIfPointer(UnknownName(), nullptr, &cookie, TRUE);
}

// The platform's nth allocation from the lookup on fails (none for 0).
LONG LookUp(BOOL reportFailure, BSTR name, LONG failing = 0) {
    CROTAccess access;
    IUnknown* found = nullptr;
    NornFailPlatformAllocation(failing);
    return access.NameToIfPointer(name, &found, reportFailure, TRUE);
}

// A name that cannot be copied: the platform's first allocation fails.
LONG RegisterWithoutMemory(FailurePointTest& t) {
    CROTAccess access;
    DWORD cookie = 0;
    NornFailPlatformAllocation(1);
    try {
        access.RegisterIfPointer(nullptr, &t.m_plainObject, &cookie, TRUE);
    } catch (const CAtlException& e) {
        return e.m_hr == E_OUTOFMEMORY ? 1 : 2;
    }
    return 0;
}

std::vector<CFailurePoint> ReportPoints() {
    // F4 with a null buffer is the failure that is reported.
    const CCall f4 = [](FailurePointTest&) { return F4(nullptr); };
    const std::string event = "Error in Brightwork (Line 2489)";
    const CStep noManager = [](FailurePointTest& t) { t.UnregisterErrorManager(); };
    const CStep plainManager = [](FailurePointTest& t) { StandIn(t, &t.m_plainObject); };
    const CStep failingManager = [](FailurePointTest& t) {
        g_failingManager = std::make_shared<CFailingErrorManager>();
        StandIn(t, g_failingManager.get());
    };
    const CStep refusalIgnored = [](FailurePointTest& t) {
        t.m_managerStandIn.reset();
        EXPECT_EQ(g_failingManager->m_calls, 1) << "its result is ignored";
        EXPECT_EQ(g_failingManager->Refs(), 0u);
        EXPECT_LT(g_failingManager->m_bstrsAtRelease, g_failingManager->m_bstrsAtReport)
            << "the entry's texts are freed before the manager is released";
    };
    // The event log's file is a directory: the line is lost, silently (the next test's capture
    // names a file again).
    const CStep eventLogUnwritable = [](FailurePointTest& t) {
        setenv("NORN_EVENT_LOG", t.m_xmlDirectory.c_str(), 1);
    };
    const CCall lookUp = [](FailurePointTest&) { return LookUp(TRUE, UnknownName()); };
    const CCall lookUpSilently = [](FailurePointTest&) { return LookUp(FALSE, UnknownName()); };
    const CCall revoke = [](FailurePointTest&) { return CROTAccess().RevokeIfPointer(0xDEAD); };
    return {
        Point("Report_NoErrorManager", f4, {noManager}, 1, {}, {}, {}, {event}),
        Point("Report_ErrorManagerWithoutInterface", f4, {plainManager}, 1, {},
              {[](FailurePointTest& t) {
                  t.m_managerStandIn.reset();
                  EXPECT_EQ(t.m_plainObject.Refs(), 0u);
              }},
              {}, {event}),
        // F4's report makes its platform allocations in a fixed order: the error's file, the
        // entry's copies (2, 3), the version text (4), the report code and file (5, 6), then
        // the lookup.
        Point("Report_EntryWithoutMemory", f4, {PlatformAllocationFails(2)}, 1, {}, {}, {},
              {"ErrorEntry structure not available!"}),
        Point("Report_VersionUnreadable", f4, {PlatformAllocationFails(4)}, 1, {Fail("F4", 2489)},
              {[](FailurePointTest& t) { EXPECT_TRUE(t.m_manager.Reports()[0].version.isNull); }}),
        Point("Report_ErrorManagerRefuses", f4, {failingManager}, 1, {}, {refusalIgnored}),
        Point("Report_EventCannotBeWritten", f4, {noManager, eventLogUnwritable}, 1, {}),
        Point("ROT_RegisterFails", Register, {}, FALSE, {}, {}, {"146"}),
        Point("ROT_LookupFails", lookUp, {}, FALSE, {}, {}, {"212"}),
        Point("ROT_LookupFailsSilently", lookUpSilently, {}, FALSE, {}),
        Point("ROT_RevokeFails", revoke, {}, FALSE, {}, {}, {"248"}),
        Point("ROT_LookupNameWithoutMemory",
              [](FailurePointTest&) { return LookUp(TRUE, nullptr, 1); }, {}, FALSE, {}),
        Point("ROT_RegisterNameWithoutMemory", RegisterWithoutMemory, {}, 1, {}),
    };
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Reports, FailurePointTest,
                         ::testing::ValuesIn(Catalogued({ReportPoints()})), CaseName);

}  // namespace norn::test
