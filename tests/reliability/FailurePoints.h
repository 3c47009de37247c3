// The failure-point catalogue: every failure point of the module's contract, provoked once with
// the simulators and the file system, with what must follow: the result, every report in order
// (code, HRESULT, line; where a row asks, the driver references the module holds while it
// reports), the diagnostics and event-log lines, the commits, and the state of blocks and files.
// Each subsystem's rows are a table of their own (*Points.cpp); every row that passes counts as
// a failure point covered, and the run ends with "N of M failure points covered".
#pragma once

#include <gtest/gtest.h>

#include <norn/firmware/RotRegistration.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/DeferredCommit.h"
#include "norn/InterfaceId.h"
#include "reliability/HostOperations.h"
#include "support/CountingObjects.h"

namespace norn::test {

class FailurePointTest;
using CStep = std::function<void(FailurePointTest&)>;
using CCall = std::function<LONG(FailurePointTest&)>;

struct CExpectedReport {
    const char* code;
    HRESULT hresult;
    LONG line;
    LONG held;  // the driver references held while it is made; not checked when negative
};
inline CExpectedReport Fail(const char* code, LONG line, LONG held = -1) {
    return {code, E_FAIL, line, held};
}
inline CExpectedReport NoPointer(const char* code, LONG line) {
    return {code, E_POINTER, line, -1};
}
inline CExpectedReport DriverError(const char* code, LONG line, LONG held = -1) {
    return {code, kDriverError, line, held};
}

// One row: a failure point, how to provoke it, and what follows.
struct CFailurePoint {
    std::string id;  // the case's name
    CCall call;
    std::vector<CStep> given;  // arranged in order before the call
    LONG result;
    std::vector<CExpectedReport> reports;
    std::vector<CStep> then;               // checked after the call
    std::vector<std::string> diagnostics;  // report lines sent to the diagnostics library
    std::vector<std::string> events;       // texts written to the event log
    LONG commits;
};
inline CFailurePoint Point(std::string id, CCall call, std::vector<CStep> given, LONG result,
                           std::vector<CExpectedReport> reports, std::vector<CStep> then = {},
                           std::vector<std::string> diagnostics = {},
                           std::vector<std::string> events = {}, LONG commits = 0) {
    return {std::move(id),   std::move(call),        std::move(given),  result, std::move(reports),
            std::move(then), std::move(diagnostics), std::move(events), commits};
}

// Rows that share their call and result: each row's id is the table's prefix and the row's name;
// the table's arrangements come before the row's, its checks before the row's.
struct CRowTable {
    std::vector<CFailurePoint>& rows;
    std::string prefix;
    CCall call;
    LONG result;
    std::vector<CStep> given = {};
    std::vector<CStep> then = {};

    void operator()(const std::string& name, std::vector<CStep> rowGiven,
                    std::vector<CExpectedReport> reports, std::vector<CStep> rowThen = {},
                    std::vector<std::string> diagnostics = {});
};

void PrintTo(const CFailurePoint& point, std::ostream* out);
std::string CaseName(const ::testing::TestParamInfo<CFailurePoint>& info);

// The rows of a subsystem's tables, one after the other, counted into the figure "failure points".
std::vector<CFailurePoint> Catalogued(std::initializer_list<std::vector<CFailurePoint>> tables);

class FailurePointTest : public CModuleRunTest,
                         public ::testing::WithParamInterface<CFailurePoint> {
public:
    // A block reader called directly; the buffer it hands out is freed.
    LONG ReadBack(bool (*reader)(BYTE**, ULONG*));

    bool m_bufferLeftAlone = false;
    CRunRecord m_run;  // what the call left behind, for the row's own checks
    CCountingObject m_plainObject;
    std::unique_ptr<firmware::CRotRegistration> m_managerStandIn;
};

// --- What a row arranges.
inline const IID kBlock = InterfaceId<IEEPROMBlock>::value;
inline const IID kControl = InterfaceId<IEEPROMControl>::value;
inline const IID kValue = InterfaceId<IDriverValue>::value;
inline const CStep kNoDriver = [](FailurePointTest& t) { t.UnregisterDriver(); };

// The driver refuses its other interfaces.
inline CStep Answering(std::vector<IID> interfaces) {
    return [interfaces](FailurePointTest& t) {
        for (const IID& iid : {kBlock, kControl, kValue}) {
            if (std::find(interfaces.begin(), interfaces.end(), iid) == interfaces.end()) {
                t.m_driver.AddFault(firmware::CDriverFault::Refused(iid, 0));
            }
        }
    };
}

inline CStep Planned(std::vector<firmware::CDriverFault> faults) {
    return [faults](FailurePointTest& t) {
        for (const auto& fault : faults) t.m_driver.AddFault(fault);
    };
}

inline CStep Fails(const char* method, LONG nth) {
    return Planned({firmware::CDriverFault::Failure(method, nth, kDriverError)});
}

inline CStep StatusOf(const char* method, LONG nth) {
    return Planned({firmware::CDriverFault::Status(method, nth, kDriverStatus)});
}

// ReadBlock answers a nonzero status and 4 bytes, less than a header.
inline CStep ShortRead(LONG nth) {
    return Planned({firmware::CDriverFault::Status("ReadBlock", nth, kDriverStatus),
                    firmware::CDriverFault::WrongByteCount(nth, 4)});
}

inline CStep FileFails(EFileFault kind, const char* name, int nth = 0) {
    return [=](FailurePointTest& t) { t.FailFile(kind, name, nth); };
}

inline CStep WriteFile(const char* name, std::string content) {
    return [name, content](FailurePointTest& t) { t.Write(name, content); };
}

inline CStep DirectoryAt(const char* name) {
    return [name](FailurePointTest& t) { std::filesystem::create_directory(t.DataFile(name)); };
}

// The operation's starting state in the sweeps (HostOperations.cpp).
inline CStep PreparedFor(const char* operation) {
    return [operation](FailurePointTest& t) { Operation(operation).prepare(t); };
}

inline const CStep kErasedDeviceDataSet = [](FailurePointTest& t) {
    t.m_driver.SetCommittedImage(eeprom::kDeviceDataSetBlock,
                                 ErasedImage(eeprom::kDeviceDataSetBlock));
};

// --- What a row calls: a host operation as the sweeps run it, or an import of this payload.
inline CCall Run(const char* operation) {
    return [operation](FailurePointTest& t) { return Operation(operation).call(t); };
}

inline CCall Import(LONG (*entry)(LONG, const BYTE*, LONG), std::string payload) {
    return [entry, payload](FailurePointTest&) { return ImportPayload(entry, payload); };
}

// --- What a row checks afterwards: both blocks hold their factory images, nothing pending.
inline const CStep kBlocksAsTheyWere = [](FailurePointTest& t) {
    for (LONG block : {eeprom::kDeviceDataSetBlock, eeprom::kMacAddressBlock}) {
        EXPECT_EQ(t.m_driver.CurrentImage(block), firmware::FactoryImage(block)) << block;
    }
    EXPECT_FALSE(t.m_run.pendingWrites);
};

inline CStep CountIs(ULONG count) {
    return [count](FailurePointTest& t) { EXPECT_EQ(t.m_count, count) << "the count"; };
}

inline const CStep kBufferLeftAlone = [](FailurePointTest& t) { EXPECT_TRUE(t.m_bufferLeftAlone); };

inline CStep NotAsked(const char* method) {
    return [method](FailurePointTest& t) { EXPECT_EQ(t.m_driver.CallCount(method), 0u) << method; };
}

inline CStep Absent(std::vector<const char*> names) {
    return [names](FailurePointTest& t) {
        for (const char* name : names) EXPECT_FALSE(t.Exists(name)) << name;
    };
}

inline CStep BatchFlags(bool deferred, bool pending) {
    return [deferred, pending](FailurePointTest&) {
        EXPECT_EQ(IsDeferredCommit(), deferred);
        EXPECT_EQ(IsCommitPending(), pending);
    };
}

}  // namespace norn::test
