// The catalogue's one test, run for every row of the subsystem tables, and the words the rows
// are written in.
#include "reliability/FailurePoints.h"

#include <algorithm>
#include <filesystem>

#include "driver/DeferredCommit.h"
#include "files/DataFilePaths.h"
#include "reliability/ReliabilityFigures.h"

namespace norn::test {

using firmware::CDriverFault;

TEST_P(FailurePointTest, EndsAsTheContractSays) {
    const CFailurePoint& point = GetParam();
    ResolveDataFilePaths();  // as a caller of the payload file writers has done
    for (const CStep& step : point.given) step(*this);
    Begin();
    LONG result = -1;
    try {
        result = point.call(*this);
    } catch (...) {
        ADD_FAILURE() << "an exception crossed the boundary";
    }
    m_run = Finish(result);
    EXPECT_EQ(m_run.result, point.result);
    std::vector<std::string> trail;
    for (const CExpectedReport& report : point.reports) {
        trail.push_back(TrailEntry(report.code, report.line, report.hresult));
    }
    ASSERT_EQ(m_run.trail, trail) << "the error manager's reports";
    EXPECT_TRUE(m_run.filesNamed) << "the reports' file";
    for (size_t i = 0; i < trail.size(); ++i) {
        if (point.reports[i].held < 0 || i >= m_run.held.size()) continue;
        EXPECT_EQ(m_run.held[i], point.reports[i].held) << "driver references at " << trail[i];
    }
    EXPECT_EQ(m_run.diagnostics, point.diagnostics) << "diagnostics library reports, by line";
    EXPECT_EQ(m_run.events, point.events);
    EXPECT_EQ(m_run.commits, point.commits);
    for (const CStep& step : point.then) step(*this);

    if (!HasFailure()) AddReliabilityFigure("failure points covered");
}

void PrintTo(const CFailurePoint& point, std::ostream* out) {
    *out << point.id;
}

std::string CaseName(const ::testing::TestParamInfo<CFailurePoint>& info) {
    return info.param.id;
}

std::vector<CFailurePoint> Catalogued(std::vector<CFailurePoint> rows) {
    AddReliabilityFigure("failure points", static_cast<long long>(rows.size()));
    return rows;
}

LONG FailurePointTest::Export(LONG (*entry)(LONG, BYTE**, ULONG*)) {
    m_count = 0xFFFFFFFF;
    m_exported = m_untouched;
    const LONG result = entry(0, &m_exported, &m_count);
    if (m_exported == m_untouched) m_exported = nullptr;
    return result;
}

LONG FailurePointTest::ReadBack(bool (*reader)(BYTE**, ULONG*)) {
    BYTE* buffer = m_untouched;
    m_count = 0xFFFFFFFF;
    const bool read = reader(&buffer, &m_count);
    m_bufferLeftAlone = buffer == m_untouched;
    if (read) delete[] buffer;
    return read ? TRUE : FALSE;
}

CStep Answering(std::vector<IID> interfaces) {
    return [interfaces](FailurePointTest& t) {
        for (const IID& iid : {kBlock, kControl, kValue}) {
            if (std::find(interfaces.begin(), interfaces.end(), iid) == interfaces.end()) {
                t.m_driver.AddFault(CDriverFault::Refused(iid, 0));
            }
        }
    };
}

CStep Planned(CDriverFault fault) {
    return [fault](FailurePointTest& t) { t.m_driver.AddFault(fault); };
}

CStep Fails(const char* method, LONG nth) {
    return Planned(CDriverFault::Failure(method, nth, kDriverError));
}

CStep StatusOf(const char* method, LONG nth) {
    return Planned(CDriverFault::Status(method, nth, kDriverStatus));
}

CStep WrongSize(LONG nth, LONG byteCount) {
    return Planned(CDriverFault::WrongByteCount(nth, byteCount));
}

CStep FileFails(EFileFault kind, const char* name, int nth) {
    return [=](FailurePointTest& t) { t.FailFile(kind, name, nth); };
}

CStep WriteFile(const char* name, std::string content) {
    return [name, content](FailurePointTest& t) { t.Write(name, content); };
}

CStep DirectoryAt(const char* name) {
    return [name](FailurePointTest& t) { std::filesystem::create_directory(t.DataFile(name)); };
}

CStep PreparedFor(const char* operation) {
    return [operation](FailurePointTest& t) { Operation(operation).prepare(t); };
}

CStep ErasedDeviceDataSet() {
    return [](FailurePointTest& t) {
        auto image = firmware::FactoryImage(eeprom::kDeviceDataSetBlock);
        std::fill(image.begin() + eeprom::kHeaderSize, image.end(), eeprom::kErasedByte);
        t.m_driver.SetCommittedImage(eeprom::kDeviceDataSetBlock, image);
    };
}

CCall Run(const char* operation) {
    return [operation](FailurePointTest& t) { return Operation(operation).call(t); };
}

CCall Import(LONG (*entry)(LONG, const BYTE*, LONG), std::string payload) {
    return [entry, payload](FailurePointTest&) {
        return entry(0, reinterpret_cast<const BYTE*>(payload.data()),
                     static_cast<LONG>(payload.size()));
    };
}

CStep BlocksAsTheyWere() {
    return [](FailurePointTest& t) {
        for (LONG block : {eeprom::kDeviceDataSetBlock, eeprom::kMacAddressBlock}) {
            EXPECT_EQ(t.m_driver.CurrentImage(block), firmware::FactoryImage(block)) << block;
        }
        EXPECT_FALSE(t.m_run.pendingWrites);
    };
}

CStep NotAsked(const char* method) {
    return [method](FailurePointTest& t) { EXPECT_EQ(t.m_driver.CallCount(method), 0u) << method; };
}

CStep Absent(std::vector<const char*> names) {
    return [names](FailurePointTest& t) {
        for (const char* name : names) EXPECT_FALSE(t.Exists(name)) << name;
    };
}

CStep BatchFlags(bool deferred, bool pending) {
    return [deferred, pending](FailurePointTest&) {
        EXPECT_EQ(IsDeferredCommit(), deferred);
        EXPECT_EQ(IsCommitPending(), pending);
    };
}

}  // namespace norn::test
