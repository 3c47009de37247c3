// The host operations of the sweeps, each with the driver calls of its fault-free run as the
// contract gives them (the failure tables of the accessors, the erase, the backup, the restore,
// the batch and the driver value exports).
#include "reliability/HostOperations.h"

#include <stdexcept>

#include "driver/DeferredCommit.h"
#include "host/Exports.h"
#include "host/MethodTable.h"
#include "host/TableEntries.h"

namespace norn::test {
namespace {

using namespace norn::eeprom;
using R = ECallRole;

const std::string kIdentifiedDocument =
    "<?xml version='1.0' standalone='yes'?>\n<!DOCTYPE NornData>\n"
    "<NornData SerialNo=\"SN77\" MaterialNo=\"4711.0815.00\"/>\n";
const std::string kNewDocument =
    "<?xml version='1.0' standalone='yes'?>\n<!DOCTYPE NornData>\n<NornData/>\n";
const std::string kImportedDeviceDataSet = "imported device data set;rev=4";
const std::string kBatchDeviceDataSet = "device data set written in a batch";
const std::string kImportedMac = "imported-mac-016";
const std::string kRestoredDeviceDataSet = "restored device data set;rev=2";
const std::string kRestoredMac = "restored-mac-016";

std::string FactoryPayload(LONG block) {
    return PayloadOf(firmware::FactoryImage(block), block);
}

std::string Exported(const CModuleRunTest& t) {
    if (t.m_exported == nullptr) return "(no buffer)";
    EXPECT_EQ(t.m_exported[t.m_count], 0) << "the payload is followed by a 0 byte";
    return std::string(reinterpret_cast<const char*>(t.m_exported), t.m_count);
}

void WithRestoreInputs(CModuleRunTest& t) {
    t.Write("NornData.xml", kIdentifiedDocument);
    t.Write("NornData.dds", kRestoredDeviceDataSet);
    t.Write("NornData.mac", kRestoredMac);
}

void WithAllDataFiles(CModuleRunTest& t) {
    t.Write("NornData.xml", kIdentifiedDocument);
    t.Write("NornData.dds", FactoryPayload(kDeviceDataSetBlock));
    t.Write("NornData.mac", FactoryPayload(kMacAddressBlock));
}

void WithBatchHoldingAWrite(CModuleRunTest&) {
    ASSERT_EQ(BeginDeferredCommit(), S_OK);
    ASSERT_EQ(ImportPayload(DeviceDataSetImportEntry, kBatchDeviceDataSet), 0);
    ASSERT_TRUE(IsCommitPending());
}

using CStepOf = void (*)(CModuleRunTest&);

CHostOperation Op(const char* code, LONG commits, CStepOf prepare, LONG (*call)(CModuleRunTest&),
                  CStepOf verify, std::vector<CDriverCallRule> calls, bool keepsBatch = false) {
    return {code, prepare, call, verify, commits, keepsBatch, std::move(calls)};
}

void ImportedDeviceDataSet(CModuleRunTest& t) {
    EXPECT_EQ(t.FileContent("NornData.dds"), kImportedDeviceDataSet);
    EXPECT_EQ(t.BlockPayload(kDeviceDataSetBlock), kImportedDeviceDataSet);
}

void ImportedMacAddress(CModuleRunTest& t) {
    EXPECT_EQ(t.FileContent("NornData.mac"), kImportedMac);
    EXPECT_EQ(t.BlockPayload(kMacAddressBlock), kImportedMac);
}

void BatchCommitted(CModuleRunTest& t) {
    EXPECT_EQ(PayloadOf(t.m_driver.CommittedImage(kDeviceDataSetBlock), kDeviceDataSetBlock),
              kBatchDeviceDataSet);
    EXPECT_FALSE(IsCommitPending());
}

void Restored(CModuleRunTest& t) {
    EXPECT_EQ(t.BlockPayload(kDeviceDataSetBlock), kRestoredDeviceDataSet);
    EXPECT_EQ(t.BlockPayload(kMacAddressBlock), kRestoredMac);
    EXPECT_EQ(t.m_driver.Value(3), "SN77");
    EXPECT_EQ(t.m_driver.Value(4), "4711.0815.00");
    EXPECT_EQ(t.m_driver.Value(16), firmware::FactoryValues().at(16));
}

void BackedUp(CModuleRunTest& t) {
    EXPECT_EQ(t.FileContent("NornData.xml"), kNewDocument);
    EXPECT_EQ(t.FileContent("NornData.dds"), FactoryPayload(kDeviceDataSetBlock));
    EXPECT_EQ(t.FileContent("NornData.mac"), FactoryPayload(kMacAddressBlock));
}

void Erased(CModuleRunTest& t) {
    for (const char* name : kDataFiles) EXPECT_FALSE(t.Exists(name)) << name;
    for (LONG block : {kDeviceDataSetBlock, kMacAddressBlock}) {
        EXPECT_EQ(t.m_driver.CurrentImage(block), ErasedImage(block));
    }
}

std::vector<CHostOperation> MakeOperations() {
    const CStepOf none = [](CModuleRunTest&) {};
    return {
        Op("D4", 1, none,
           [](CModuleRunTest&) {
               return ImportPayload(DeviceDataSetImportEntry, kImportedDeviceDataSet);
           },
           ImportedDeviceDataSet,
           {{"ReadBlock", 1, R::RewriteRead, "SetDeviceDataSetEEPROM", 919, 0, 923, 1104},
            {"WriteBlock", 1, R::Checked, "SetDeviceDataSetEEPROM", 956, 960, 0, 1104},
            {"SetEEPROMMode", 1, R::Checked, "SetDeviceDataSetEEPROM", 968, 971, 0, 1104}}),
        Op(
            "D5", 0,
            [](CModuleRunTest& t) { t.Write("NornData.dds", FactoryPayload(kDeviceDataSetBlock)); },
            [](CModuleRunTest& t) { return t.Export(DeviceDataSetExportEntry); },
            [](CModuleRunTest& t) { EXPECT_EQ(Exported(t), FactoryPayload(kDeviceDataSetBlock)); },
            {{"ReadBlock", 1, R::Read, "GetDeviceDataSetEEPROM", 1156, 1160, 1166, 1249}}),
        Op("D6", 1, none,
           [](CModuleRunTest&) { return ImportPayload(MacAddressImportEntry, kImportedMac); },
           ImportedMacAddress,
           {{"ReadBlock", 1, R::RewriteRead, "SetMACEEPROM", 1337, 0, 1341, 1506},
            {"WriteBlock", 1, R::Checked, "SetMACEEPROM", 1368, 1372, 0, 1506},
            {"SetEEPROMMode", 1, R::Checked, "SetMACEEPROM", 1379, 1382, 0, 1506}}),
        Op(
            "D7", 0,
            [](CModuleRunTest& t) { t.Write("NornData.mac", FactoryPayload(kMacAddressBlock)); },
            [](CModuleRunTest& t) { return t.Export(MacAddressExportEntry); },
            [](CModuleRunTest& t) { EXPECT_EQ(Exported(t), FactoryPayload(kMacAddressBlock)); },
            {{"ReadBlock", 1, R::Read, "GetMACEEPROM", 1557, 1561, 1567, 1650}}),
        Op(
            "D31", 1, WithBatchHoldingAWrite, [](CModuleRunTest&) { return EndDeferredCommit(); },
            BatchCommitted, {{"SetEEPROMMode", 1, R::Checked, nullptr, 2437, 2446, 0, 0}}, true),
        Op("F2", 1, WithRestoreInputs, [](CModuleRunTest&) { return F2(); }, Restored,
           {{"ReadValue", 1, R::StatusIgnored, nullptr, 3366, 0, 0, 0},
            {"SetEEPROMMode", 1, R::Checked, nullptr, 3372, 3376, 0, 0},
            {"ReadBlock", 1, R::RewriteRead, "SetDeviceDataSetEEPROM", 919, 0, 923, 3389},
            {"WriteBlock", 1, R::Checked, "SetDeviceDataSetEEPROM", 956, 960, 0, 3389},
            {"ReadBlock", 2, R::RewriteRead, "SetMACEEPROM", 1337, 0, 1341, 3394},
            {"WriteBlock", 2, R::Checked, "SetMACEEPROM", 1368, 1372, 0, 3394},
            {"WriteValue", 1, R::Checked, "F6", 2605, 2609, 0, 3404},
            {"WriteValue", 2, R::Checked, "F7", 2660, 2663, 0, 3409},
            {"WriteValue", 3, R::StatusIgnored, nullptr, 3417, 0, 0, 0},
            {"SetEEPROMMode", 2, R::StatusIgnored, nullptr, 3428, 0, 0, 0}}),
        Op(
            "F3", 0, [](CModuleRunTest& t) { t.Write("NornData.xml", kIdentifiedDocument); },
            [](CModuleRunTest&) { return F3(); }, BackedUp,
            {{"PrepareRead", 1, R::Checked, nullptr, 3511, 3514, 0, 0},
             {"ReadBlock", 1, R::Read, "GetDeviceDataSetEEPROM", 1156, 1160, 1166, 3525},
             {"ReadBlock", 2, R::Read, "GetMACEEPROM", 1557, 1561, 1567, 3530}}),
        Op(
            "F4", 0, none, [](CModuleRunTest& t) { return F4(t.m_text); },
            [](CModuleRunTest& t) { EXPECT_STREQ(t.m_text, "SN12345678"); },
            {{"QueryValue", 1, R::Checked, nullptr, 2497, 2501, 0, 0}}),
        Op(
            "F5", 0, none, [](CModuleRunTest& t) { return F5(t.m_text); },
            [](CModuleRunTest& t) { EXPECT_STREQ(t.m_text, "1234.5678.90"); },
            {{"QueryValue", 1, R::Checked, nullptr, 2551, 2554, 0, 0}}),
        Op(
            "F6", 0, none, [](CModuleRunTest&) { return F6("SN4711\0\0\0\0"); },
            [](CModuleRunTest& t) { EXPECT_EQ(t.m_driver.Value(3), "SN4711"); },
            {{"WriteValue", 1, R::Checked, nullptr, 2605, 2609, 0, 0}}),
        Op(
            "F7", 0, none, [](CModuleRunTest&) { return F7("9999.0000.11"); },  // 13 bytes
            [](CModuleRunTest& t) { EXPECT_EQ(t.m_driver.Value(4), "9999.0000.11"); },
            {{"WriteValue", 1, R::Checked, nullptr, 2660, 2663, 0, 0}}),
        // The erase's commit lines are the module's own (the contract leaves them open).
        Op("F8", 1, WithAllDataFiles, [](CModuleRunTest&) { return F8(); }, Erased,
           {{"ReadBlock", 1, R::RewriteRead, nullptr, 2729, 0, 2733, 0},
            {"WriteBlock", 1, R::Checked, nullptr, 2757, 2768, 0, 0},
            {"ReadBlock", 2, R::RewriteRead, nullptr, 2780, 0, 2784, 0},
            {"WriteBlock", 2, R::Checked, nullptr, 2808, 2819, 0, 0},
            {"SetEEPROMMode", 1, R::Checked, nullptr, 2830, 2834, 0, 0}}),
    };
}

}  // namespace

const std::vector<CHostOperation>& HostOperations() {
    static const std::vector<CHostOperation> operations = MakeOperations();
    return operations;
}

const CHostOperation& Operation(const std::string& code) {
    for (const CHostOperation& operation : HostOperations()) {
        if (operation.code == code) return operation;
    }
    throw std::invalid_argument("no host operation " + code);
}

void PrintTo(const CHostOperation& operation, std::ostream* out) {
    *out << operation.code;
}

LONG ImportPayload(LONG (*entry)(LONG, const BYTE*, LONG), const std::string& payload) {
    return entry(0, reinterpret_cast<const BYTE*>(payload.data()),
                 static_cast<LONG>(payload.size()));
}

std::vector<std::string> FailureTrail(const CHostOperation& operation, const CDriverCallRule& call,
                                      LONG line, HRESULT hresult) {
    if (call.inner == nullptr) return {TrailEntry(operation.code, line, hresult)};
    return {TrailEntry(call.inner, line, hresult),
            TrailEntry(operation.code, call.outerLine, E_FAIL)};
}

}  // namespace norn::test
