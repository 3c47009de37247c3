#include "reliability/ModuleRun.h"

#include <cstdio>
#include <cstdlib>

#include "driver/DeferredCommit.h"
#include "files/DataFilePaths.h"
#include "host/TableEntries.h"
#include "norn/PlatformTestHooks.h"
#include "reliability/AllocationHook.h"

namespace norn::test {
namespace {

using namespace norn::eeprom;

// The texts of the log lines written since `before`: one field, or the last (kLastField).
constexpr size_t kLastField = ~size_t{0};
std::vector<std::string> NewFields(const CLogCapture& log, size_t before, size_t field) {
    std::vector<std::string> texts;
    const auto rows = log.Fields();
    for (size_t i = before; i < rows.size(); ++i) {
        texts.push_back(field < rows[i].size() ? rows[i][field] : rows[i].back());
    }
    return texts;
}

// Entry 21 gives a handed-out buffer back, and frees it.
void GiveBack(BYTE*& buffer) {
    if (buffer == nullptr) return;
    const long before = LiveArrayBlocks();
    ReleaseBuffer(0, buffer);
    EXPECT_EQ(LiveArrayBlocks(), before - 1) << "entry 21 kept the buffer";
    buffer = nullptr;
}

}  // namespace

std::string TrailEntry(const std::string& code, LONG line, HRESULT hresult) {
    char text[16];
    std::snprintf(text, sizeof(text), " 0x%08X", static_cast<unsigned>(hresult));
    return code + ":" + std::to_string(line) + text;
}

std::vector<BYTE> ErasedImage(LONG block) {
    auto image = firmware::FactoryImage(block);
    std::fill(image.begin() + kHeaderSize, image.end(), kErasedByte);
    return image;
}

void SpareQtAllocations() {
    static const bool spared = (SpareAllocationsOfLibraries("libQt6"), true);
    static_cast<void>(spared);
}

void CModuleRunTest::SetUp() {
    SpareQtAllocations();
    CServiceDataFixture::SetUp();
    ResetDataFilePathsForTests();  // resolved once per load: below this test's root from here
    m_manager.SetReportObserver([this] {
        m_record.held.push_back(static_cast<LONG>(m_driver.Refs() - m_driverTableRefs));
        m_record.batchOpenAtReports.push_back(IsDeferredCommit());
    });
}

void CModuleRunTest::TearDown() {
    NornFailPlatformAllocation(0);
    m_fileFault.reset();
    Reset();
    CServiceDataFixture::TearDown();
}

void CModuleRunTest::Reset() {
    ResetDeferredCommitForTests();
    ResetDataFilePathsForTests();
    m_driver.ClearFaults();
    LONG status = 0;
    m_driver.SetEEPROMMode(2, 1, &status);  // whatever a run left pending goes
    for (LONG block : {kDeviceDataSetBlock, kMacAddressBlock}) {
        m_driver.SetCommittedImage(block, firmware::FactoryImage(block));
    }
    for (const auto& [item, text] : firmware::FactoryValues()) m_driver.SetValue(item, text);
    for (const char* name : kDataFiles) std::filesystem::remove(DataFile(name));
    GiveBack(m_exported);
    m_count = 0;
    std::fill(std::begin(m_text), std::end(m_text), 0);
}

LONG CModuleRunTest::Export(LONG (*entry)(LONG, BYTE**, ULONG*)) {
    m_count = 0xFFFFFFFF;
    m_exported = m_untouched;
    const LONG result = entry(0, &m_exported, &m_count);
    if (m_exported == m_untouched) m_exported = nullptr;
    return result;
}

void CModuleRunTest::Begin() {
    m_driver.ClearJournal();
    m_manager.Clear();
    TakeRemovedFileNames();
    m_record = CRunRecord();
    m_eventsBefore = m_events.Lines().size();
    m_diagnosticsBefore = m_diagnostics.Lines().size();
    m_driverRefs = m_driver.Refs();
    m_managerRefs = m_manager.Refs();
    m_liveBstrs = NornLiveBstrCount();
    m_commitsBefore = m_driver.CommitCount();
    m_arrays = LiveArrayBlocks();
    m_descriptors = OpenDescriptorCount();
}

CRunRecord CModuleRunTest::Finish(LONG result) {
    m_fileFault.reset();
    NornFailPlatformAllocation(0);
    CRunRecord record = std::move(m_record);
    m_record = CRunRecord();
    record.result = result;
    for (const auto& r : Reports()) {
        const std::string code(r.reportCode.text.begin(), r.reportCode.text.end());
        record.trail.push_back(TrailEntry(code, r.line, r.hresult));
        record.filesNamed = record.filesNamed && r.file.text == u"Brightwork";
    }
    record.events = NewFields(m_events, m_eventsBefore, kLastField);
    record.diagnostics = NewFields(m_diagnostics, m_diagnosticsBefore, 1);
    record.commits = m_driver.CommitCount() - m_commitsBefore;
    record.pendingWrites = m_driver.HasPendingWrites();

    EXPECT_EQ(m_driver.Refs(), m_driverRefs) << "a driver reference was kept";
    EXPECT_EQ(m_manager.Refs(), m_managerRefs) << "an error manager reference was kept";
    EXPECT_EQ(NornLiveBstrCount(), m_liveBstrs) << "a BSTR was leaked";
    EXPECT_EQ(NornLiveEventSourceCount(), 0) << "an event source was left registered";
    EXPECT_EQ(OpenDescriptorCount(), m_descriptors) << "a file was left open";
    EXPECT_EQ(LiveArrayBlocks(), m_arrays + (m_exported != nullptr ? 1 : 0))
        << "an array block was leaked";
    EXPECT_TRUE(m_driver.HandedOutBuffersIntact()) << "a block read's buffer was written";
    if (DataFilePathsResolved()) {  // once for the module's lifetime: from the root set now
        const char* root = std::getenv("TARVO_SYSTEM_ROOT_RW");
        const QString& (*paths[])() = {XMLFilePath, DDSFilePath, MACFilePath};
        for (size_t i = 0; i < std::size(paths); ++i) {
            EXPECT_EQ(paths[i]().toStdString(),
                      root != nullptr ? std::string(root) + "/eeprom/xml/" + kDataFiles[i] : "");
        }
    }
    return record;
}

}  // namespace norn::test
