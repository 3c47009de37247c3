// The operation sweep: every host operation (HostOperations.cpp) run again and again from the
// same starting state, each time with one failure planted, over every failure kind:
// - each driver call of its fault-free run, failed in each way the driver can fail it; the run
//   must end as the rule table below says: the result, every report, the commits and the batch
//   flags exactly;
// - each allocation the operation makes, failed in turn until a run no longer reaches the
//   failure: the executable's operator new (AllocationHook.h) and the platform layer's BSTR,
//   task and local memory, each in a run that succeeds, in one whose last driver call fails (so
//   that reports are built under the failure) and in that one without an error manager. The
//   run must be survived: the result 0 or 1; on success everything done; after a failure no
//   commit, and the reports due, in order, each at the error manager or in the event log in its
//   place ("ErrorEntry structure not available!" or "Error in Brightwork (Line n)"); a failed
//   allocation is never reported itself.
// Every run also passes CModuleRunTest::Finish: nothing thrown across, nothing kept or leaked.
//
// The driver and the error manager stand for other processes: their simulators pause the
// allocation hook for the length of each call (their call bracket). Qt's allocations are spared
// (ModuleRun.h); the module's, the C++ runtime's and the platform layer's are failed.
#include <QFile>

#include <atomic>
#include <map>
#include <thread>

#include "driver/DeferredCommit.h"
#include "norn/PlatformTestHooks.h"
#include "reliability/AllocationHook.h"
#include "reliability/HostOperations.h"
#include "reliability/ReliabilityFigures.h"

namespace norn::test {
namespace {

using namespace norn::eeprom;
using firmware::CDriverCall;
using firmware::CDriverFault;
using ::testing::PrintToString;

// --- Driver faults: each way the driver can answer a call wrongly, and the faults that plan
// it. Only ReadBlock hands out a buffer, so only ReadBlock can answer a wrong size or none (the
// ways after the first two); its size faults come with status 0 unless named.
std::vector<std::pair<std::string, std::vector<CDriverFault>>> Ways(const CDriverCallRule& rule,
                                                                    LONG imageSize) {
    const LONG nth = rule.nth;
    const CDriverFault status = CDriverFault::Status(rule.method, nth, kDriverStatus);
    const CDriverFault tooLong = CDriverFault::WrongByteCount(nth, imageSize + 1);
    return {{"failed HRESULT", {CDriverFault::Failure(rule.method, nth, kDriverError)}},
            {"nonzero status", {status}},
            {"4 bytes", {CDriverFault::WrongByteCount(nth, 4)}},
            {"one byte short", {CDriverFault::WrongByteCount(nth, imageSize - 1)}},
            {"one byte long", {tooLong}},
            {"no buffer", {CDriverFault::NullBuffer(nth)}},
            {"nonzero status and one byte long", {status, tooLong}}};
}

// What the operation does with the answer: goes on, or fails at one of the call's lines.
enum EVerdict { GoesOn, CallLine, StatusLine, SizeLine, NotApplicable };
constexpr EVerdict X = NotApplicable;

// The contract's rules: rows are the roles of ECallRole, columns the ways above.
// clang-format off
constexpr EVerdict kVerdicts[4][7] = {
    //                  failure   status      4 bytes   short     long      no buffer status+long
    /* Checked */       {CallLine, StatusLine, X,        X,        X,        X,        X},
    /* StatusIgnored */ {CallLine, GoesOn,     X,        X,        X,        X,        X},
    /* RewriteRead */   {CallLine, GoesOn,     SizeLine, GoesOn,   GoesOn,   SizeLine, SizeLine},
    /* Read */          {CallLine, StatusLine, SizeLine, SizeLine, SizeLine, SizeLine, StatusLine},
};
// clang-format on

// --- Allocation failures.
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

// The allocations failed: the executable's operator new, or the platform layer's (BSTR, task
// and local memory), where an error whose own file text cannot be allocated is never raised.
struct CAllocationFault {
    const char* name;
    const char* figure;
    bool platform;
};
const CAllocationFault kAllocationFaults[] = {
    {"operator new", "allocation-failure runs", false},
    {"platform allocation", "platform-allocation-failure runs", true}};

// The run around the failed allocation.
struct CScenario {
    const char* name;
    bool lastCallFails;
    bool withManager;
};
constexpr CScenario kScenarios[] = {{"succeeding run", false, true},
                                    {"failing run", true, true},
                                    {"failing run without error manager", true, false}};

// How the event-log text that stands for a report names its line: " (Line 1104)".
std::string LineOf(const std::string& trailEntry) {
    const size_t colon = trailEntry.find(':');
    return " (Line " + trailEntry.substr(colon + 1, trailEntry.find(' ') - colon - 1) + ")";
}

// Whether the event-log text stands for the report. The file field is not compared: what it
// holds when its own copy cannot be allocated is the module's choice.
bool StandsFor(const std::string& event, const std::string& trailEntry) {
    const std::string line = LineOf(trailEntry);
    return event == kNoEntry || (event.rfind("Error in ", 0) == 0 && event.size() >= line.size() &&
                                 event.compare(event.size() - line.size(), line.size(), line) == 0);
}

class OperationSweepTest : public CModuleRunTest,
                           public ::testing::WithParamInterface<CHostOperation> {
protected:
    void SetUp() override {
        CModuleRunTest::SetUp();
        m_driver.SetCallBracket(PauseAllocations);
        m_manager.SetCallBracket(PauseAllocations);
    }

    // A fresh start of the operation, its driver faults planned; the run begins after this.
    void Start(const CHostOperation& operation, const std::vector<CDriverFault>& faults = {}) {
        Reset();
        operation.prepare(*this);
        for (const CDriverFault& fault : faults) m_driver.AddFault(fault);
        Begin();
    }

    // What a run that did everything shows.
    void ExpectDone(const CHostOperation& operation, const CRunRecord& run, LONG commits) {
        EXPECT_TRUE(run.trail.empty()) << PrintToString(run.trail);
        EXPECT_TRUE(run.events.empty()) << PrintToString(run.events);
        EXPECT_EQ(run.commits, commits);
        EXPECT_TRUE(commits == 0 || !run.pendingWrites) << "a write was left uncommitted";
        operation.verify(*this);
    }

    void SweepDriverCall(const CHostOperation& operation, const CDriverCallRule& rule,
                         const CDriverCall& call) {
        const bool commitCall = call.method == "SetEEPROMMode" && call.arguments.at(0) == 2;
        const LONG block = call.arguments.size() > 1 ? call.arguments[1] : 0;
        const LONG imageSize =
            block == kMacAddressBlock ? kMacAddressImageSize : kDeviceDataSetImageSize;
        const auto ways = Ways(rule, imageSize);
        for (size_t way = 0; way < ways.size(); ++way) {
            if (way > 1 && call.method != "ReadBlock") break;
            SCOPED_TRACE(std::string(operation.code) + ", " + rule.method + " #" +
                         std::to_string(rule.nth) + ": " + ways[way].first);
            const EVerdict verdict = kVerdicts[static_cast<int>(rule.role)][way];
            ASSERT_NE(verdict, NotApplicable);
            Start(operation, ways[way].second);
            const CRunRecord run = Finish(Call(operation.call, *this));
            AddReliabilityFigure("fault-sweep runs");
            EXPECT_TRUE(run.diagnostics.empty()) << PrintToString(run.diagnostics);
            // Only a failed batch commit call leaves the batch open, its write still pending.
            const bool batchKept = operation.keepsBatch && verdict == CallLine;
            EXPECT_EQ(IsDeferredCommit(), batchKept);
            if (operation.keepsBatch) {
                EXPECT_EQ(IsCommitPending(), batchKept);
            }
            if (verdict == GoesOn) {
                // A commit whose status is ignored has not committed anything all the same.
                EXPECT_EQ(run.result, 0);
                ExpectDone(operation, run, commitCall ? 0 : operation.commits);
                continue;
            }
            const LONG line = verdict == CallLine     ? rule.callLine
                              : verdict == StatusLine ? rule.statusLine
                                                      : rule.sizeLine;
            EXPECT_EQ(run.result, 1);
            EXPECT_EQ(run.trail, FailureTrail(operation, rule, line,
                                              verdict == CallLine ? kDriverError : E_FAIL));
            EXPECT_TRUE(run.filesNamed) << "the reports' file";
            EXPECT_TRUE(run.events.empty()) << PrintToString(run.events);
            EXPECT_EQ(run.commits, 0);
        }
    }

    // Runs the operation with its 1st, 2nd, ... allocation failing until a run no longer
    // reaches the failure; that last run must end as a run without the hook does.
    void SweepAllocations(const CAllocationFault& fault, const CScenario& scenario) {
        const CHostOperation& operation = GetParam();
        const CDriverCallRule& last = operation.calls.back();
        std::vector<std::string> due;
        std::vector<CDriverFault> faults;
        if (scenario.lastCallFails) {
            due = FailureTrail(operation, last, last.callLine, kDriverError);
            faults.push_back(CDriverFault::Failure(last.method, last.nth, kDriverError));
        }
        if (!scenario.withManager) UnregisterErrorManager();
        for (long nth = 1; nth < kAllocationLimit; ++nth) {
            SCOPED_TRACE(std::string(operation.code) + ", " + scenario.name + ", " + fault.name +
                         " #" + std::to_string(nth) + " fails");
            Start(operation, faults);
            const auto [result, fired] = RunFailing(fault, nth);
            const bool faultReached = scenario.lastCallFails && m_driver.CallCount(last.method) >=
                                                                    static_cast<size_t>(last.nth);
            const CRunRecord run = Finish(result);
            if (!fired) {  // the run no longer reached the failure: it ends as one without the hook
                EXPECT_GT(nth, 1) << "no allocation was failed: the hook is not in place";
                ExpectSurvived(operation, run, scenario);
                EXPECT_EQ(run.result, due.empty() ? 0 : 1);
                EXPECT_TRUE(run.diagnostics.empty()) << PrintToString(run.diagnostics);
                std::vector<std::string> events;
                for (const auto& entry : due) {
                    events.push_back("Error in Brightwork" + LineOf(entry));
                }
                EXPECT_EQ(run.trail, scenario.withManager ? due : std::vector<std::string>{});
                EXPECT_EQ(run.events, scenario.withManager ? std::vector<std::string>{} : events);
                return;
            }
            AddReliabilityFigure(fault.figure);
            ExpectSurvived(operation, run, scenario);
            if (faultReached) {
                ExpectDueReports(run, scenario, due, fault.platform);
            } else {
                ExpectAtMostOneChain(operation, run, scenario);
            }
            if (HasFailure()) return;  // the first run that fails says it all
        }
        ADD_FAILURE() << "no run completed within " << kAllocationLimit << " allocations";
    }

private:
    // Arms the nth allocation's failure, makes the call: its result, and whether the failure was
    // reached. Finish() disarms the platform's.
    std::pair<LONG, bool> RunFailing(const CAllocationFault& fault, long nth) {
        const CHostOperation& operation = GetParam();
        if (fault.platform) {
            NornFailPlatformAllocation(nth);
            const LONG result = Call(operation.call, *this);
            return {result, !PlatformFailureStillArmed(nth)};
        }
        CFailingAllocation failing(nth);
        const LONG result = Call(operation.call, *this);
        return {result, failing.Fired()};
    }

    void ExpectSurvived(const CHostOperation& operation, const CRunRecord& run,
                        const CScenario& scenario) {
        ASSERT_TRUE(run.result == 0 || run.result == 1) << run.result;
        EXPECT_EQ(IsDeferredCommit(), operation.keepsBatch && run.result == 1);
        EXPECT_TRUE(run.diagnostics.empty() || run.diagnostics == std::vector<std::string>{"212"})
            << "only the driver lookup's own report: " << PrintToString(run.diagnostics);
        EXPECT_TRUE(run.result == 1 || !scenario.lastCallFails) << "the failing call was skipped";
        if (run.result == 1) {
            EXPECT_EQ(run.commits, 0) << "committed after a failure";
        } else {
            ExpectDone(operation, run, operation.commits);
        }
    }

    // No report was due when the allocation failed: what follows is at most one chain, an inner
    // routine's report and then the operation's own, each delivered where reports go.
    void ExpectAtMostOneChain(const CHostOperation& operation, const CRunRecord& run,
                              const CScenario& scenario) {
        const auto& delivered = scenario.withManager ? run.trail : run.events;
        const auto& elsewhere = scenario.withManager ? run.events : run.trail;
        EXPECT_TRUE(elsewhere.empty()) << PrintToString(elsewhere);
        EXPECT_LE(delivered.size(), 2u) << PrintToString(delivered);
        if (scenario.withManager && !run.trail.empty()) {
            const std::string& own = run.trail.back();
            EXPECT_EQ(own.substr(0, own.find(':')), operation.code) << "its own report comes last";
        }
        for (const std::string& event : run.events) EXPECT_NE(event, kNoEntry);
    }

    // The reports due, in order, each the trail's next entry or the event log's next text, and
    // nothing else: with a manager at most one of them is displaced, its record not built
    // ("ErrorEntry structure not available!") or the manager not found ("Error in Brightwork
    // (Line n)"); a report may be lost only where its error cannot be raised, or where its event
    // cannot be written.
    void ExpectDueReports(const CRunRecord& run, const CScenario& scenario,
                          const std::vector<std::string>& due, bool errorsMayVanish) {
        size_t atManager = 0, inEventLog = 0, lost = 0;
        for (const std::string& entry : due) {
            if (atManager < run.trail.size() && run.trail[atManager] == entry) {
                ++atManager;
            } else if (inEventLog < run.events.size() && StandsFor(run.events[inEventLog], entry)) {
                ++inEventLog;
            } else {
                ++lost;
            }
        }
        EXPECT_EQ(atManager, run.trail.size())
            << PrintToString(run.trail) << " is not part of " << PrintToString(due);
        EXPECT_EQ(inEventLog, run.events.size())
            << PrintToString(run.events) << " stands for no missing report";
        if (scenario.withManager) {
            EXPECT_LE(due.size() - atManager, 1u) << "one failed allocation displaced two reports";
        }
        const bool mayLose = errorsMayVanish || !scenario.withManager;
        EXPECT_LE(lost, mayLose ? 1u : 0u) << "a report ended nowhere";
    }
};

TEST_P(OperationSweepTest, EachDriverCallFailedEachWayEndsAsTheContractSays) {
    const CHostOperation& operation = GetParam();
    Start(operation);
    const CRunRecord run = Finish(Call(operation.call, *this));
    EXPECT_EQ(run.result, 0) << "fault-free";
    ExpectDone(operation, run, operation.commits);
    const std::vector<CDriverCall> journal = m_driver.Journal();
    ASSERT_EQ(journal.size(), operation.calls.size()) << "the driver calls of the contract";
    std::map<std::string, int> made;  // the calls of each method so far
    for (size_t i = 0; i < journal.size(); ++i) {
        const CDriverCallRule& rule = operation.calls[i];
        ASSERT_EQ(journal[i].method, rule.method) << "driver call " << i;
        ASSERT_EQ(++made[rule.method], rule.nth) << rule.method;
        SweepDriverCall(operation, rule, journal[i]);
    }
}

TEST_P(OperationSweepTest, EachAllocationFailureIsSurvived) {
    for (const CScenario& scenario : kScenarios) {  // those without an error manager last
        for (const CAllocationFault& fault : kAllocationFaults) SweepAllocations(fault, scenario);
    }
}

INSTANTIATE_TEST_SUITE_P(Sweep, OperationSweepTest, ::testing::ValuesIn(HostOperations()),
                         [](const auto& info) { return std::string(info.param.code); });

// The hook itself: it fails the chosen allocation of the arming thread only, once, the nothrow
// forms with null; it reaches the shared libraries' allocations (the platform layer's here: this
// fails when a sanitizer's or valgrind's operator new took precedence) but spares Qt's.
TEST(AllocationHookTest, FailsTheChosenAllocationOfTheArmingThreadOnly) {
    SpareQtAllocations();
    std::atomic<bool> go{false};
    void* elsewhere = nullptr;
    std::thread other([&] {
        while (!go) std::this_thread::yield();
        elsewhere = ::operator new(16);
    });
    {
        CFailingAllocation failing(2);
        void* first = ::operator new(16);
        go = true;
        other.join();
        EXPECT_EQ(::operator new[](16, std::nothrow), nullptr);
        EXPECT_TRUE(failing.Fired());
        QFile file(QStringLiteral("/nonexistent"));
        EXPECT_EQ(failing.Counted(), 2) << "Qt's allocations are spared";
        ::operator delete(first);
        ::operator delete(elsewhere);
    }
    CFailingAllocation failing(1);
    IMoniker* moniker = nullptr;
    EXPECT_EQ(CreateItemMoniker(OLESTR(""), OLESTR("item"), &moniker), E_OUTOFMEMORY);
    EXPECT_TRUE(failing.Fired());
}

}  // namespace
}  // namespace norn::test
