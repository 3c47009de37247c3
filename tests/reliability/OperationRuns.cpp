// The host operations of the sweeps, each with the driver calls of its fault-free run as the
// contract gives them (the failure tables of the accessors, the erase, the backup, the restore,
// the batch and the driver value exports), and the fixture that runs them.
#include "reliability/OperationRuns.h"

#include <norn/BrightworkNorn.h>

#include <cstdio>
#include <filesystem>

#include "driver/DeferredCommit.h"
#include "files/DataFilePaths.h"
#include "host/Exports.h"
#include "host/MethodTable.h"
#include "host/TableEntries.h"
#include "norn/PlatformTestHooks.h"
#include "reliability/FileFaults.h"

namespace norn::test {
namespace {

using namespace norn::eeprom;
using firmware::FactoryImage;
using firmware::FactoryValues;
using R = ECallRole;

const char* const kDataFiles[] = {"NornData.xml", "NornData.dds", "NornData.mac"};
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

std::string PayloadOf(const std::vector<BYTE>& image, LONG block) {
    if (image.size() < static_cast<size_t>(kHeaderSize) + 4) return {};
    if (block == kMacAddressBlock) return {image.begin() + kHeaderSize, image.end()};
    const uint32_t length = image[8] | image[9] << 8 | image[10] << 16 | image[11] << 24;
    if (length > static_cast<uint32_t>(kMaxDeviceDataSetPayload)) return {};
    return {image.begin() + 12, image.begin() + 12 + length};
}

std::string FactoryPayload(LONG block) {
    return PayloadOf(FactoryImage(block), block);
}

std::vector<BYTE> ErasedImage(LONG block) {
    auto image = FactoryImage(block);
    std::fill(image.begin() + kHeaderSize, image.end(), kErasedByte);
    return image;
}

LONG Import(LONG (*entry)(LONG, const BYTE*, LONG), const std::string& payload) {
    return entry(0, reinterpret_cast<const BYTE*>(payload.data()),
                 static_cast<LONG>(payload.size()));
}

std::string Exported(const COperationRunTest& t) {
    if (t.m_exported == nullptr) return "(no buffer)";
    EXPECT_EQ(t.m_exported[t.m_count], 0) << "the payload is followed by a 0 byte";
    return std::string(reinterpret_cast<const char*>(t.m_exported), t.m_count);
}

void NoPreparation(COperationRunTest&) {}

void WithRestoreInputs(COperationRunTest& t) {
    t.Write("NornData.xml", kIdentifiedDocument);
    t.Write("NornData.dds", kRestoredDeviceDataSet);
    t.Write("NornData.mac", kRestoredMac);
}

void WithAllDataFiles(COperationRunTest& t) {
    t.Write("NornData.xml", kIdentifiedDocument);
    t.Write("NornData.dds", FactoryPayload(kDeviceDataSetBlock));
    t.Write("NornData.mac", FactoryPayload(kMacAddressBlock));
}

void WithBatchHoldingAWrite(COperationRunTest&) {
    ASSERT_EQ(BeginDeferredCommit(), S_OK);
    ASSERT_EQ(Import(DeviceDataSetImportEntry, kBatchDeviceDataSet), 0);
    ASSERT_TRUE(IsCommitPending());
}

std::vector<CHostOperation> MakeOperations() {
    std::vector<CHostOperation> operations;
    operations.push_back(
        {"D4",
         NoPreparation,
         [](COperationRunTest&) {
             return Import(DeviceDataSetImportEntry, kImportedDeviceDataSet);
         },
         [](COperationRunTest& t) {
             EXPECT_EQ(t.FileContent("NornData.dds"), kImportedDeviceDataSet);
             EXPECT_EQ(t.BlockPayload(kDeviceDataSetBlock), kImportedDeviceDataSet);
         },
         1,
         false,
         {{"ReadBlock", 1, R::RewriteRead, "SetDeviceDataSetEEPROM", 919, 0, 923, 1104},
          {"WriteBlock", 1, R::Checked, "SetDeviceDataSetEEPROM", 956, 960, 0, 1104},
          {"SetEEPROMMode", 1, R::Checked, "SetDeviceDataSetEEPROM", 968, 971, 0, 1104}}});
    operations.push_back(
        {"D5",
         [](COperationRunTest& t) { t.Write("NornData.dds", FactoryPayload(kDeviceDataSetBlock)); },
         [](COperationRunTest& t) {
             return DeviceDataSetExportEntry(0, &t.m_exported, &t.m_count);
         },
         [](COperationRunTest& t) { EXPECT_EQ(Exported(t), FactoryPayload(kDeviceDataSetBlock)); },
         0,
         false,
         {{"ReadBlock", 1, R::Read, "GetDeviceDataSetEEPROM", 1156, 1160, 1166, 1249}}});
    operations.push_back(
        {"D6",
         NoPreparation,
         [](COperationRunTest&) { return Import(MacAddressImportEntry, kImportedMac); },
         [](COperationRunTest& t) {
             EXPECT_EQ(t.FileContent("NornData.mac"), kImportedMac);
             EXPECT_EQ(t.BlockPayload(kMacAddressBlock), kImportedMac);
         },
         1,
         false,
         {{"ReadBlock", 1, R::RewriteRead, "SetMACEEPROM", 1337, 0, 1341, 1506},
          {"WriteBlock", 1, R::Checked, "SetMACEEPROM", 1368, 1372, 0, 1506},
          {"SetEEPROMMode", 1, R::Checked, "SetMACEEPROM", 1379, 1382, 0, 1506}}});
    operations.push_back(
        {"D7",
         [](COperationRunTest& t) { t.Write("NornData.mac", FactoryPayload(kMacAddressBlock)); },
         [](COperationRunTest& t) { return MacAddressExportEntry(0, &t.m_exported, &t.m_count); },
         [](COperationRunTest& t) { EXPECT_EQ(Exported(t), FactoryPayload(kMacAddressBlock)); },
         0,
         false,
         {{"ReadBlock", 1, R::Read, "GetMACEEPROM", 1557, 1561, 1567, 1650}}});
    operations.push_back({"D31",
                          WithBatchHoldingAWrite,
                          [](COperationRunTest&) { return EndDeferredCommit(); },
                          [](COperationRunTest& t) {
                              EXPECT_EQ(PayloadOf(t.m_driver.CommittedImage(kDeviceDataSetBlock),
                                                  kDeviceDataSetBlock),
                                        kBatchDeviceDataSet);
                              EXPECT_FALSE(IsCommitPending());
                          },
                          1,
                          true,
                          {{"SetEEPROMMode", 1, R::Checked, nullptr, 2437, 2446, 0, 0}}});
    operations.push_back(
        {"F2",
         WithRestoreInputs,
         [](COperationRunTest&) { return F2(); },
         [](COperationRunTest& t) {
             EXPECT_EQ(t.BlockPayload(kDeviceDataSetBlock), kRestoredDeviceDataSet);
             EXPECT_EQ(t.BlockPayload(kMacAddressBlock), kRestoredMac);
             EXPECT_EQ(t.m_driver.Value(3), "SN77");
             EXPECT_EQ(t.m_driver.Value(4), "4711.0815.00");
             EXPECT_EQ(t.m_driver.Value(16), FactoryValues().at(16));
         },
         1,
         false,
         {{"ReadValue", 1, R::StatusIgnored, nullptr, 3366, 0, 0, 0},
          {"SetEEPROMMode", 1, R::Checked, nullptr, 3372, 3376, 0, 0},
          {"ReadBlock", 1, R::RewriteRead, "SetDeviceDataSetEEPROM", 919, 0, 923, 3389},
          {"WriteBlock", 1, R::Checked, "SetDeviceDataSetEEPROM", 956, 960, 0, 3389},
          {"ReadBlock", 2, R::RewriteRead, "SetMACEEPROM", 1337, 0, 1341, 3394},
          {"WriteBlock", 2, R::Checked, "SetMACEEPROM", 1368, 1372, 0, 3394},
          {"WriteValue", 1, R::Checked, "F6", 2605, 2609, 0, 3404},
          {"WriteValue", 2, R::Checked, "F7", 2660, 2663, 0, 3409},
          {"WriteValue", 3, R::StatusIgnored, nullptr, 3417, 0, 0, 0},
          {"SetEEPROMMode", 2, R::StatusIgnored, nullptr, 3428, 0, 0, 0}}});
    operations.push_back(
        {"F3",
         [](COperationRunTest& t) { t.Write("NornData.xml", kIdentifiedDocument); },
         [](COperationRunTest&) { return F3(); },
         [](COperationRunTest& t) {
             EXPECT_EQ(t.FileContent("NornData.xml"), kNewDocument);
             EXPECT_EQ(t.FileContent("NornData.dds"), FactoryPayload(kDeviceDataSetBlock));
             EXPECT_EQ(t.FileContent("NornData.mac"), FactoryPayload(kMacAddressBlock));
         },
         0,
         false,
         {{"PrepareRead", 1, R::Checked, nullptr, 3511, 3514, 0, 0},
          {"ReadBlock", 1, R::Read, "GetDeviceDataSetEEPROM", 1156, 1160, 1166, 3525},
          {"ReadBlock", 2, R::Read, "GetMACEEPROM", 1557, 1561, 1567, 3530}}});
    operations.push_back({"F4",
                          NoPreparation,
                          [](COperationRunTest& t) { return F4(t.m_text); },
                          [](COperationRunTest& t) { EXPECT_STREQ(t.m_text, "SN12345678"); },
                          0,
                          false,
                          {{"QueryValue", 1, R::Checked, nullptr, 2497, 2501, 0, 0}}});
    operations.push_back({"F5",
                          NoPreparation,
                          [](COperationRunTest& t) { return F5(t.m_text); },
                          [](COperationRunTest& t) { EXPECT_STREQ(t.m_text, "1234.5678.90"); },
                          0,
                          false,
                          {{"QueryValue", 1, R::Checked, nullptr, 2551, 2554, 0, 0}}});
    operations.push_back({"F6",
                          NoPreparation,
                          [](COperationRunTest&) { return F6("SN4711\0\0\0\0"); },
                          [](COperationRunTest& t) { EXPECT_EQ(t.m_driver.Value(3), "SN4711"); },
                          0,
                          false,
                          {{"WriteValue", 1, R::Checked, nullptr, 2605, 2609, 0, 0}}});
    operations.push_back(
        {"F7",
         NoPreparation,
         [](COperationRunTest&) { return F7("9999.0000.11"); },  // 13 bytes
         [](COperationRunTest& t) { EXPECT_EQ(t.m_driver.Value(4), "9999.0000.11"); },
         0,
         false,
         {{"WriteValue", 1, R::Checked, nullptr, 2660, 2663, 0, 0}}});
    // The erase's commit lines are the module's own (the contract leaves them open).
    operations.push_back({"F8",
                          WithAllDataFiles,
                          [](COperationRunTest&) { return F8(); },
                          [](COperationRunTest& t) {
                              for (const char* name : kDataFiles)
                                  EXPECT_FALSE(t.Exists(name)) << name;
                              EXPECT_EQ(t.m_driver.CurrentImage(kDeviceDataSetBlock),
                                        ErasedImage(kDeviceDataSetBlock));
                              EXPECT_EQ(t.m_driver.CurrentImage(kMacAddressBlock),
                                        ErasedImage(kMacAddressBlock));
                          },
                          1,
                          false,
                          {{"ReadBlock", 1, R::RewriteRead, nullptr, 2729, 0, 2733, 0},
                           {"WriteBlock", 1, R::Checked, nullptr, 2757, 2768, 0, 0},
                           {"ReadBlock", 2, R::RewriteRead, nullptr, 2780, 0, 2784, 0},
                           {"WriteBlock", 2, R::Checked, nullptr, 2808, 2819, 0, 0},
                           {"SetEEPROMMode", 1, R::Checked, nullptr, 2830, 2834, 0, 0}}});
    return operations;
}

std::vector<std::string> NewFields(const CLogCapture& log, size_t before, size_t field) {
    std::vector<std::string> texts;
    const auto rows = log.Fields();
    for (size_t i = before; i < rows.size(); ++i) {
        texts.push_back(field < rows[i].size() ? rows[i][field] : rows[i].back());
    }
    return texts;
}

constexpr size_t kLastField = ~size_t{0};

}  // namespace

const std::vector<CHostOperation>& HostOperations() {
    static const std::vector<CHostOperation> operations = MakeOperations();
    return operations;
}

void PrintTo(const CHostOperation& operation, std::ostream* out) {
    *out << operation.code;
}

std::string OperationName(const ::testing::TestParamInfo<CHostOperation>& info) {
    return info.param.code;
}

std::string TrailEntry(const std::string& code, LONG line, HRESULT hresult) {
    char text[16];
    std::snprintf(text, sizeof(text), " 0x%08X", static_cast<unsigned>(hresult));
    return code + ":" + std::to_string(line) + text;
}

std::vector<std::string> FailureTrail(const CHostOperation& operation, const CDriverCallRule& call,
                                      LONG line, HRESULT hresult) {
    if (call.inner == nullptr) return {TrailEntry(operation.code, line, hresult)};
    return {TrailEntry(call.inner, line, hresult),
            TrailEntry(operation.code, call.outerLine, E_FAIL)};
}

void COperationRunTest::SetUp() {
    CServiceDataFixture::SetUp();
    ResetDataFilePathsForTests();  // the module is linked in: resolve below this test's root
}

void COperationRunTest::TearDown() {
    if (m_exported != nullptr) ReleaseBuffer(0, m_exported);
    m_exported = nullptr;
    ResetDeferredCommitForTests();
    ResetDataFilePathsForTests();
    CServiceDataFixture::TearDown();
}

void COperationRunTest::StartFrom(const CHostOperation& operation) {
    ResetDeferredCommitForTests();
    ResetDataFilePathsForTests();
    m_driver.ClearFaults();
    LONG status = 0;
    m_driver.SetEEPROMMode(2, 1, &status);  // whatever a run left pending goes
    for (LONG block : {kDeviceDataSetBlock, kMacAddressBlock}) {
        m_driver.SetCommittedImage(block, FactoryImage(block));
    }
    for (const auto& [item, text] : FactoryValues()) m_driver.SetValue(item, text);
    for (const char* name : kDataFiles) std::filesystem::remove(DataFile(name));
    if (m_exported != nullptr) ReleaseBuffer(0, m_exported);
    m_exported = nullptr;
    m_count = 0;
    std::fill(std::begin(m_text), std::end(m_text), 0);

    operation.prepare(*this);
    m_driver.ClearJournal();
    m_manager.Clear();
    m_eventsBefore = m_events.Lines().size();
    m_diagnosticsBefore = m_diagnostics.Lines().size();
    m_driverRefs = m_driver.Refs();
    m_managerRefs = m_manager.Refs();
    m_liveBstrs = NornLiveBstrCount();
    m_commitsBefore = m_driver.CommitCount();
    m_descriptors = OpenDescriptorCount();
}

LONG COperationRunTest::Call(const CHostOperation& operation) {
    try {
        return operation.call(*this);
    } catch (...) {
        ADD_FAILURE() << "an exception crossed the boundary";
        return -1;
    }
}

CRunRecord COperationRunTest::Finish(LONG result) {
    CRunRecord record;
    record.result = result;
    for (const auto& r : Reports()) {
        record.trail.push_back(TrailEntry(
            std::string(r.reportCode.text.begin(), r.reportCode.text.end()), r.line, r.hresult));
    }
    record.events = NewFields(m_events, m_eventsBefore, kLastField);
    record.diagnostics = NewFields(m_diagnostics, m_diagnosticsBefore, 1);
    record.commits = m_driver.CommitCount() - m_commitsBefore;
    record.pendingWrites = m_driver.HasPendingWrites();
    record.batchOpen = IsDeferredCommit();
    record.commitPending = IsCommitPending();

    EXPECT_EQ(m_driver.Refs(), m_driverRefs) << "a driver reference was kept";
    EXPECT_EQ(m_manager.Refs(), m_managerRefs) << "an error manager reference was kept";
    EXPECT_EQ(NornLiveBstrCount(), m_liveBstrs) << "a BSTR was leaked";
    EXPECT_EQ(NornLiveEventSourceCount(), 0) << "an event source was left registered";
    EXPECT_EQ(OpenDescriptorCount(), m_descriptors) << "a file was left open";
    EXPECT_TRUE(m_driver.HandedOutBuffersIntact()) << "a block read's buffer was written";
    if (DataFilePathsResolved()) {  // resolved once for the module's lifetime: it must be this root
        EXPECT_EQ(XMLFilePath().toStdString(), DataFile("NornData.xml"));
        EXPECT_EQ(DDSFilePath().toStdString(), DataFile("NornData.dds"));
        EXPECT_EQ(MACFilePath().toStdString(), DataFile("NornData.mac"));
    }
    return record;
}

void COperationRunTest::Write(const char* name, const std::string& content) const {
    CTempDirectory::WriteFile(DataFile(name), content);
}

bool COperationRunTest::Exists(const char* name) const {
    return std::filesystem::exists(DataFile(name));
}

std::string COperationRunTest::BlockPayload(LONG block) const {
    return PayloadOf(m_driver.CurrentImage(block), block);
}

}  // namespace norn::test
