// Allocation failures: each host operation is run once for every allocation it makes, with that
// one allocation failing, until a run completes without reaching the failure. Two hooks: the
// executable's operator new (AllocationHook.h) and the platform layer's own BSTR, task and local
// memory (NornFailPlatformAllocation). Each operation is swept three times: as a fault-free run,
// with its last driver call failing so that reports are built under the sweep as well, and that
// again without an error manager, so that they go to the event log.
//
// The driver and the error manager stand for other processes: the module reaches them through
// stand-ins that pause the hook for the length of each call. Qt's own allocations are spared
// (SpareQt below); the module's, the C++ runtime's and the platform layer's are failed.
//
// What every run must show: the result 0 or 1 and nothing thrown; no reference and no BSTR kept;
// on success everything the operation does, done; after a failure no commit, and reports as the
// contract gives them: an allocation failure is not reported itself, an inner routine that fails
// makes its caller report, and a report that cannot be built or delivered ends in the event log
// ("ErrorEntry structure not available!" or "Error in Brightwork (Line n)") instead.
#include <gtest/gtest.h>

#include <norn/ErrorManager.h>
#include <norn/firmware/RotRegistration.h>

#include <QFile>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/TableEntries.h"
#include "norn/PlatformTestHooks.h"
#include "reliability/AllocationHook.h"
#include "reliability/OperationRuns.h"
#include "reliability/ReliabilityFigures.h"

namespace norn::test {
namespace {

using firmware::CDriverFault;
using firmware::CErrorManagerSimulator;
using firmware::CMeasurementDriverSimulator;
using firmware::CRotRegistration;

// The driver as the module reaches it during a sweep: every call goes to the simulator with the
// hook paused. References are counted on the simulator. Not copyable; outlives its registration.
class CPausedDriver final : public CComObjectBase<IEEPROMBlock, IEEPROMControl, IDriverValue> {
public:
    explicit CPausedDriver(CMeasurementDriverSimulator& driver) : m_driver(driver) {}

    ULONG STDMETHODCALLTYPE AddRef() override { return m_driver.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_driver.Release(); }

    // One answer for the same-named reserved slots of all three interfaces; nobody calls them.
    HRESULT STDMETHODCALLTYPE Reserved3() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved4() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved7() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved8() override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE WriteBlock(LONG reserved, LONG block, LONG flag, LONG byteCount,
                                         BYTE* image, BYTE** imageRef, LONG* status) override {
        CAllocationPause pause;
        return m_driver.WriteBlock(reserved, block, flag, byteCount, image, imageRef, status);
    }
    HRESULT STDMETHODCALLTYPE ReadBlock(LONG reserved, LONG block, LONG* byteCount, BYTE** buffer,
                                        LONG* status) override {
        CAllocationPause pause;
        return m_driver.ReadBlock(reserved, block, byteCount, buffer, status);
    }
    HRESULT STDMETHODCALLTYPE SetEEPROMMode(LONG mode, LONG flag, LONG* status) override {
        CAllocationPause pause;
        return m_driver.SetEEPROMMode(mode, flag, status);
    }
    HRESULT STDMETHODCALLTYPE PrepareRead(LONG a, LONG b, LONG c, LONG d, LONG* status) override {
        CAllocationPause pause;
        return m_driver.PrepareRead(a, b, c, d, status);
    }
    HRESULT STDMETHODCALLTYPE WriteValue(LONG item, LONG subItem, LONG byteCount, BYTE* data,
                                         LONG* status) override {
        CAllocationPause pause;
        return m_driver.WriteValue(item, subItem, byteCount, data, status);
    }
    HRESULT STDMETHODCALLTYPE QueryValue(LONG item, LONG code, BYTE* buffer,
                                         LONG* status) override {
        CAllocationPause pause;
        return m_driver.QueryValue(item, code, buffer, status);
    }
    HRESULT STDMETHODCALLTYPE ReadValue(LONG item, LONG subItem, LONG bufferSize, BYTE* buffer,
                                        LONG* status) override {
        CAllocationPause pause;
        return m_driver.ReadValue(item, subItem, bufferSize, buffer, status);
    }

private:
    CMeasurementDriverSimulator& m_driver;
};

// The error manager as the module reaches it during a sweep, likewise.
class CPausedErrorManager final : public CComObjectBase<IErrorManager> {
public:
    explicit CPausedErrorManager(CErrorManagerSimulator& manager) : m_manager(manager) {}

    ULONG STDMETHODCALLTYPE AddRef() override { return m_manager.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_manager.Release(); }
    HRESULT STDMETHODCALLTYPE ReportError(ErrorEntry entry) override {
        CAllocationPause pause;
        return m_manager.ReportError(entry);
    }

private:
    CErrorManagerSimulator& m_manager;
};

constexpr long kAllocationLimit = 100000;  // a sweep that gets here never completes
const std::string kNoEntry = "ErrorEntry structure not available!";

// The platform's countdown cannot be read back: a failure still armed after the run shows up
// within nth probe allocations.
bool PlatformFailureStillArmed(LONG nth) {
    for (LONG i = 0; i < nth; ++i) {
        BSTR probe = SysAllocString(OLESTR("probe"));
        if (probe == nullptr) return true;
        SysFreeString(probe);
    }
    return false;
}

std::string CodeOf(const std::string& trailEntry) {
    return trailEntry.substr(0, trailEntry.find(':'));
}

// The event-log text that stands for a report without the error manager.
std::string EventFor(const std::string& trailEntry) {
    const size_t colon = trailEntry.find(':');
    return "Error in Brightwork (Line " +
           trailEntry.substr(colon + 1, trailEntry.find(' ') - colon - 1) + ")";
}

std::vector<std::string> EventsFor(const std::vector<std::string>& trail) {
    std::vector<std::string> events;
    for (const std::string& entry : trail) events.push_back(EventFor(entry));
    return events;
}

// The entries of `due` that `trail` lacks, when `trail` keeps the others in order.
bool DropsOnly(const std::vector<std::string>& trail, const std::vector<std::string>& due,
               std::vector<std::string>& dropped) {
    size_t next = 0;
    for (const std::string& entry : due) {
        if (next < trail.size() && trail[next] == entry) {
            ++next;
        } else {
            dropped.push_back(entry);
        }
    }
    return next == trail.size();
}

// Whether the event-log text stands for the report. The file field is not compared: what it
// holds when its own copy cannot be allocated is the module's choice.
bool StandsFor(const std::string& event, const std::string& trailEntry) {
    if (event == kNoEntry) return true;
    const std::string expected = EventFor(trailEntry);
    const std::string line = expected.substr(expected.find(" (Line "));
    return event.rfind("Error in ", 0) == 0 && event.size() >= line.size() &&
           event.compare(event.size() - line.size(), line.size(), line) == 0;
}

// How many dropped reports no event-log text stands for, the texts taken in order; -1 when a
// text stands for none of them.
int Unaccounted(const std::vector<std::string>& events, const std::vector<std::string>& dropped) {
    size_t next = 0;
    for (const std::string& event : events) {
        while (next < dropped.size() && !StandsFor(event, dropped[next])) ++next;
        if (next == dropped.size()) return -1;
        ++next;
    }
    return static_cast<int>(dropped.size() - events.size());
}

// One way of failing the nth allocation: arms it, makes the call, disarms; true when the
// failure was reached.
struct CAllocationFault {
    const char* name;
    const char* figure;
    bool (*run)(COperationRunTest& test, const CHostOperation& operation, long nth, LONG& result);
    bool errorsMayVanish;  // an error whose own file text cannot be allocated is never raised
};

const CAllocationFault kOperatorNew = {
    "operator new", "allocation-failure runs",
    [](COperationRunTest& test, const CHostOperation& operation, long nth, LONG& result) {
        CFailingAllocation failing(nth);
        result = test.Call(operation);
        return failing.Fired();
    },
    false};

const CAllocationFault kPlatformAllocation = {
    "platform allocation", "platform-allocation-failure runs",
    [](COperationRunTest& test, const CHostOperation& operation, long nth, LONG& result) {
        NornFailPlatformAllocation(nth);
        result = test.Call(operation);
        const bool fired = !PlatformFailureStillArmed(nth);
        NornFailPlatformAllocation(0);
        return fired;
    },
    true};

// The run around the failed allocation: a fault-free one, or one whose last driver call fails
// so that its reports are built under the sweep, sent to the error manager or, without one,
// written to the event log.
struct CScenario {
    const char* name;
    bool lastCallFails;
    bool withManager;
};

constexpr CScenario kSucceeding = {"succeeding run", false, true};
constexpr CScenario kFailing = {"failing run", true, true};
constexpr CScenario kFailingUnmanaged = {"failing run without error manager", true, false};

// Qt does not survive a failed allocation of its own (QFile's construction crashes in
// ~QObjectPrivate), so only the module's own allocations and those of the libraries below it are
// failed: Qt's are spared.
void SpareQt() {
    static const bool spared = (SpareAllocationsOfLibraries("libQt6"), true);
    static_cast<void>(spared);
}

class AllocationFailureTest : public COperationRunTest,
                              public ::testing::WithParamInterface<CHostOperation> {
protected:
    static void SetUpTestSuite() { SpareQt(); }

    void SetUp() override {
        COperationRunTest::SetUp();
        UnregisterDriver();
        UnregisterErrorManager();
        m_driverStandIn =
            std::make_unique<CRotRegistration>(m_pausedDriver.Unknown(), OLESTR("TarvoMeasDriver"));
        ASSERT_TRUE(m_driverStandIn->Succeeded());
    }
    void TearDown() override {
        NornFailPlatformAllocation(0);
        m_driverStandIn.reset();
        m_managerStandIn.reset();
        COperationRunTest::TearDown();
    }

    // Runs the operation with its 1st, 2nd, ... allocation failing until a run no longer
    // reaches the failure; that last run must end as a run without the hook does.
    void Sweep(const CAllocationFault& fault, const CScenario& scenario) {
        const CHostOperation& operation = GetParam();
        const CDriverCallRule& last = operation.calls.back();
        const std::vector<std::string> due =
            scenario.lastCallFails ? FailureTrail(operation, last, last.callLine, kDriverError)
                                   : std::vector<std::string>{};
        m_managerStandIn.reset();
        if (scenario.withManager) {
            m_managerStandIn =
                std::make_unique<CRotRegistration>(&m_pausedManager, OLESTR("ErrorManager"));
        }
        for (long nth = 1; nth < kAllocationLimit; ++nth) {
            SCOPED_TRACE(std::string(operation.code) + ", " + scenario.name + ", " + fault.name +
                         " #" + std::to_string(nth) + " fails");
            StartFrom(operation);
            if (scenario.lastCallFails) {
                m_driver.AddFault(CDriverFault::Failure(last.method, last.nth, kDriverError));
            }
            LONG result = -1;
            const bool fired = fault.run(*this, operation, nth, result);
            const bool faultReached = DriverFaultReached();
            const CRunRecord run = Finish(result);
            if (!fired) {
                EXPECT_GT(nth, 1) << "no allocation was failed: the hook is not in place";
                ExpectCleanRun(operation, run, scenario, due);
                return;
            }
            AddReliabilityFigure(fault.figure);
            ExpectSurvived(operation, run, scenario);
            if (faultReached) {
                ExpectDueReports(run, scenario, due, fault.errorsMayVanish);
            } else {
                ExpectAtMostOneChain(operation, run, scenario);
            }
            if (HasFailure()) return;  // the first run that fails says it all
        }
        ADD_FAILURE() << "no run completed within " << kAllocationLimit << " allocations";
    }

private:
    bool DriverFaultReached() const {
        const auto journal = m_driver.Journal();
        return std::any_of(journal.begin(), journal.end(),
                           [](const auto& call) { return call.hresult == kDriverError; });
    }

    void ExpectCleanRun(const CHostOperation& operation, const CRunRecord& run,
                        const CScenario& scenario, const std::vector<std::string>& due) {
        const LONG result = due.empty() ? 0 : 1;
        EXPECT_EQ(run.result, result) << "the run that no longer reached the failure";
        EXPECT_EQ(run.trail, scenario.withManager ? due : std::vector<std::string>{});
        EXPECT_EQ(run.events, scenario.withManager ? std::vector<std::string>{} : EventsFor(due));
        EXPECT_TRUE(run.diagnostics.empty()) << ::testing::PrintToString(run.diagnostics);
        EXPECT_EQ(run.commits, result == 0 ? operation.commits : 0);
        if (result == 0) operation.verify(*this);
    }

    void ExpectSurvived(const CHostOperation& operation, const CRunRecord& run,
                        const CScenario& scenario) {
        ASSERT_TRUE(run.result == 0 || run.result == 1) << run.result;
        EXPECT_EQ(run.batchOpen, operation.keepsBatch && run.result == 1) << "DeferredCommit";
        EXPECT_LE(run.diagnostics.size(), 1u);
        for (const std::string& line : run.diagnostics) {
            EXPECT_EQ(line, "212") << "only the driver lookup's own report";
        }
        if (scenario.lastCallFails) {
            EXPECT_EQ(run.result, 1) << "the failing call was skipped";
        }
        if (run.result == 1) {
            EXPECT_EQ(run.commits, 0) << "committed after a failure";
            return;
        }
        EXPECT_TRUE(run.trail.empty()) << ::testing::PrintToString(run.trail);
        EXPECT_TRUE(run.events.empty()) << ::testing::PrintToString(run.events);
        EXPECT_EQ(run.commits, operation.commits);
        if (operation.commits > 0) {
            EXPECT_FALSE(run.pendingWrites) << "left uncommitted";
        }
        operation.verify(*this);
    }

    // No report was due when the allocation failed: what follows is at most one chain, an inner
    // routine's report and then the operation's own, each delivered where reports go.
    void ExpectAtMostOneChain(const CHostOperation& operation, const CRunRecord& run,
                              const CScenario& scenario) {
        const auto& delivered = scenario.withManager ? run.trail : run.events;
        const auto& elsewhere = scenario.withManager ? run.events : run.trail;
        EXPECT_TRUE(elsewhere.empty()) << ::testing::PrintToString(elsewhere);
        EXPECT_LE(delivered.size(), 2u) << ::testing::PrintToString(delivered);
        if (scenario.withManager && !run.trail.empty()) {
            EXPECT_EQ(CodeOf(run.trail.back()), operation.code) << "its own report comes last";
        }
        for (const std::string& event : run.events) EXPECT_NE(event, kNoEntry);
    }

    // The reports due, in order, each at the error manager or in the event log: with a manager
    // at most one of them is displaced, its record not built ("ErrorEntry structure not
    // available!") or the manager not found ("Error in Brightwork (Line n)"); a report may be
    // lost only where its error cannot be raised, or where its event cannot be written.
    void ExpectDueReports(const CRunRecord& run, const CScenario& scenario,
                          const std::vector<std::string>& due, bool errorsMayVanish) {
        std::vector<std::string> dropped;
        ASSERT_TRUE(DropsOnly(run.trail, due, dropped))
            << ::testing::PrintToString(run.trail) << " is not part of "
            << ::testing::PrintToString(due);
        if (scenario.withManager) {
            EXPECT_LE(dropped.size(), 1u) << "one failed allocation displaced two reports";
        }
        const int unaccounted = Unaccounted(run.events, dropped);
        EXPECT_GE(unaccounted, 0) << ::testing::PrintToString(run.events)
                                  << " stands for no missing report of "
                                  << ::testing::PrintToString(dropped);
        const bool mayLose = errorsMayVanish || !scenario.withManager;
        EXPECT_LE(unaccounted, mayLose ? 1 : 0) << "a report ended nowhere";
    }

    CPausedDriver m_pausedDriver{m_driver};
    CPausedErrorManager m_pausedManager{m_manager};
    std::unique_ptr<CRotRegistration> m_driverStandIn;
    std::unique_ptr<CRotRegistration> m_managerStandIn;
};

TEST_P(AllocationFailureTest, EachOperatorNewFailureIsSurvived) {
    for (const CScenario& scenario : {kSucceeding, kFailing, kFailingUnmanaged}) {
        Sweep(kOperatorNew, scenario);
    }
}

TEST_P(AllocationFailureTest, EachPlatformAllocationFailureIsSurvived) {
    for (const CScenario& scenario : {kSucceeding, kFailing, kFailingUnmanaged}) {
        Sweep(kPlatformAllocation, scenario);
    }
}

INSTANTIATE_TEST_SUITE_P(Allocation, AllocationFailureTest, ::testing::ValuesIn(HostOperations()),
                         OperationName);

// Entries 4 and 6 hand out one buffer each, and entry 21 gives it back: nothing stays.
using ExportedBufferTest = COperationRunTest;
TEST_F(ExportedBufferTest, EachHandedOutBufferIsFreedByEntry21) {
    for (const CHostOperation& operation : HostOperations()) {
        const std::string code = operation.code;
        if (code != "D5" && code != "D7") continue;
        SCOPED_TRACE(code);
        StartFrom(operation);
        const long before = LiveArrayBlocks();
        ASSERT_EQ(Call(operation), 0);
        ASSERT_NE(m_exported, nullptr);
        EXPECT_EQ(LiveArrayBlocks(), before + 1) << "one buffer handed out";
        ReleaseBuffer(0, m_exported);
        m_exported = nullptr;
        EXPECT_EQ(LiveArrayBlocks(), before);
    }
}

// The hook itself: only the arming thread, once, the nothrow forms too, the shared libraries'
// allocations as well (the platform layer's here: this fails if a sanitizer's or valgrind's
// operator new took precedence), and never inside the stand-ins' calls.
TEST(AllocationHookTest, FailsTheChosenAllocationOnTheArmingThreadOnly) {
    std::atomic<bool> go{false};
    void* elsewhere = nullptr;
    std::thread other([&] {
        while (!go) std::this_thread::yield();
        elsewhere = ::operator new(16);
    });
    CFailingAllocation failing(2);
    void* first = ::operator new(16);
    go = true;
    other.join();
    EXPECT_FALSE(failing.Fired());
    EXPECT_THROW(static_cast<void>(::operator new(16)), std::bad_alloc);
    EXPECT_TRUE(failing.Fired());
    void* third = ::operator new[](16);
    EXPECT_EQ(failing.Counted(), 3);
    ::operator delete(first);
    ::operator delete[](third);
    ::operator delete(elsewhere);
}

TEST(AllocationHookTest, NothrowFormsGiveNull) {
    CFailingAllocation failing(1);
    EXPECT_EQ(::operator new[](16, std::nothrow), nullptr);
}

TEST(AllocationHookTest, ReachesTheSharedLibrariesAllocations) {
    IMoniker* moniker = nullptr;
    HRESULT hr = S_OK;
    {
        CFailingAllocation failing(1);
        hr = CreateItemMoniker(OLESTR(""), OLESTR("item"), &moniker);
        EXPECT_TRUE(failing.Fired());
    }
    EXPECT_EQ(hr, E_OUTOFMEMORY);
    EXPECT_EQ(moniker, nullptr);
}

TEST(AllocationHookTest, SparesQt) {
    SpareQt();
    CFailingAllocation failing(1);
    QFile file(QStringLiteral("/nonexistent"));
    EXPECT_FALSE(failing.Fired());
}

TEST(AllocationHookTest, StandInsCallTheSimulatorsWithTheHookPaused) {
    CMeasurementDriverSimulator driver;
    CPausedDriver pausedDriver(driver);
    CErrorManagerSimulator manager;
    CPausedErrorManager pausedManager(manager);
    LONG size = 0, status = -1;
    BYTE* buffer = nullptr;
    {
        CFailingAllocation failing(1);
        EXPECT_EQ(
            pausedDriver.ReadBlock(0, norn::eeprom::kDeviceDataSetBlock, &size, &buffer, &status),
            S_OK);
        EXPECT_EQ(pausedManager.ReportError(ErrorEntry{}), S_OK);
        EXPECT_FALSE(failing.Fired());
    }
    EXPECT_EQ(driver.CallCount("ReadBlock"), 1u);
    EXPECT_EQ(manager.Reports().size(), 1u);
}

}  // namespace
}  // namespace norn::test
