// Every failure point of the module's contract, one case each: how to provoke it with the
// simulators and the file system, and what must follow (the result, every report in order with
// its code, HRESULT and line, the diagnostics and event-log lines, the commits, and the state of
// blocks and files). The run ends with "N of M failure points covered", kept at M of M.
#include <atlexcept.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <norn/BrightworkNorn.h>
#include <norn/MeasurementDriver.h>

#include "driver/DeferredCommit.h"
#include "driver/EEPROMAccessors.h"
#include "files/DataFilePaths.h"
#include "files/PayloadFiles.h"
#include "host/Exports.h"
#include "host/MethodTable.h"
#include "host/TableEntries.h"
#include "norn/InterfaceId.h"
#include "norn/PlatformTestHooks.h"
#include "reliability/FileFaults.h"
#include "reliability/ReliabilityFigures.h"
#include "rot/ROTAccess.h"
#include "support/CountingObjects.h"
#include "support/ServiceDataFixture.h"

namespace norn::test {
namespace {

using namespace norn::eeprom;
using firmware::CDriverFault;
using firmware::CRotRegistration;
using firmware::FactoryImage;

constexpr HRESULT kDriverError = static_cast<HRESULT>(0x80047777);
constexpr LONG kDriverStatus = 0x55;

// An error manager whose ReportError fails: the module ignores that result.
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
    LONG m_bstrsAtRelease = -1;  // at the first release after the report
};

class FailurePointTest;
using CStep = std::function<void(FailurePointTest&)>;
using CCall = std::function<LONG(FailurePointTest&)>;

struct CExpectedReport {
    const char* code;
    HRESULT hresult;
    LONG line;
    // The references the module holds on the driver while the report is made: the report comes
    // before the routine's clean-up. Not checked when negative.
    LONG held = -1;
};

// One failure point. Built with the chained setters so that a row reads as one sentence.
struct CFailurePoint {
    std::string id;  // the case's name
    CCall call;
    LONG result = 1;
    std::vector<CExpectedReport> reports;
    CStep given = [](FailurePointTest&) {};
    CStep then = [](FailurePointTest&) {};
    std::vector<std::string> diagnostics;  // report lines sent to the diagnostics library
    std::vector<std::string> events;       // texts written to the event log
    LONG commits = 0;

    CFailurePoint Given(CStep step) const { return With(&CFailurePoint::given, std::move(step)); }
    CFailurePoint Then(CStep step) const { return With(&CFailurePoint::then, std::move(step)); }
    CFailurePoint Diagnostics(std::vector<std::string> lines) const {
        return With(&CFailurePoint::diagnostics, std::move(lines));
    }
    CFailurePoint Events(std::vector<std::string> texts) const {
        return With(&CFailurePoint::events, std::move(texts));
    }
    CFailurePoint Commits(LONG count) const { return With(&CFailurePoint::commits, count); }

private:
    template <class Field, class Value>
    CFailurePoint With(Field field, Value value) const {
        CFailurePoint copy = *this;
        copy.*field = std::move(value);
        return copy;
    }
};

void PrintTo(const CFailurePoint& point, std::ostream* out) {
    *out << point.id;
}

CFailurePoint Point(std::string id, CCall call, LONG result, std::vector<CExpectedReport> reports) {
    CFailurePoint point;
    point.id = std::move(id);
    point.call = std::move(call);
    point.result = result;
    point.reports = std::move(reports);
    return point;
}

const std::string kIdentifiedDocument =
    "<?xml version='1.0' standalone='yes'?>\n<!DOCTYPE NornData>\n"
    "<NornData SerialNo=\"SN77\" MaterialNo=\"4711.0815.00\"/>\n";

// The fixture's helpers are public: the catalog's rows are free functions that use them.
class FailurePointTest : public CServiceDataFixture,
                         public ::testing::WithParamInterface<CFailurePoint> {
public:
    static std::vector<CFailurePoint> Catalog();

    using CServiceDataFixture::DataFile;
    using CServiceDataFixture::FileContent;
    using CServiceDataFixture::m_driver;
    using CServiceDataFixture::m_events;
    using CServiceDataFixture::m_manager;
    using CServiceDataFixture::m_root;
    using CServiceDataFixture::m_xmlDirectory;
    using CServiceDataFixture::UnregisterDriver;
    using CServiceDataFixture::UnregisterErrorManager;

    void SetUp() override {
        CServiceDataFixture::SetUp();
        // The module resolves its paths once per load; each case has a root of its own. (The
        // file writers called directly rely on a caller having resolved them.)
        ResetDataFilePathsForTests();
        ResolveDataFilePaths();
        m_liveBstrs = NornLiveBstrCount();
        m_manager.SetReportObserver([this] {
            m_heldAtReports.push_back(static_cast<LONG>(m_driver.Refs() - m_driverTableRefs));
            m_batchOpenAtReports.push_back(IsDeferredCommit());
        });
    }
    void TearDown() override {
        NornFailPlatformAllocation(0);
        m_fileFault.reset();
        if (m_exported != nullptr) ReleaseBuffer(0, m_exported);
        ResetDeferredCommitForTests();
        EXPECT_EQ(NornLiveBstrCount(), m_liveBstrs) << "a BSTR was leaked";
        EXPECT_EQ(NornLiveEventSourceCount(), 0) << "an event source was left registered";
        CServiceDataFixture::TearDown();
    }

    // --- what a row can arrange
    void Fault(const CDriverFault& fault) { m_driver.AddFault(fault); }
    // The driver refuses its other interfaces.
    void DriverAnswering(const std::vector<IID>& interfaces) {
        for (const IID& iid : {InterfaceId<IEEPROMBlock>::value, InterfaceId<IEEPROMControl>::value,
                               InterfaceId<IDriverValue>::value}) {
            if (std::find(interfaces.begin(), interfaces.end(), iid) == interfaces.end()) {
                Fault(CDriverFault::Refused(iid, 0));
            }
        }
    }
    void FileFault(EFileFault kind, const char* name, int nth = 0) {
        m_fileFault = std::make_unique<CFileFault>(kind, name, nth);
    }
    void Write(const char* name, const std::string& content) {
        CTempDirectory::WriteFile(DataFile(name), content);
    }
    void DirectoryAt(const char* name) { std::filesystem::create_directory(DataFile(name)); }
    // The module's paths as a fresh load has them: not resolved yet.
    static void ForgetPaths() { ResetDataFilePathsForTests(); }
    void LayOutRestoreInputs() {
        Write("NornData.xml", kIdentifiedDocument);
        Write("NornData.dds", "dds-payload");
        Write("NornData.mac", std::string(16, 'm'));
    }
    void EraseDeviceDataSetBlock() {
        auto image = FactoryImage(kDeviceDataSetBlock);
        std::fill(image.begin() + kHeaderSize, image.end(), kErasedByte);
        m_driver.SetCommittedImage(kDeviceDataSetBlock, image);
    }

    // --- what a row can call
    LONG Export(LONG (*entry)(LONG, BYTE**, ULONG*)) {
        m_exported = m_untouched;
        const LONG result = entry(0, &m_exported, &m_count);
        if (m_exported == m_untouched) m_exported = nullptr;
        return result;
    }
    LONG Import(LONG (*entry)(LONG, const BYTE*, LONG), const std::string& payload) {
        return entry(0, reinterpret_cast<const BYTE*>(payload.data()),
                     static_cast<LONG>(payload.size()));
    }
    LONG ReadBack(bool (*accessor)(BYTE**, ULONG*)) {
        BYTE* buffer = m_untouched;
        const bool read = accessor(&buffer, &m_count);
        m_bufferLeftAlone = buffer == m_untouched;
        if (read) delete[] buffer;
        return read ? TRUE : FALSE;
    }

    // --- what a row can check
    void ExpectBlocksAsTheyWere() const {
        EXPECT_EQ(m_driver.CurrentImage(kDeviceDataSetBlock), FactoryImage(kDeviceDataSetBlock));
        EXPECT_EQ(m_driver.CurrentImage(kMacAddressBlock), FactoryImage(kMacAddressBlock));
    }
    void ExpectWrittenNotCommitted(LONG block) const {
        EXPECT_TRUE(m_driver.HasPendingWrites());
        EXPECT_EQ(m_driver.CommittedImage(block), FactoryImage(block));
    }
    bool Exists(const char* name) const { return std::filesystem::exists(DataFile(name)); }

    BYTE m_sentinel[4] = {};
    BYTE* const m_untouched = m_sentinel;  // a buffer address the module must not replace
    BYTE* m_exported = nullptr;            // a buffer the module handed out, released at the end
    ULONG m_count = 0xFFFFFFFF;
    bool m_bufferLeftAlone = false;
    LONG m_liveBstrs = 0;
    std::vector<LONG> m_heldAtReports;
    std::vector<bool> m_batchOpenAtReports;
    std::string m_lastPathOpened;  // of the file a fault was armed for
    std::unique_ptr<CFileFault> m_fileFault;
    CCountingObject m_plainObject;
    CFailingErrorManager m_failingManager;
    std::unique_ptr<CRotRegistration> m_managerStandIn;
};

TEST_P(FailurePointTest, EndsAsTheContractSays) {
    const CFailurePoint& point = GetParam();
    point.given(*this);
    m_driver.ClearJournal();
    TakeRemovedFileNames();
    const int descriptors = OpenDescriptorCount();
    EXPECT_EQ(point.call(*this), point.result);
    EXPECT_EQ(OpenDescriptorCount(), descriptors) << "a file was left open";
    EXPECT_TRUE(m_driver.HandedOutBuffersIntact()) << "a block read's buffer was written";
    if (m_fileFault) m_lastPathOpened = m_fileFault->LastPathOpened();
    m_fileFault.reset();
    NornFailPlatformAllocation(0);

    const auto reports = Reports();
    ASSERT_EQ(reports.size(), point.reports.size()) << ::testing::PrintToString(ReportTrail());
    for (size_t i = 0; i < reports.size(); ++i) {
        SCOPED_TRACE("report " + std::to_string(i + 1));
        const std::string code(reports[i].reportCode.text.begin(),
                               reports[i].reportCode.text.end());
        EXPECT_EQ(code, point.reports[i].code);
        EXPECT_EQ(reports[i].hresult, point.reports[i].hresult);
        EXPECT_EQ(reports[i].line, point.reports[i].line);
        EXPECT_EQ(reports[i].file.text, u"Brightwork");
        if (point.reports[i].held >= 0 && i < m_heldAtReports.size()) {
            EXPECT_EQ(m_heldAtReports[i], point.reports[i].held) << "driver references held";
        }
    }
    std::vector<std::string> diagnostics;
    for (const auto& fields : m_diagnostics.Fields()) diagnostics.push_back(fields.at(1));
    EXPECT_EQ(diagnostics, point.diagnostics) << "diagnostics library reports, by line";
    std::vector<std::string> events;
    for (const auto& fields : m_events.Fields()) events.push_back(fields.back());
    EXPECT_EQ(events, point.events);
    EXPECT_EQ(m_driver.CommitCount(), point.commits);
    point.then(*this);

    if (!HasFailure()) AddReliabilityFigure("failure points covered");
}

// --- The catalog. Rows follow the module's own order: host surface, reports, the Running Object
// Table, the block accessors, the erase, the payload files, the transfers, backup and restore.

// F4 to F7: the driver value exports, one row per export and failure.
void AddDriverValueRows(std::vector<CFailurePoint>& rows) {
    struct CExport {
        const char* code;
        CCall call;      // with a valid argument
        CCall nullCall;  // with a null argument
        const char* method;
        LONG nullLine, interfaceLine, hresultLine, statusLine;
    };
    const auto query = [](LONG (*f)(char*)) {
        return [f](FailurePointTest&) {
            char buffer[16] = {};
            return f(buffer);
        };
    };
    const auto write = [](LONG (*f)(const char*), const char* text) {
        return [f, text](FailurePointTest&) { return f(text); };
    };
    // The driver takes 11 or 13 bytes whatever the text's length: the texts are padded.
    static const char kSerial[16] = "SN1";
    static const char kMaterial[16] = "MN1";
    const CExport exports[] = {
        {"F4", query(F4), [](FailurePointTest&) { return F4(nullptr); }, "QueryValue", 2489, 2492,
         2497, 2501},
        {"F5", query(F5), [](FailurePointTest&) { return F5(nullptr); }, "QueryValue", 2543, 2546,
         2551, 2554},
        {"F6", write(F6, kSerial), write(F6, nullptr), "WriteValue", 2596, 2599, 2605, 2609},
        {"F7", write(F7, kMaterial), write(F7, nullptr), "WriteValue", 2651, 2654, 2660, 2663},
    };
    for (const CExport& e : exports) {
        const std::string code = e.code;
        const std::string method = e.method;
        const CStep driverNotAsked = [method](FailurePointTest& t) {
            EXPECT_EQ(t.m_driver.CallCount(method), 0u);
        };
        rows.push_back(Point(code + "_NullArgument", e.nullCall, 1, {{e.code, E_FAIL, e.nullLine}})
                           .Then(driverNotAsked));
        rows.push_back(Point(code + "_NoDriver", e.call, 1, {{e.code, E_POINTER, e.interfaceLine}})
                           .Given([](FailurePointTest& t) { t.UnregisterDriver(); })
                           .Diagnostics({"212"}));
        rows.push_back(
            Point(code + "_NoValueInterface", e.call, 1, {{e.code, E_POINTER, e.interfaceLine}})
                .Given([](FailurePointTest& t) {
                    t.DriverAnswering(
                        {InterfaceId<IEEPROMBlock>::value, InterfaceId<IEEPROMControl>::value});
                }));
        rows.push_back(
            Point(code + "_DriverCallFails", e.call, 1, {{e.code, kDriverError, e.hresultLine, 1}})
                .Given([method](FailurePointTest& t) {
                    t.Fault(CDriverFault::Failure(method, 1, kDriverError));
                }));
        // The status word starts at 8: a driver that answers without setting it has failed.
        rows.push_back(Point(code + "_StatusNotSet", e.call, 1, {{e.code, E_FAIL, e.statusLine}})
                           .Given([method](FailurePointTest& t) {
                               t.Fault(CDriverFault::StatusUntouched(method, 1));
                           }));
        rows.push_back(Point(code + "_DriverStatus", e.call, 1, {{e.code, E_FAIL, e.statusLine}})
                           .Given([method](FailurePointTest& t) {
                               t.Fault(CDriverFault::Status(method, 1, kDriverStatus));
                           }));
    }
    rows.push_back(Point("F6_EmptyText", write(F6, ""), 1, {{"F6", E_FAIL, 2596}}));
    rows.push_back(Point("F7_EmptyText", write(F7, ""), 1, {{"F7", E_FAIL, 2651}}));
}

// Entries 29 and 30: the deferred-commit batch. Each row opens a batch and writes a block in it.
void AddBatchRows(std::vector<CFailurePoint>& rows) {
    const CStep openBatchWithWrite = [](FailurePointTest& t) {
        ASSERT_EQ(BeginDeferredCommit(), S_OK);
        ASSERT_EQ(t.Import(DeviceDataSetImportEntry, "in-batch"), 0);
        ASSERT_TRUE(IsCommitPending());
    };
    const CCall end = [](FailurePointTest&) { return EndDeferredCommit(); };
    const auto flags = [](bool deferred, bool pending) {
        return [deferred, pending](FailurePointTest&) {
            EXPECT_EQ(IsDeferredCommit(), deferred);
            EXPECT_EQ(IsCommitPending(), pending);
        };
    };
    rows.push_back(Point("Begin_BatchAlreadyOpen",
                         [](FailurePointTest&) { return BeginDeferredCommit(); }, E_FAIL, {})
                       .Given(openBatchWithWrite)
                       .Then(flags(true, true)));
    rows.push_back(Point("End_CommitFails", end, 1, {{"D31", kDriverError, 2437, 1}})
                       .Given([openBatchWithWrite](FailurePointTest& t) {
                           openBatchWithWrite(t);
                           t.Fault(CDriverFault::Failure("SetEEPROMMode", 1, kDriverError));
                       })
                       .Then(flags(true, true)));
    rows.push_back(Point("End_CommitStatus", end, 1, {{"D31", E_FAIL, 2446}})
                       .Given([openBatchWithWrite](FailurePointTest& t) {
                           openBatchWithWrite(t);
                           t.Fault(CDriverFault::Status("SetEEPROMMode", 1, kDriverStatus));
                       })
                       .Then(flags(false, false)));
    rows.push_back(Point("End_NoDriver", end, 1, {})
                       .Given([openBatchWithWrite](FailurePointTest& t) {
                           openBatchWithWrite(t);
                           t.UnregisterDriver();
                       })
                       .Diagnostics({"212"})
                       .Then(flags(true, true)));
}

// The report itself: where it goes when the error manager cannot take it. F4 with a null
// buffer is the failure that is reported.
void AddReportRows(std::vector<CFailurePoint>& rows) {
    const CCall f4 = [](FailurePointTest&) { return F4(nullptr); };
    const std::string eventText = "Error in Brightwork (Line 2489)";
    rows.push_back(Point("Report_NoErrorManager", f4, 1, {})
                       .Given([](FailurePointTest& t) { t.UnregisterErrorManager(); })
                       .Events({eventText}));
    rows.push_back(Point("Report_ErrorManagerWithoutInterface", f4, 1, {})
                       .Given([](FailurePointTest& t) {
                           t.UnregisterErrorManager();
                           t.m_managerStandIn = std::make_unique<CRotRegistration>(
                               &t.m_plainObject, OLESTR("ErrorManager"));
                       })
                       .Events({eventText})
                       .Then([](FailurePointTest& t) {
                           t.m_managerStandIn.reset();
                           EXPECT_EQ(t.m_plainObject.Refs(), 0u);
                       }));
    // F4's report makes its platform allocations in a fixed order: the error's file, the entry's
    // copies (2, 3), the version text (4), the report code and file (5, 6), then the lookup.
    rows.push_back(Point("Report_EntryWithoutMemory", f4, 1, {})
                       .Given([](FailurePointTest&) { NornFailPlatformAllocation(2); })
                       .Events({"ErrorEntry structure not available!"}));
    rows.push_back(Point("Report_VersionUnreadable", f4, 1, {{"F4", E_FAIL, 2489}})
                       .Given([](FailurePointTest&) { NornFailPlatformAllocation(4); })
                       .Then([](FailurePointTest& t) {
                           ASSERT_EQ(t.m_manager.Reports().size(), 1u);
                           EXPECT_TRUE(t.m_manager.Reports()[0].version.isNull);
                       }));
    rows.push_back(
        Point("Report_ErrorManagerRefuses", f4, 1, {})
            .Given([](FailurePointTest& t) {
                t.UnregisterErrorManager();
                t.m_managerStandIn =
                    std::make_unique<CRotRegistration>(&t.m_failingManager, OLESTR("ErrorManager"));
            })
            .Then([](FailurePointTest& t) {
                t.m_managerStandIn.reset();
                EXPECT_EQ(t.m_failingManager.m_calls, 1) << "its result is ignored";
                EXPECT_EQ(t.m_failingManager.Refs(), 0u);
                EXPECT_LT(t.m_failingManager.m_bstrsAtRelease, t.m_failingManager.m_bstrsAtReport)
                    << "the entry's texts are freed before the manager is released";
            }));
    rows.push_back(Point("Report_EventCannotBeWritten", f4, 1, {})
                       .Given([](FailurePointTest& t) {
                           t.UnregisterErrorManager();
                           setenv("NORN_EVENT_LOG", t.m_xmlDirectory.c_str(), 1);  // a directory
                       })
                       .Then([](FailurePointTest& t) {
                           // The capture's own file stays empty: the line was lost, silently.
                           setenv("NORN_EVENT_LOG", t.m_events.Path().c_str(), 1);
                       }));
}

// The Running Object Table access: its own reports go to the diagnostics library.
void AddRunningObjectTableRows(std::vector<CFailurePoint>& rows) {
    const auto name = [] { return SysAllocString(u"NobodyRegisteredThis"); };
    rows.push_back(Point("ROT_RegisterFails",
                         [name](FailurePointTest&) {
                             DWORD cookie = 0;  // the table refuses a registration of nothing
                             return CROTAccess().RegisterIfPointer(name(), nullptr, &cookie, TRUE);
                         },
                         FALSE, {})
                       .Diagnostics({"146"}));
    rows.push_back(Point("ROT_LookupFails",
                         [name](FailurePointTest&) {
                             IUnknown* found = nullptr;
                             return CROTAccess().NameToIfPointer(name(), &found, TRUE, TRUE);
                         },
                         FALSE, {})
                       .Diagnostics({"212"}));
    rows.push_back(Point("ROT_LookupFailsSilently",
                         [name](FailurePointTest&) {
                             IUnknown* found = nullptr;
                             return CROTAccess().NameToIfPointer(name(), &found, FALSE, TRUE);
                         },
                         FALSE, {}));
    rows.push_back(Point("ROT_RevokeFails",
                         [](FailurePointTest&) { return CROTAccess().RevokeIfPointer(0xDEAD); },
                         FALSE, {})
                       .Diagnostics({"248"}));
    rows.push_back(Point("ROT_LookupNameWithoutMemory",
                         [](FailurePointTest&) {
                             CROTAccess access;
                             IUnknown* found = nullptr;
                             NornFailPlatformAllocation(1);
                             return access.NameToIfPointer(nullptr, &found, TRUE, TRUE);
                         },
                         FALSE, {}));
    rows.push_back(Point("ROT_RegisterNameWithoutMemory",
                         [](FailurePointTest& t) -> LONG {
                             CROTAccess access;
                             DWORD cookie = 0;
                             NornFailPlatformAllocation(1);
                             try {
                                 access.RegisterIfPointer(nullptr, &t.m_plainObject, &cookie, TRUE);
                             } catch (const CAtlException& e) {
                                 return e.m_hr == E_OUTOFMEMORY ? 1 : 2;
                             }
                             return 0;
                         },
                         1, {}));
}

// The four block accessors. Writers: a failure before the write leaves the block as it was; a
// failure at the commit leaves it written but not committed.
void AddAccessorRows(std::vector<CFailurePoint>& rows) {
    struct CWriter {
        const char* code;
        LONG block;
        LONG imageSize;
        CCall call;  // a valid payload
        CCall tooLong;
        LONG countLine, blockLine, controlLine, readLine, readSizeLine, writeLine, writeStatusLine,
            commitLine, commitStatusLine;
    };
    const std::string dds(100, 'd');
    const std::string mac(16, 'm');
    const CWriter writers[] = {
        {"SetDeviceDataSetEEPROM", kDeviceDataSetBlock, kDeviceDataSetImageSize,
         [dds](FailurePointTest&) {
             return SetDeviceDataSetEEPROM(reinterpret_cast<const BYTE*>(dds.data()), 100);
         },
         [dds](FailurePointTest&) {
             const std::string tooLong(1349, 'd');
             return SetDeviceDataSetEEPROM(reinterpret_cast<const BYTE*>(tooLong.data()), 1349);
         },
         907, 911, 912, 919, 923, 956, 960, 968, 971},
        {"SetMACEEPROM", kMacAddressBlock, kMacAddressImageSize,
         [mac](FailurePointTest&) {
             return SetMACEEPROM(reinterpret_cast<const BYTE*>(mac.data()), 16);
         },
         [](FailurePointTest&) {
             const std::string tooLong(17, 'm');
             return SetMACEEPROM(reinterpret_cast<const BYTE*>(tooLong.data()), 17);
         },
         1325, 1329, 1330, 1337, 1341, 1368, 1372, 1379, 1382},
    };
    const CStep unchanged = [](FailurePointTest& t) {
        t.ExpectBlocksAsTheyWere();
        EXPECT_FALSE(t.m_driver.HasPendingWrites());
    };
    for (const CWriter& w : writers) {
        const std::string code = w.code;
        const LONG block = w.block;
        const auto failed = [&](const char* what, HRESULT hr, LONG line, LONG held = -1) {
            return Point(code + "_" + what, w.call, FALSE, {{w.code, hr, line, held}});
        };
        rows.push_back(
            Point(code + "_PayloadTooLong", w.tooLong, FALSE, {{w.code, E_FAIL, w.countLine}})
                .Then([unchanged](FailurePointTest& t) {
                    unchanged(t);
                    EXPECT_EQ(t.m_driver.CallCount("ReadBlock"), 0u);
                }));
        rows.push_back(failed("NoBlockInterface", E_POINTER, w.blockLine)
                           .Given([](FailurePointTest& t) {
                               t.DriverAnswering({InterfaceId<IEEPROMControl>::value});
                           })
                           .Then(unchanged));
        rows.push_back(failed("NoControlInterface", E_POINTER, w.controlLine)
                           .Given([](FailurePointTest& t) {
                               t.DriverAnswering({InterfaceId<IEEPROMBlock>::value});
                           })
                           .Then(unchanged));
        rows.push_back(failed("NoDriver", E_POINTER, w.blockLine)
                           .Given([](FailurePointTest& t) { t.UnregisterDriver(); })
                           .Diagnostics({"212"}));
        rows.push_back(failed("ReadFails", kDriverError, w.readLine)
                           .Given([](FailurePointTest& t) {
                               t.Fault(CDriverFault::Failure("ReadBlock", 1, kDriverError));
                           })
                           .Then(unchanged));
        rows.push_back(failed("ReadStatusWithWrongSize", E_FAIL, w.readSizeLine)
                           .Given([](FailurePointTest& t) {
                               t.Fault(CDriverFault::Status("ReadBlock", 1, kDriverStatus));
                               t.Fault(CDriverFault::WrongByteCount(1, 4));
                           })
                           .Then(unchanged));
        rows.push_back(failed("WriteFails", kDriverError, w.writeLine)
                           .Given([](FailurePointTest& t) {
                               t.Fault(CDriverFault::Failure("WriteBlock", 1, kDriverError));
                           })
                           .Then(unchanged));
        rows.push_back(failed("WriteStatus", E_FAIL, w.writeStatusLine)
                           .Given([](FailurePointTest& t) {
                               t.Fault(CDriverFault::Status("WriteBlock", 1, kDriverStatus));
                           })
                           .Then(unchanged));
        rows.push_back(failed("CommitFails", kDriverError, w.commitLine, 2)
                           .Given([](FailurePointTest& t) {
                               t.Fault(CDriverFault::Failure("SetEEPROMMode", 1, kDriverError));
                           })
                           .Then([block](FailurePointTest& t) {
                               t.ExpectWrittenNotCommitted(block);
                               EXPECT_FALSE(IsCommitPending());
                           }));
        rows.push_back(
            failed("CommitStatus", E_FAIL, w.commitStatusLine)
                .Given([](FailurePointTest& t) {
                    t.Fault(CDriverFault::Status("SetEEPROMMode", 1, kDriverStatus));
                })
                .Then([block](FailurePointTest& t) { t.ExpectWrittenNotCommitted(block); }));
    }
    rows.push_back(Point("SetDeviceDataSetEEPROM_NegativeCount",
                         [](FailurePointTest&) {
                             const BYTE payload[1] = {};
                             return SetDeviceDataSetEEPROM(payload, -1);
                         },
                         FALSE, {{"SetDeviceDataSetEEPROM", E_FAIL, 907}})
                       .Then(unchanged));

    struct CReader {
        const char* code;
        bool (*accessor)(BYTE**, ULONG*);
        LONG interfaceLine, readLine, statusLine, sizeLine;
    };
    const CReader readers[] = {
        {"GetDeviceDataSetEEPROM", GetDeviceDataSetEEPROM, 1150, 1156, 1160, 1166},
        {"GetMACEEPROM", GetMACEEPROM, 1551, 1557, 1561, 1567},
    };
    const CStep bufferLeftAlone = [](FailurePointTest& t) { EXPECT_TRUE(t.m_bufferLeftAlone); };
    for (const CReader& r : readers) {
        const std::string code = r.code;
        const auto accessor = r.accessor;
        const CCall call = [accessor](FailurePointTest& t) { return t.ReadBack(accessor); };
        const auto failed = [&](const char* what, HRESULT hr, LONG line) {
            return Point(code + "_" + what, call, FALSE, {{r.code, hr, line}})
                .Then(bufferLeftAlone);
        };
        rows.push_back(
            failed("NoBlockInterface", E_POINTER, r.interfaceLine).Given([](FailurePointTest& t) {
                t.DriverAnswering({InterfaceId<IEEPROMControl>::value});
            }));
        rows.push_back(failed("NoDriver", E_POINTER, r.interfaceLine)
                           .Given([](FailurePointTest& t) { t.UnregisterDriver(); })
                           .Diagnostics({"212"}));
        rows.push_back(failed("ReadFails", kDriverError, r.readLine).Given([](FailurePointTest& t) {
            t.Fault(CDriverFault::Failure("ReadBlock", 1, kDriverError));
        }));
        rows.push_back(failed("ReadStatus", E_FAIL, r.statusLine).Given([](FailurePointTest& t) {
            t.Fault(CDriverFault::Status("ReadBlock", 1, kDriverStatus));
        }));
        rows.push_back(failed("WrongSize", E_FAIL, r.sizeLine).Given([](FailurePointTest& t) {
            t.Fault(CDriverFault::WrongByteCount(1, 12));
        }));
        rows.push_back(failed("NullBuffer", E_FAIL, r.sizeLine).Given([](FailurePointTest& t) {
            t.Fault(CDriverFault::NullBuffer(1));
        }));
    }
    rows.push_back(Point("GetDeviceDataSetEEPROM_ErasedLengthField",
                         [](FailurePointTest& t) { return t.ReadBack(GetDeviceDataSetEEPROM); },
                         FALSE, {})
                       .Given([](FailurePointTest& t) { t.EraseDeviceDataSetBlock(); })
                       .Then([](FailurePointTest& t) {
                           EXPECT_TRUE(t.m_bufferLeftAlone);
                           EXPECT_EQ(t.m_count, 0xA5A5A5A5u) << "the count holds the length field";
                       }));
}

// F8, the erase. Nothing is undone: files removed stay removed, a block erased stays erased.
void AddEraseRows(std::vector<CFailurePoint>& rows) {
    const CCall erase = [](FailurePointTest&) { return F8(); };
    const CStep withFiles = [](FailurePointTest& t) {
        t.Write("NornData.xml", kIdentifiedDocument);
        t.Write("NornData.dds", "dds");
        t.Write("NornData.mac", "mac");
    };
    const auto filesPresent = [](bool present) {
        return [present](FailurePointTest& t) {
            EXPECT_EQ(t.Exists("NornData.xml"), present);
            EXPECT_EQ(t.Exists("NornData.dds"), present);
            EXPECT_EQ(t.Exists("NornData.mac"), present);
        };
    };
    const auto erased = [](LONG block, bool erasedNow) {
        return [block, erasedNow](FailurePointTest& t) {
            const auto image = t.m_driver.CurrentImage(block);
            const bool allErased = std::all_of(image.begin() + kHeaderSize, image.end(),
                                               [](BYTE b) { return b == kErasedByte; });
            EXPECT_EQ(allErased, erasedNow) << "block " << block;
        };
    };
    const auto fault = [withFiles](CDriverFault f1, std::optional<CDriverFault> f2 = {}) {
        return [withFiles, f1, f2](FailurePointTest& t) {
            withFiles(t);
            t.Fault(f1);
            if (f2) t.Fault(*f2);
        };
    };
    const auto then = [](std::vector<CStep> steps) {
        return [steps](FailurePointTest& t) {
            for (const CStep& step : steps) step(t);
        };
    };
    const auto f8 = [erase](const char* what, HRESULT hr, LONG line) {
        return Point(std::string("F8_") + what, erase, 1, {{"F8", hr, line}});
    };
    // The paths are resolved only once both interfaces are there: a read-only document stays so.
    const auto withoutInterface = [withFiles](std::function<void(FailurePointTest&)> arrange) {
        return [withFiles, arrange](FailurePointTest& t) {
            withFiles(t);
            chmod(t.DataFile("NornData.xml").c_str(), 0444);
            arrange(t);
        };
    };
    const CStep untouched = [filesPresent](FailurePointTest& t) {
        filesPresent(true)(t);
        EXPECT_EQ(CTempDirectory::Mode(t.DataFile("NornData.xml")), 0444u);
    };
    rows.push_back(f8("NoDriver", E_POINTER, 2707)
                       .Given(withoutInterface([](FailurePointTest& t) { t.UnregisterDriver(); }))
                       .Diagnostics({"212"})
                       .Then(untouched));
    rows.push_back(f8("NoBlockInterface", E_POINTER, 2707)
                       .Given(withoutInterface([](FailurePointTest& t) {
                           t.DriverAnswering({InterfaceId<IEEPROMControl>::value});
                       }))
                       .Then(untouched));
    rows.push_back(f8("NoControlInterface", E_POINTER, 2708)
                       .Given(withoutInterface([](FailurePointTest& t) {
                           t.DriverAnswering({InterfaceId<IEEPROMBlock>::value});
                       }))
                       .Then(untouched));
    const auto both = [&](LONG dds, LONG macErased) {
        return then({filesPresent(false), erased(kDeviceDataSetBlock, dds != 0),
                     erased(kMacAddressBlock, macErased != 0)});
    };
    // The files go first, in this order, before any block is read.
    rows.push_back(f8("FirstReadFails", kDriverError, 2729)
                       .Given(fault(CDriverFault::Failure("ReadBlock", 1, kDriverError)))
                       .Then(then({both(0, 0), [](FailurePointTest&) {
                                       EXPECT_EQ(
                                           TakeRemovedFileNames(),
                                           (std::vector<std::string>{"NornData.xml", "NornData.dds",
                                                                     "NornData.mac"}));
                                   }})));
    rows.push_back(f8("FirstReadStatusWithWrongSize", E_FAIL, 2733)
                       .Given(fault(CDriverFault::Status("ReadBlock", 1, kDriverStatus),
                                    CDriverFault::WrongByteCount(1, 4)))
                       .Then(both(0, 0)));
    rows.push_back(f8("FirstWriteFails", kDriverError, 2757)
                       .Given(fault(CDriverFault::Failure("WriteBlock", 1, kDriverError)))
                       .Then(both(0, 0)));
    rows.push_back(f8("FirstWriteStatus", E_FAIL, 2768)
                       .Given(fault(CDriverFault::Status("WriteBlock", 1, kDriverStatus)))
                       .Then(both(0, 0)));
    rows.push_back(f8("SecondReadFails", kDriverError, 2780)
                       .Given(fault(CDriverFault::Failure("ReadBlock", 2, kDriverError)))
                       .Then(both(1, 0)));
    rows.push_back(f8("SecondReadStatusWithWrongSize", E_FAIL, 2784)
                       .Given(fault(CDriverFault::Status("ReadBlock", 2, kDriverStatus),
                                    CDriverFault::WrongByteCount(2, 4)))
                       .Then(both(1, 0)));
    rows.push_back(f8("SecondWriteFails", kDriverError, 2808)
                       .Given(fault(CDriverFault::Failure("WriteBlock", 2, kDriverError)))
                       .Then(both(1, 0)));
    rows.push_back(f8("SecondWriteStatus", E_FAIL, 2819)
                       .Given(fault(CDriverFault::Status("WriteBlock", 2, kDriverStatus)))
                       .Then(both(1, 0)));
    rows.push_back(f8("CommitFails", kDriverError, 2830)
                       .Given(fault(CDriverFault::Failure("SetEEPROMMode", 1, kDriverError)))
                       .Then(both(1, 1)));
    rows.push_back(f8("CommitStatus", E_FAIL, 2834)
                       .Given(fault(CDriverFault::Status("SetEEPROMMode", 1, kDriverStatus)))
                       .Then(both(1, 1)));
}

// The payload file writers, and D4 to D7 above them.
void AddPayloadRows(std::vector<CFailurePoint>& rows) {
    const std::string payload = "new-payload";
    const auto create = [payload](auto writer) {
        return [writer, payload](FailurePointTest&) {
            return static_cast<LONG>(
                writer(reinterpret_cast<const BYTE*>(payload.data()), LONG(payload.size())));
        };
    };
    // The writers use the paths their caller resolved; they never resolve them themselves.
    rows.push_back(Point("CreateDDSFile_PathsNotResolved", create(CreateDDSFile), 1,
                         {{"CreateDDSFile", E_FAIL, 1036}})
                       .Given([](FailurePointTest&) { FailurePointTest::ForgetPaths(); })
                       .Then([](FailurePointTest& t) { EXPECT_FALSE(t.Exists("NornData.dds")); }));
    rows.push_back(Point("CreateMACFile_PathsNotResolved", create(CreateMACFile), FALSE,
                         {{"CreateMACFile", E_FAIL, 1447}})
                       .Given([](FailurePointTest&) { FailurePointTest::ForgetPaths(); })
                       .Then([](FailurePointTest& t) { EXPECT_FALSE(t.Exists("NornData.mac")); }));
    rows.push_back(Point("CreateDDSFile_CannotOpen", create(CreateDDSFile), 1,
                         {{"CreateDDSFile", E_FAIL, 1036}})
                       .Given([](FailurePointTest& t) { t.DirectoryAt("NornData.dds"); }));
    rows.push_back(Point("CreateDDSFile_ShortWrite", create(CreateDDSFile), 1,
                         {{"CreateDDSFile", E_FAIL, 1042}})
                       .Given([](FailurePointTest& t) {
                           t.FileFault(EFileFault::WriteFails, "NornData.dds");
                       }));
    rows.push_back(Point("CreateMACFile_CannotOpen", create(CreateMACFile), FALSE,
                         {{"CreateMACFile", E_FAIL, 1447}})
                       .Given([](FailurePointTest& t) { t.DirectoryAt("NornData.mac"); }));
    rows.push_back(Point("CreateMACFile_ShortWrite", create(CreateMACFile), FALSE,
                         {{"CreateMACFile", E_FAIL, 1458}})
                       .Given([](FailurePointTest& t) {
                           t.FileFault(EFileFault::WriteFails, "NornData.mac");
                       }));

    const auto import = [](auto entry, std::string bytes) {
        return [entry, bytes](FailurePointTest& t) { return t.Import(entry, bytes); };
    };
    const auto fileHolds = [](const char* name, std::string content) {
        return [name, content](FailurePointTest& t) { EXPECT_EQ(t.FileContent(name), content); };
    };
    const auto blocksUnchanged = [](FailurePointTest& t) { t.ExpectBlocksAsTheyWere(); };
    rows.push_back(Point("D4_FirstFileWriteFails", import(DeviceDataSetImportEntry, payload), 1, {})
                       .Given([](FailurePointTest& t) {
                           t.FileFault(EFileFault::OpenFails, "NornData.dds", 1);
                       })
                       .Commits(1)
                       .Then([payload](FailurePointTest& t) {
                           EXPECT_EQ(t.FileContent("NornData.dds"), payload);
                           BYTE* read = nullptr;
                           ULONG count = 0;
                           ASSERT_TRUE(GetDeviceDataSetEEPROM(&read, &count));
                           EXPECT_EQ(std::string(reinterpret_cast<char*>(read), count), payload);
                           delete[] read;
                       }));
    rows.push_back(Point("D4_FileWriterFails", import(DeviceDataSetImportEntry, payload), 1,
                         {{"CreateDDSFile", E_FAIL, 1036}, {"D4", E_FAIL, 1098}})
                       .Given([](FailurePointTest& t) { t.DirectoryAt("NornData.dds"); })
                       .Then(blocksUnchanged));
    rows.push_back(Point("D4_BlockWriterFails",
                         import(DeviceDataSetImportEntry, std::string(1349, 'd')), 1,
                         {{"SetDeviceDataSetEEPROM", E_FAIL, 907}, {"D4", E_FAIL, 1104}})
                       .Then([fileHolds, blocksUnchanged](FailurePointTest& t) {
                           fileHolds("NornData.dds", std::string(1349, 'd'))(t);
                           blocksUnchanged(t);
                       }));
    rows.push_back(Point("D6_FileWriterFails", import(MacAddressImportEntry, std::string(16, 'm')),
                         1, {{"CreateMACFile", E_FAIL, 1447}, {"D6", E_FAIL, 1500}})
                       .Given([](FailurePointTest& t) { t.DirectoryAt("NornData.mac"); })
                       .Then(blocksUnchanged));
    rows.push_back(Point("D6_BlockWriterFails", import(MacAddressImportEntry, std::string(17, 'm')),
                         1, {{"SetMACEEPROM", E_FAIL, 1325}, {"D6", E_FAIL, 1506}})
                       .Then([fileHolds, blocksUnchanged](FailurePointTest& t) {
                           fileHolds("NornData.mac", std::string(17, 'm'))(t);
                           blocksUnchanged(t);
                       }));

    struct CExport {
        const char* code;
        LONG (*entry)(LONG, BYTE**, ULONG*);
        const char* file;
        const char* blockReader;
        LONG nullLine, openLine, readerLine, compareLine;
        std::string fileContent;  // a payload that the factory block does not hold
    };
    const CExport exports[] = {
        {"D5", DeviceDataSetExportEntry, "NornData.dds", "GetDeviceDataSetEEPROM", 1224, 1230, 1249,
         1257, "other"},
        {"D7", MacAddressExportEntry, "NornData.mac", "GetMACEEPROM", 1625, 1631, 1650, 1656,
         std::string(16, 'o')},
    };
    for (const CExport& e : exports) {
        const std::string code = e.code;
        const auto entry = e.entry;
        const CCall call = [entry](FailurePointTest& t) { return t.Export(entry); };
        const std::string file = e.file;
        const std::string content = e.fileContent;
        const CStep withFile = [file, content](FailurePointTest& t) {
            t.Write(file.c_str(), content);
        };
        rows.push_back(Point(code + "_NullBuffer",
                             [entry](FailurePointTest& t) {
                                 t.m_count = 7;
                                 return entry(0, nullptr, &t.m_count);
                             },
                             1, {{e.code, E_FAIL, e.nullLine}})
                           .Then([](FailurePointTest& t) { EXPECT_EQ(t.m_count, 0u); }));
        rows.push_back(Point(code + "_FileCannotBeOpened", call, 1, {{e.code, E_FAIL, e.openLine}})
                           .Then([](FailurePointTest& t) {
                               EXPECT_EQ(t.m_count, 0u);
                               EXPECT_EQ(t.m_exported, nullptr) << "buffer argument untouched";
                               EXPECT_EQ(t.m_driver.CallCount("ReadBlock"), 0u);
                           }));
        const std::string reader = e.blockReader;
        rows.push_back(Point(code + "_BlockReaderFails", call, 1,
                             {{e.blockReader, kDriverError, code == "D5" ? 1156 : 1557},
                              {e.code, E_FAIL, e.readerLine}})
                           .Given([withFile](FailurePointTest& t) {
                               withFile(t);
                               t.Fault(CDriverFault::Failure("ReadBlock", 1, kDriverError));
                           })
                           .Then([content](FailurePointTest& t) {
                               EXPECT_EQ(t.m_count, content.size()) << "the file's size";
                               EXPECT_EQ(t.m_exported, nullptr) << "buffer argument untouched";
                           }));
        // The buffer handed out is the block's payload; D5 clears its first byte, D7 does not.
        const bool isDeviceDataSet = code == "D5";
        rows.push_back(
            Point(code + "_PayloadsDiffer", call, 1, {{e.code, E_FAIL, e.compareLine}})
                .Given(withFile)
                .Then([isDeviceDataSet](FailurePointTest& t) {
                    ASSERT_NE(t.m_exported, nullptr) << "the buffer is handed out";
                    const auto image =
                        FactoryImage(isDeviceDataSet ? kDeviceDataSetBlock : kMacAddressBlock);
                    const size_t offset = isDeviceDataSet ? kHeaderSize + 4 : kHeaderSize;
                    const ULONG length =
                        isDeviceDataSet
                            ? ULONG(image[8] | image[9] << 8 | image[10] << 16 | image[11] << 24)
                            : ULONG(kMacAddressPayloadSize);
                    ASSERT_EQ(t.m_count, length) << "the payload's length";
                    std::string expected(image.begin() + offset, image.begin() + offset + length);
                    if (isDeviceDataSet) expected[0] = '\0';
                    EXPECT_EQ(std::string(reinterpret_cast<char*>(t.m_exported), t.m_count),
                              expected);
                }));
    }
    rows.push_back(Point("D5_ErasedBlock",
                         [](FailurePointTest& t) { return t.Export(DeviceDataSetExportEntry); }, 1,
                         {{"D5", E_FAIL, 1249}})
                       .Given([](FailurePointTest& t) {
                           t.Write("NornData.dds", "payload");
                           t.EraseDeviceDataSetBlock();
                       })
                       .Then([](FailurePointTest& t) {
                           EXPECT_EQ(t.m_count, 0xA5A5A5A5u) << "the block's length field";
                       }));
}

// F3, the backup. A callee that reports its own failure comes first in the trail.
void AddBackupRows(std::vector<CFailurePoint>& rows) {
    const CCall backup = [](FailurePointTest&) { return F3(); };
    const auto f3 = [backup](const char* what, std::vector<CExpectedReport> reports) {
        return Point(std::string("F3_") + what, backup, 1, std::move(reports));
    };
    const auto given = [](CDriverFault fault) {
        return [fault](FailurePointTest& t) { t.Fault(fault); };
    };
    rows.push_back(f3("NoDriver", {{"F3", E_POINTER, 3506}})
                       .Given([](FailurePointTest& t) { t.UnregisterDriver(); })
                       .Diagnostics({"212"}));
    rows.push_back(
        f3("NoControlInterface", {{"F3", E_POINTER, 3506}}).Given([](FailurePointTest& t) {
            t.DriverAnswering({InterfaceId<IEEPROMBlock>::value});
        }));
    rows.push_back(f3("PrepareReadFails", {{"F3", kDriverError, 3511}})
                       .Given(given(CDriverFault::Failure("PrepareRead", 1, kDriverError))));
    rows.push_back(f3("PrepareReadStatus", {{"F3", E_FAIL, 3514}})
                       .Given(given(CDriverFault::Status("PrepareRead", 1, kDriverStatus))));
    rows.push_back(f3("DeviceDataSetUnreadable",
                      {{"GetDeviceDataSetEEPROM", kDriverError, 1156}, {"F3", E_FAIL, 3525}})
                       .Given(given(CDriverFault::Failure("ReadBlock", 1, kDriverError))));
    rows.push_back(f3("DeviceDataSetErased", {{"F3", E_FAIL, 3525}}).Given([](FailurePointTest& t) {
        t.EraseDeviceDataSetBlock();
    }));
    // The control interface is held to the end of the call, through both reports.
    rows.push_back(f3("MacAddressUnreadable",
                      {{"GetMACEEPROM", kDriverError, 1557, 2}, {"F3", E_FAIL, 3530, 1}})
                       .Given(given(CDriverFault::Failure("ReadBlock", 2, kDriverError))));
    rows.push_back(f3("DocumentNotWritten", {{"F3", E_FAIL, 3543}})
                       .Given([](FailurePointTest& t) { t.DirectoryAt("NornData.xml"); })
                       .Then([](FailurePointTest& t) {
                           EXPECT_FALSE(t.Exists("NornData.dds"));
                           EXPECT_FALSE(t.Exists("NornData.mac"));
                       }));
    rows.push_back(
        f3("DocumentShortWrite", {{"F3", E_FAIL, 3543}})
            .Given([](FailurePointTest& t) { t.FileFault(EFileFault::WriteFails, "NornData.xml"); })
            .Then([](FailurePointTest& t) {
                EXPECT_FALSE(t.Exists("NornData.dds"));
                EXPECT_FALSE(t.Exists("NornData.mac"));
            }));
    // A root that is set but empty is taken as it is: the paths begin at /eeprom.
    rows.push_back(f3("EmptyRoot", {{"F3", E_FAIL, 3543}})
                       .Given([](FailurePointTest& t) {
                           setenv("TARVO_SYSTEM_ROOT_RW", "", 1);
                           FailurePointTest::ForgetPaths();
                           t.FileFault(EFileFault::OpenFails, "NornData.xml");
                       })
                       .Then([](FailurePointTest& t) {
                           setenv("TARVO_SYSTEM_ROOT_RW", t.m_root.Path().c_str(), 1);
                           EXPECT_EQ(t.m_lastPathOpened, "/eeprom/xml/NornData.xml");
                       }));
    rows.push_back(
        f3("DeviceDataSetFileNotWritten", {{"CreateDDSFile", E_FAIL, 1036}, {"F3", E_FAIL, 3588}})
            .Given([](FailurePointTest& t) { t.DirectoryAt("NornData.dds"); })
            .Then([](FailurePointTest& t) { EXPECT_FALSE(t.Exists("NornData.mac")); }));
    rows.push_back(
        f3("MacAddressFileNotWritten", {{"CreateMACFile", E_FAIL, 1447}, {"F3", E_FAIL, 3595}})
            .Given([](FailurePointTest& t) { t.DirectoryAt("NornData.mac"); }));
}

// F2, the restore, from a complete set of service data files. Nothing is committed on any of
// these paths, and the restore never leaves a batch open.
void AddRestoreRows(std::vector<CFailurePoint>& rows) {
    const CCall restore = [](FailurePointTest&) { return F2(); };
    const auto f2 = [restore](const char* what, std::vector<CExpectedReport> reports,
                              CStep arrange) {
        return Point(std::string("F2_") + what, restore, 1, std::move(reports))
            .Given([arrange](FailurePointTest& t) {
                t.LayOutRestoreInputs();
                arrange(t);
            })
            .Then([](FailurePointTest&) { EXPECT_FALSE(IsDeferredCommit()); });
    };
    const auto fault = [](CDriverFault f) { return [f](FailurePointTest& t) { t.Fault(f); }; };
    const auto write = [](const char* name, std::string content) {
        return [name, content](FailurePointTest& t) { t.Write(name, content); };
    };
    const auto remove = [](const char* name) {
        return [name](FailurePointTest& t) { std::filesystem::remove(t.DataFile(name)); };
    };
    const auto readFails = [](const char* name) {
        return [name](FailurePointTest& t) { t.FileFault(EFileFault::ReadFails, name); };
    };
    rows.push_back(f2("NoDocument", {{"F2", E_FAIL, 3240}}, remove("NornData.xml")));
    rows.push_back(f2("NoSerialNumber", {{"F2", E_FAIL, 3240}},
                      write("NornData.xml", "<NornData MaterialNo=\"M\"/>")));
    rows.push_back(f2("NoMaterialNumber", {{"F2", E_FAIL, 3246}},
                      write("NornData.xml", "<NornData SerialNo=\"S\"/>")));
    rows.push_back(f2("NoDeviceDataSetFile", {{"F2", E_FAIL, 3310}}, remove("NornData.dds")));
    rows.push_back(
        f2("DeviceDataSetFileShortRead", {{"F2", E_FAIL, 3328}}, readFails("NornData.dds")));
    rows.push_back(f2("NoMacAddressFile", {{"F2", E_FAIL, 3340}}, remove("NornData.mac")));
    rows.push_back(
        f2("MacAddressFileShortRead", {{"F2", E_FAIL, 3358}}, readFails("NornData.mac")));
    rows.push_back(f2("NoValueInterface", {{"F2", E_POINTER, 3363}}, [](FailurePointTest& t) {
        t.DriverAnswering({InterfaceId<IEEPROMBlock>::value, InterfaceId<IEEPROMControl>::value});
    }));
    rows.push_back(f2("NoDriver", {{"F2", E_POINTER, 3363}}, [](FailurePointTest& t) {
                       t.UnregisterDriver();
                   }).Diagnostics({"212"}));
    rows.push_back(f2("ReadValueFails", {{"F2", kDriverError, 3366}},
                      fault(CDriverFault::Failure("ReadValue", 1, kDriverError))));
    rows.push_back(f2("NoControlInterface", {{"F2", E_POINTER, 3369}}, [](FailurePointTest& t) {
        t.DriverAnswering({InterfaceId<IEEPROMBlock>::value, InterfaceId<IDriverValue>::value});
    }));
    rows.push_back(f2("OpenWriteFails", {{"F2", kDriverError, 3372}},
                      fault(CDriverFault::Failure("SetEEPROMMode", 1, kDriverError))));
    rows.push_back(f2("OpenWriteStatus", {{"F2", E_FAIL, 3376}},
                      fault(CDriverFault::Status("SetEEPROMMode", 1, kDriverStatus))));
    rows.push_back(f2("DeviceDataSetNotWritten",
                      {{"SetDeviceDataSetEEPROM", kDriverError, 956}, {"F2", E_FAIL, 3389}},
                      fault(CDriverFault::Failure("WriteBlock", 1, kDriverError))));
    rows.push_back(f2("MacAddressNotWritten",
                      {{"SetMACEEPROM", kDriverError, 1368}, {"F2", E_FAIL, 3394}},
                      fault(CDriverFault::Failure("WriteBlock", 2, kDriverError))));
    // Both reports come while the restore holds both interfaces and its batch is open.
    rows.push_back(f2("SerialNumberNotWritten",
                      {{"F6", kDriverError, 2605, 3}, {"F2", E_FAIL, 3404, 2}},
                      fault(CDriverFault::Failure("WriteValue", 1, kDriverError)))
                       .Then([](FailurePointTest& t) {
                           EXPECT_FALSE(IsDeferredCommit());
                           EXPECT_EQ(t.m_batchOpenAtReports, (std::vector<bool>{true, true}));
                       }));
    rows.push_back(f2("MaterialNumberNotWritten",
                      {{"F7", kDriverError, 2660}, {"F2", E_FAIL, 3409}},
                      fault(CDriverFault::Failure("WriteValue", 2, kDriverError))));
    rows.push_back(f2("Value16NotWritten", {{"F2", kDriverError, 3417}},
                      fault(CDriverFault::Failure("WriteValue", 3, kDriverError))));
    rows.push_back(f2("CommitFails", {{"F2", kDriverError, 3428}},
                      fault(CDriverFault::Failure("SetEEPROMMode", 2, kDriverError))));
}

std::vector<CFailurePoint> FailurePointTest::Catalog() {
    std::vector<CFailurePoint> rows;
    AddDriverValueRows(rows);
    AddBatchRows(rows);
    AddReportRows(rows);
    AddRunningObjectTableRows(rows);
    AddAccessorRows(rows);
    AddEraseRows(rows);
    AddPayloadRows(rows);
    AddBackupRows(rows);
    AddRestoreRows(rows);
    return rows;
}

std::string CaseName(const ::testing::TestParamInfo<CFailurePoint>& info) {
    return info.param.id;
}

INSTANTIATE_TEST_SUITE_P(Contract, FailurePointTest,
                         ::testing::ValuesIn(FailurePointTest::Catalog()), CaseName);

[[maybe_unused]] const bool g_counted =
    (AddReliabilityFigure("failure points",
                          static_cast<long long>(FailurePointTest::Catalog().size())),
     true);

}  // namespace
}  // namespace norn::test
