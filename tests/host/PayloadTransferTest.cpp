// Table entries 3 to 6 as a host calls them: a payload imported through entry 3 or 5 goes into
// its service data file and its block, and entry 4 or 6 hands the block's payload out, followed
// by a 0 byte, when the file begins with the same bytes. (Each failure point's report is a case
// of the reliability suite's conformance table.)
#include <gtest/gtest.h>

#include <string>

#include "HostFixture.h"

namespace {

using norn::test::CHostFixture;
using norn::test::CTempDirectory;

// Every byte value, zero, CR, LF and ^Z among them.
std::string Bytes(size_t size, int seed = 0) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + seed) % 256);
    return bytes;
}

class PayloadTransferTest : public CHostFixture {};

// The largest device data set first, so that each later import must replace a longer file.
TEST_F(PayloadTransferTest, PayloadsRoundTripThroughFileAndBlock) {
    const struct {
        int importEntry, exportEntry;
        const char* file;
        std::string payload;
    } rows[] = {
        {EntryDeviceDataSetImport, EntryDeviceDataSetExport, "NornData.dds", Bytes(1348)},
        {EntryDeviceDataSetImport, EntryDeviceDataSetExport, "NornData.dds", Bytes(300, 1)},
        {EntryDeviceDataSetImport, EntryDeviceDataSetExport, "NornData.dds", ""},
        {EntryMacAddressImport, EntryMacAddressExport, "NornData.mac", Bytes(16, 3)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.file) + ", " + std::to_string(row.payload.size()) + " bytes");
        ASSERT_EQ(Import(row.importEntry, row.payload), 0);
        EXPECT_EQ(FileContent(row.file), row.payload);
        const CExported out = Export(row.exportEntry);
        EXPECT_EQ(out.result, 0);
        EXPECT_EQ(out.count, row.payload.size());
        EXPECT_EQ(out.bytes, row.payload + '\0');
    }
    EXPECT_TRUE(Reports().empty());
}

// The file is compared over the payload's length only: more bytes in the file still match, fewer
// never do, not even when the byte missing is the payload's last, a zero. A null count is refused
// like a null buffer, also when there is a file to read.
TEST_F(PayloadTransferTest, ExportComparesTheFileOverThePayloadOnly) {
    const std::string dds("abc\0", 4);
    ASSERT_EQ(Import(EntryDeviceDataSetImport, dds), 0);
    ASSERT_EQ(Import(EntryMacAddressImport, Bytes(16)), 0);
    for (int entry : {EntryDeviceDataSetExport, EntryMacAddressExport}) {
        BYTE* buffer = nullptr;
        EXPECT_EQ(Module().Entry<PFN_BRIGHTWORK_EXPORT>(entry)(0, &buffer, nullptr), 1) << entry;
        EXPECT_EQ(buffer, nullptr);
    }
    const struct {
        int entry;
        const char* file;
        std::string content;
        LONG result;
    } rows[] = {
        {EntryDeviceDataSetExport, "NornData.dds", dds + std::string(10u << 20, 'x'), 0},
        {EntryMacAddressExport, "NornData.mac", Bytes(16) + "more", 0},
        {EntryDeviceDataSetExport, "NornData.dds", "abc", 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.file) + ", " + std::to_string(row.content.size()) + " bytes");
        CTempDirectory::WriteFile(DataFile(row.file), row.content);
        const CExported out = Export(row.entry);
        EXPECT_EQ(out.result, row.result);
        EXPECT_EQ(out.count, row.entry == EntryMacAddressExport ? 16u : 4u) << "the payload's";
    }
}

}  // namespace
