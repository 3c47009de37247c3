// The failure points of the service operations: the erase (F8), the backup (F3) and the restore
// (F2). A callee that reports its own failure comes first in the trail.
#include <sys/stat.h>

#include <cstdlib>

#include "files/DataFilePaths.h"
#include "reliability/FailurePoints.h"

namespace norn::test {
namespace {

using namespace norn::eeprom;

CStep Removed(const char* name) {
    return [name](FailurePointTest& t) { std::filesystem::remove(t.DataFile(name)); };
}

// F8 checks no file before both interfaces are there: a read-only document stays so.
const CStep kReadOnlyDocument = [](FailurePointTest& t) {
    chmod(t.DataFile("NornData.xml").c_str(), 0444);
};
const CStep kFilesUntouched = [](FailurePointTest& t) {
    for (const char* name : kDataFiles) EXPECT_TRUE(t.Exists(name)) << name;
    EXPECT_EQ(CTempDirectory::Mode(t.DataFile("NornData.xml")), 0444u);
};

// Nothing is undone: the files stay removed, a block erased stays erased, the other untouched.
CStep Erased(bool deviceDataSet, bool macAddress) {
    return [deviceDataSet, macAddress](FailurePointTest& t) {
        Absent({"NornData.xml", "NornData.dds", "NornData.mac"})(t);
        for (const auto& [block, erased] : {std::pair{kDeviceDataSetBlock, deviceDataSet},
                                            std::pair{kMacAddressBlock, macAddress}}) {
            EXPECT_EQ(t.m_driver.CurrentImage(block),
                      erased ? ErasedImage(block) : firmware::FactoryImage(block));
        }
    };
}

void AddEraseRows(std::vector<CFailurePoint>& rows) {
    // Where a block is read, the files have gone first, in this order.
    const CStep removedInOrder = [](FailurePointTest&) {
        EXPECT_EQ(TakeRemovedFileNames(),
                  (std::vector<std::string>{"NornData.xml", "NornData.dds", "NornData.mac"}));
    };
    const CStep files = PreparedFor("F8");
    CRowTable row{rows, "F8_", Run("F8"), 1, {files}, {removedInOrder}};
    CRowTable untouched{rows, "F8_", Run("F8"), 1, {files, kReadOnlyDocument}, {kFilesUntouched}};
    untouched("NoDriver", {kNoDriver}, {NoPointer("F8", 2707)}, {}, {"212"});
    untouched("NoBlockInterface", {Answering({kControl})}, {NoPointer("F8", 2707)});
    untouched("NoControlInterface", {Answering({kBlock})}, {NoPointer("F8", 2708)});
    // Each block is erased, or not, as far as the erase came.
    const struct {
        const char* what;
        CStep fault;
        CExpectedReport report;
        bool deviceDataSetErased, macAddressErased;
    } cases[] = {
        {"FirstReadFails", Fails("ReadBlock", 1), DriverError("F8", 2729), false, false},
        {"FirstReadStatusWithWrongSize", ShortRead(1), Fail("F8", 2733), false, false},
        {"FirstWriteFails", {Fails("WriteBlock", 1)}, DriverError("F8", 2757), false, false},
        {"FirstWriteStatus", StatusOf("WriteBlock", 1), Fail("F8", 2768), false, false},
        {"SecondReadFails", Fails("ReadBlock", 2), DriverError("F8", 2780), true, false},
        {"SecondReadStatusWithWrongSize", ShortRead(2), Fail("F8", 2784), true, false},
        {"SecondWriteFails", {Fails("WriteBlock", 2)}, DriverError("F8", 2808), true, false},
        {"SecondWriteStatus", StatusOf("WriteBlock", 2), Fail("F8", 2819), true, false},
        {"CommitFails", Fails("SetEEPROMMode", 1), DriverError("F8", 2830), true, true},
        {"CommitStatus", StatusOf("SetEEPROMMode", 1), Fail("F8", 2834), true, true},
    };
    for (const auto& c : cases) {
        row(c.what, {c.fault}, {c.report}, {Erased(c.deviceDataSetErased, c.macAddressErased)});
    }
}

void AddBackupRows(std::vector<CFailurePoint>& rows) {
    const CStep noPayloadFiles = Absent({"NornData.dds", "NornData.mac"});
    // A root that is set but empty is taken as it is, the paths beginning at /eeprom; an unset
    // root names no file at all. Finish() checks the paths against the root the row leaves set.
    const CStep emptyRoot = [](FailurePointTest& t) {
        setenv("TARVO_SYSTEM_ROOT_RW", "", 1);
        ResetDataFilePathsForTests();
        t.FailFile(EFileFault::OpenFails, "NornData.xml");
    };
    const CStep unsetRoot = [](FailurePointTest&) {
        unsetenv("TARVO_SYSTEM_ROOT_RW");
        ResetDataFilePathsForTests();
    };
    CRowTable row{rows, "F3_", Run("F3"), 1};
    row("NoDriver", {kNoDriver}, {NoPointer("F3", 3506)}, {}, {"212"});
    row("NoControlInterface", {Answering({kBlock})}, {NoPointer("F3", 3506)});
    row("PrepareReadFails", {Fails("PrepareRead", 1)}, {DriverError("F3", 3511)});
    row("PrepareReadStatus", {StatusOf("PrepareRead", 1)}, {Fail("F3", 3514)});
    row("DeviceDataSetUnreadable", {Fails("ReadBlock", 1)},
        {DriverError("GetDeviceDataSetEEPROM", 1156), Fail("F3", 3525)});
    row("DeviceDataSetErased", {kErasedDeviceDataSet}, {Fail("F3", 3525)});
    // The control interface is held to the end of the call, through both reports.
    row("MacAddressUnreadable", {Fails("ReadBlock", 2)},
        {DriverError("GetMACEEPROM", 1557, 2), Fail("F3", 3530, 1)});
    row("DocumentNotWritten", {DirectoryAt("NornData.xml")}, {Fail("F3", 3543)}, {noPayloadFiles});
    row("DocumentShortWrite", {FileFails(EFileFault::WriteFails, "NornData.xml")},
        {Fail("F3", 3543)}, {noPayloadFiles});
    row("EmptyRoot", {emptyRoot}, {Fail("F3", 3543)});
    row("UnsetRoot", {unsetRoot}, {Fail("F3", 3543)});
    row("DeviceDataSetFileNotWritten", {DirectoryAt("NornData.dds")},
        {Fail("CreateDDSFile", 1036), Fail("F3", 3588)}, {Absent({"NornData.mac"})});
    row("MacAddressFileNotWritten", {DirectoryAt("NornData.mac")},
        {Fail("CreateMACFile", 1447), Fail("F3", 3595)});
}

// From a complete set of service data files. Nothing is committed on any of these paths, and
// the restore never leaves a batch open.
void AddRestoreRows(std::vector<CFailurePoint>& rows) {
    const CStep batchClosed = [](FailurePointTest&) { EXPECT_FALSE(IsDeferredCommit()); };
    CRowTable row{rows, "F2_", Run("F2"), 1, {PreparedFor("F2")}, {batchClosed}};
    const auto readFails = [](const char* name) { return FileFails(EFileFault::ReadFails, name); };
    row("NoDocument", {Removed("NornData.xml")}, {Fail("F2", 3240)});
    row("NoSerialNumber", {WriteFile("NornData.xml", "<NornData MaterialNo=\"M\"/>")},
        {Fail("F2", 3240)});
    row("NoMaterialNumber", {WriteFile("NornData.xml", "<NornData SerialNo=\"S\"/>")},
        {Fail("F2", 3246)});
    row("NoDeviceDataSetFile", {Removed("NornData.dds")}, {Fail("F2", 3310)});
    row("DeviceDataSetFileShortRead", {readFails("NornData.dds")}, {Fail("F2", 3328)});
    row("NoMacAddressFile", {Removed("NornData.mac")}, {Fail("F2", 3340)});
    row("MacAddressFileShortRead", {readFails("NornData.mac")}, {Fail("F2", 3358)});
    row("NoValueInterface", {Answering({kBlock, kControl})}, {NoPointer("F2", 3363)});
    row("NoDriver", {kNoDriver}, {NoPointer("F2", 3363)}, {}, {"212"});
    row("ReadValueFails", {Fails("ReadValue", 1)}, {DriverError("F2", 3366)});
    row("NoControlInterface", {Answering({kBlock, kValue})}, {NoPointer("F2", 3369)});
    row("OpenWriteFails", {Fails("SetEEPROMMode", 1)}, {DriverError("F2", 3372)});
    row("OpenWriteStatus", {StatusOf("SetEEPROMMode", 1)}, {Fail("F2", 3376)});
    row("DeviceDataSetNotWritten", {Fails("WriteBlock", 1)},
        {DriverError("SetDeviceDataSetEEPROM", 956), Fail("F2", 3389)});
    row("MacAddressNotWritten", {Fails("WriteBlock", 2)},
        {DriverError("SetMACEEPROM", 1368), Fail("F2", 3394)});
    // Both reports come while the restore holds both interfaces and its batch is open.
    row("SerialNumberNotWritten", {Fails("WriteValue", 1)},
        {DriverError("F6", 2605, 3), Fail("F2", 3404, 2)}, {[](FailurePointTest& t) {
            EXPECT_EQ(t.m_run.batchOpenAtReports, (std::vector<bool>{true, true}));
        }});
    row("MaterialNumberNotWritten", {Fails("WriteValue", 2)},
        {DriverError("F7", 2660), Fail("F2", 3409)});
    row("Value16NotWritten", {Fails("WriteValue", 3)}, {DriverError("F2", 3417)});
    row("CommitFails", {Fails("SetEEPROMMode", 2)}, {DriverError("F2", 3428)});
}

std::vector<CFailurePoint> ServicePoints() {
    std::vector<CFailurePoint> rows;
    AddEraseRows(rows);
    AddBackupRows(rows);
    AddRestoreRows(rows);
    return rows;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Service, FailurePointTest,
                         ::testing::ValuesIn(Catalogued({ServicePoints()})), CaseName);

}  // namespace norn::test
