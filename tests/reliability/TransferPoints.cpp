// The failure points of the payload files and of the transfers above them: the file writers,
// the imports D4 and D6 (file, then block) and the exports D5 and D7 (file against block).
#include "driver/EEPROMAccessors.h"
#include "files/DataFilePaths.h"
#include "files/PayloadFiles.h"
#include "host/MethodTable.h"
#include "reliability/FailurePoints.h"

namespace norn::test {
namespace {

using namespace norn::eeprom;

const std::string kPayload = "new-payload";

template <class Result>
CCall Creates(Result (*writer)(const BYTE*, LONG)) {
    return [writer](FailurePointTest&) {
        return static_cast<LONG>(
            writer(reinterpret_cast<const BYTE*>(kPayload.data()), LONG(kPayload.size())));
    };
}

// The writers use the paths their caller resolved; they never resolve them themselves.
const CStep kPathsNotResolved = [](FailurePointTest&) { ResetDataFilePathsForTests(); };
// Nor do they make a missing service data directory.
const CStep kNoDirectory = [](FailurePointTest& t) {
    std::filesystem::remove_all(t.m_xmlDirectory);
};
const CStep kStillNoDirectory = [](FailurePointTest& t) {
    EXPECT_FALSE(std::filesystem::exists(t.m_xmlDirectory));
};

CStep Holds(const char* name, std::string content) {
    return [name, content](FailurePointTest& t) { EXPECT_EQ(t.FileContent(name), content); };
}

std::vector<CFailurePoint> FileWriterRows() {
    std::vector<CFailurePoint> rows;
    const auto writeFails = [](const char* name) {
        return FileFails(EFileFault::WriteFails, name);
    };
    CRowTable dds{rows, "CreateDDSFile_", Creates(CreateDDSFile), 1};
    CRowTable mac{rows, "CreateMACFile_", Creates(CreateMACFile), FALSE};
    dds("PathsNotResolved", {kPathsNotResolved}, {Fail("CreateDDSFile", 1036)},
        {Absent({"NornData.dds"})});
    mac("PathsNotResolved", {kPathsNotResolved}, {Fail("CreateMACFile", 1447)},
        {Absent({"NornData.mac"})});
    dds("CannotOpen", {DirectoryAt("NornData.dds")}, {Fail("CreateDDSFile", 1036)});
    dds("ShortWrite", {writeFails("NornData.dds")}, {Fail("CreateDDSFile", 1042)});
    mac("CannotOpen", {DirectoryAt("NornData.mac")}, {Fail("CreateMACFile", 1447)});
    mac("ShortWrite", {writeFails("NornData.mac")}, {Fail("CreateMACFile", 1458)});
    dds("NoDirectory", {kNoDirectory}, {Fail("CreateDDSFile", 1036)}, {kStillNoDirectory});
    // A payload that cannot be read is refused after the open, unread.
    rows.push_back(Point("CreateDDSFile_NullPayload",
                         [](FailurePointTest&) { return LONG(CreateDDSFile(nullptr, 5)); }, {}, 1,
                         {Fail("CreateDDSFile", 1042)}, {Holds("NornData.dds", "")}));
    rows.push_back(Point("CreateMACFile_NegativeCount",
                         [](FailurePointTest&) {
                             return LONG(CreateMACFile(reinterpret_cast<const BYTE*>("abc"), -1));
                         },
                         {}, FALSE, {Fail("CreateMACFile", 1458)}));
    return rows;
}

std::vector<CFailurePoint> ImportRows() {
    const std::string tooLongDds(kMaxDeviceDataSetPayload + 1, 'd');
    const std::string tooLongMac(kMacAddressPayloadSize + 1, 'm');
    const CCall d4 = Run("D4");
    const CCall d6 = Run("D6");
    // D4 writes its file twice: the first write only decides the result, unreported.
    const CStep imported = [](FailurePointTest& t) { Operation("D4").verify(t); };
    return {
        Point("D4_FirstFileWriteFails", d4, {FileFails(EFileFault::OpenFails, "NornData.dds", 1)},
              1, {}, {imported}, {}, {}, 1),
        Point("D4_FileWriterFails", d4, {DirectoryAt("NornData.dds")}, 1,
              {Fail("CreateDDSFile", 1036), Fail("D4", 1098)}, {kBlocksAsTheyWere}),
        Point("D4_BlockWriterFails", Import(DeviceDataSetImportEntry, tooLongDds), {}, 1,
              {Fail("SetDeviceDataSetEEPROM", 907), Fail("D4", 1104)},
              {Holds("NornData.dds", tooLongDds), kBlocksAsTheyWere}),
        Point("D6_FileWriterFails", d6, {DirectoryAt("NornData.mac")}, 1,
              {Fail("CreateMACFile", 1447), Fail("D6", 1500)}, {kBlocksAsTheyWere}),
        Point("D6_BlockWriterFails", Import(MacAddressImportEntry, tooLongMac), {}, 1,
              {Fail("SetMACEEPROM", 1325), Fail("D6", 1506)},
              {Holds("NornData.mac", tooLongMac), kBlocksAsTheyWere}),
    };
}

struct CExport {
    const char* code;
    LONG (*entry)(LONG, BYTE**, ULONG*);
    const char* file;
    const char* reader;
    LONG block, readerLine;  // the block reader's line for a failed ReadBlock
    LONG nullLine, openLine, blockReadLine, compareLine;
    std::string fileContent;  // a payload the factory block does not hold
};

// The buffer handed out after a mismatch is the block's payload; D5 clears its first byte.
void ExpectBlockPayloadHandedOut(FailurePointTest& t, LONG block) {
    ASSERT_NE(t.m_exported, nullptr) << "the buffer is handed out";
    std::string expected = PayloadOf(firmware::FactoryImage(block), block);
    if (block == kDeviceDataSetBlock) expected[0] = '\0';
    EXPECT_EQ(std::string(reinterpret_cast<char*>(t.m_exported), t.m_count), expected);
}

std::vector<CFailurePoint> ExportRows(const CExport& e) {
    const std::string code = e.code + std::string("_");
    const CCall call = Run(e.code);
    const CCall nullBuffer = [entry = e.entry](FailurePointTest& t) {
        t.m_count = 7;
        return entry(0, nullptr, &t.m_count);
    };
    const CStep withFile = WriteFile(e.file, e.fileContent);
    const CStep noBuffer = [](FailurePointTest& t) {
        EXPECT_EQ(t.m_exported, nullptr) << "buffer argument untouched";
    };
    return {
        Point(code + "NullBuffer", nullBuffer, {}, 1, {Fail(e.code, e.nullLine)}, {CountIs(0)}),
        Point(code + "FileCannotBeOpened", call, {}, 1, {Fail(e.code, e.openLine)},
              {NotAsked("ReadBlock"), CountIs(0), noBuffer}),
        Point(code + "BlockReaderFails", call, {withFile, Fails("ReadBlock", 1)}, 1,
              {DriverError(e.reader, e.readerLine), Fail(e.code, e.blockReadLine)},
              {CountIs(e.fileContent.size()), noBuffer}),
        Point(code + "PayloadsDiffer", call, {withFile}, 1, {Fail(e.code, e.compareLine)},
              {[block = e.block](FailurePointTest& t) { ExpectBlockPayloadHandedOut(t, block); }}),
    };
}

// An erased block: its length field is out of range, and becomes the count.
const CFailurePoint kErasedBlock =
    Point("D5_ErasedBlock", Run("D5"), {WriteFile("NornData.dds", "payload"), kErasedDeviceDataSet},
          1, {Fail("D5", 1249)}, {CountIs(0xA5A5A5A5)});

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    Transfers, FailurePointTest,
    ::testing::ValuesIn(Catalogued({
        FileWriterRows(),
        ImportRows(),
        ExportRows({"D5", DeviceDataSetExportEntry, "NornData.dds", "GetDeviceDataSetEEPROM",
                    kDeviceDataSetBlock, 1156, 1224, 1230, 1249, 1257, "other"}),
        ExportRows({"D7", MacAddressExportEntry, "NornData.mac", "GetMACEEPROM", kMacAddressBlock,
                    1557, 1625, 1631, 1650, 1656, std::string(16, 'o')}),
        {kErasedBlock},
    })),
    CaseName);

}  // namespace norn::test
