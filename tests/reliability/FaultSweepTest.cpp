// The fault sweep: each driver call that a fault-free run of a host operation makes is failed in
// each way the driver can fail it, one call and one way per run, every run from the same
// starting state. The expected outcome comes from the rule table below (how the contract treats
// an answer, by the call's role) and the operation's call rules (OperationRuns.cpp): the result,
// every report in order, no event-log or diagnostics line, the commits, the batch flags, and on
// success what the operation must have done.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/DeferredCommit.h"
#include "reliability/OperationRuns.h"
#include "reliability/ReliabilityFigures.h"

namespace norn::test {
namespace {

using namespace norn::eeprom;
using firmware::CDriverCall;
using firmware::CDriverFault;

// The ways a driver call can go wrong. Only ReadBlock hands out a buffer, so only ReadBlock can
// report a wrong size or hand out none; its size faults come with status 0 unless named.
enum EFault { Failure, Status, ShortOfHeader, ShortByOne, TooLong, NoBuffer, StatusAndTooLong };

struct CFaultKind {
    EFault fault;
    const char* name;
};

constexpr CFaultKind kFaults[] = {
    {Failure, "failed HRESULT"},
    {Status, "nonzero status"},
    {ShortOfHeader, "4 bytes"},
    {ShortByOne, "one byte short"},
    {TooLong, "one byte long"},
    {NoBuffer, "no buffer"},
    {StatusAndTooLong, "nonzero status and one byte long"},
};

// What the operation does with the answer: goes on, or fails at one of the call's lines.
enum EVerdict { GoesOn, CallLine, StatusLine, SizeLine, NotApplicable };
constexpr EVerdict X = NotApplicable;

// The contract's rules: rows are the roles of ECallRole, columns the faults above.
// clang-format off
constexpr EVerdict kVerdicts[4][7] = {
    //                  failure   status      4 bytes   short     long      no buffer status+long
    /* Checked */       {CallLine, StatusLine, X,        X,        X,        X,        X},
    /* StatusIgnored */ {CallLine, GoesOn,     X,        X,        X,        X,        X},
    /* RewriteRead */   {CallLine, GoesOn,     SizeLine, GoesOn,   GoesOn,   SizeLine, SizeLine},
    /* Read */          {CallLine, StatusLine, SizeLine, SizeLine, SizeLine, SizeLine, StatusLine},
};
// clang-format on

struct CExpected {
    LONG result;
    std::vector<std::string> trail;
    LONG commits;
    bool batchOpen;
};

bool IsCommit(const CDriverCall& call) {
    return call.method == "SetEEPROMMode" && !call.arguments.empty() && call.arguments[0] == 2;
}

CExpected Expect(const CHostOperation& operation, const CDriverCallRule& rule, EFault fault,
                 bool commitCall) {
    const EVerdict verdict = kVerdicts[static_cast<int>(rule.role)][fault];
    EXPECT_NE(verdict, NotApplicable);
    if (verdict == GoesOn) {
        // A commit whose status is ignored has not committed anything all the same.
        return {0, {}, commitCall ? 0 : operation.commits, false};
    }
    const LONG line = verdict == CallLine     ? rule.callLine
                      : verdict == StatusLine ? rule.statusLine
                                              : rule.sizeLine;
    const HRESULT hresult = verdict == CallLine ? kDriverError : E_FAIL;
    return {1, FailureTrail(operation, rule, line, hresult), 0,
            operation.keepsBatch && verdict == CallLine};
}

std::vector<CDriverFault> Plan(EFault fault, const CDriverCallRule& rule, LONG imageSize) {
    const LONG nth = rule.nth;
    switch (fault) {
        case Failure:
            return {CDriverFault::Failure(rule.method, nth, kDriverError)};
        case Status:
            return {CDriverFault::Status(rule.method, nth, kDriverStatus)};
        case ShortOfHeader:
            return {CDriverFault::WrongByteCount(nth, 4)};
        case ShortByOne:
            return {CDriverFault::WrongByteCount(nth, imageSize - 1)};
        case TooLong:
            return {CDriverFault::WrongByteCount(nth, imageSize + 1)};
        case NoBuffer:
            return {CDriverFault::NullBuffer(nth)};
        case StatusAndTooLong:
            return {CDriverFault::Status(rule.method, nth, kDriverStatus),
                    CDriverFault::WrongByteCount(nth, imageSize + 1)};
    }
    return {};
}

LONG ImageSizeOf(const CDriverCall& call) {
    const LONG block = call.arguments.size() > 1 ? call.arguments[1] : 0;
    return block == kMacAddressBlock ? kMacAddressImageSize : kDeviceDataSetImageSize;
}

// "WriteBlock #1 (0 22001 1 1360)".
std::string Describe(const CDriverCall& call, int nth) {
    std::string text = call.method + " #" + std::to_string(nth) + " (";
    for (size_t i = 0; i < call.arguments.size(); ++i) {
        text += (i == 0 ? "" : " ") + std::to_string(call.arguments[i]);
    }
    return text + ")";
}

// "method #n" for each call, n counting the calls of that method.
std::vector<std::string> Numbered(const std::vector<CDriverCall>& journal) {
    std::vector<std::string> calls;
    for (size_t i = 0; i < journal.size(); ++i) {
        int nth = 0;
        for (size_t j = 0; j <= i; ++j) nth += journal[j].method == journal[i].method;
        calls.push_back(journal[i].method + " #" + std::to_string(nth));
    }
    return calls;
}

std::vector<std::string> Numbered(const std::vector<CDriverCallRule>& rules) {
    std::vector<std::string> calls;
    for (const auto& rule : rules) {
        calls.push_back(std::string(rule.method) + " #" + std::to_string(rule.nth));
    }
    return calls;
}

class FaultSweepTest : public COperationRunTest,
                       public ::testing::WithParamInterface<CHostOperation> {
protected:
    void ExpectRun(const CHostOperation& operation, const CRunRecord& run,
                   const CExpected& expected) {
        EXPECT_EQ(run.result, expected.result);
        EXPECT_EQ(run.trail, expected.trail) << "the error manager's reports";
        EXPECT_TRUE(run.events.empty()) << ::testing::PrintToString(run.events);
        EXPECT_TRUE(run.diagnostics.empty()) << ::testing::PrintToString(run.diagnostics);
        EXPECT_EQ(run.commits, expected.commits);
        if (expected.result == 0 && expected.commits > 0) {
            EXPECT_FALSE(run.pendingWrites) << "a write was left uncommitted";
        }
        EXPECT_EQ(run.batchOpen, expected.batchOpen) << "DeferredCommit";
        if (operation.keepsBatch) {
            EXPECT_EQ(run.commitPending, expected.batchOpen) << "CommitPending";
        }
        if (run.result == 0) operation.verify(*this);
    }
};

TEST_P(FaultSweepTest, EachDriverCallFailedEachWayEndsAsTheContractSays) {
    const CHostOperation& operation = GetParam();
    StartFrom(operation);
    {
        SCOPED_TRACE(std::string(operation.code) + ", fault-free");
        ExpectRun(operation, Finish(Call(operation)), {0, {}, operation.commits, false});
    }
    const std::vector<CDriverCall> journal = m_driver.Journal();
    ASSERT_EQ(Numbered(journal), Numbered(operation.calls)) << "the driver calls of the contract";

    for (size_t i = 0; i < journal.size(); ++i) {
        const CDriverCallRule& rule = operation.calls[i];
        for (const CFaultKind& kind : kFaults) {
            if (kind.fault > Status && journal[i].method != "ReadBlock") continue;
            SCOPED_TRACE(std::string(operation.code) + ", " + Describe(journal[i], rule.nth) +
                         ": " + kind.name);
            StartFrom(operation);
            for (const auto& fault : Plan(kind.fault, rule, ImageSizeOf(journal[i]))) {
                m_driver.AddFault(fault);
            }
            const CRunRecord run = Finish(Call(operation));
            ExpectRun(operation, run, Expect(operation, rule, kind.fault, IsCommit(journal[i])));
            AddReliabilityFigure("fault-sweep runs");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(FaultSweep, FaultSweepTest, ::testing::ValuesIn(HostOperations()),
                         OperationName);

}  // namespace
}  // namespace norn::test
