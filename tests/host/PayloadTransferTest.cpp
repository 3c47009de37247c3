// Table entries 3 to 6 as a host calls them: a payload imported through entry 3 or 5 goes into
// its service data file and its block, and entry 4 or 6 hands the block's payload out, followed
// by a 0 byte, when the file begins with the same bytes. (Each failure point's report is a case
// of the reliability suite's conformance table.)
#include <gtest/gtest.h>

#include <string>
#include <utility>

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

// The largest device data set first, so that the empty one must replace a longer file.
TEST_F(PayloadTransferTest, PayloadsRoundTripThroughFileAndBlock) {
    const struct {
        int importEntry, exportEntry;
        const char* file;
        std::string payload;
    } rows[] = {
        {EntryDeviceDataSetImport, EntryDeviceDataSetExport, "NornData.dds", Bytes(1348)},
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
// like a null buffer, also when there is a file to read. (Both exports share this code.)
TEST_F(PayloadTransferTest, ExportComparesTheFileOverThePayloadOnly) {
    const std::string dds("abc\0", 4);
    ASSERT_EQ(Import(EntryDeviceDataSetImport, dds), 0);
    BYTE* buffer = nullptr;
    EXPECT_EQ(Module().Entry<PFN_BRIGHTWORK_EXPORT>(EntryDeviceDataSetExport)(0, &buffer, nullptr),
              1);
    EXPECT_EQ(buffer, nullptr);
    for (const auto& [content, result] :
         {std::pair{dds + std::string(10u << 20, 'x'), 0}, {std::string("abc"), 1}}) {
        SCOPED_TRACE(std::to_string(content.size()) + " bytes");
        CTempDirectory::WriteFile(DataFile("NornData.dds"), content);
        const CExported out = Export(EntryDeviceDataSetExport);
        EXPECT_EQ(out.result, result);
        EXPECT_EQ(out.count, 4u) << "the payload's length";
    }
}

}  // namespace
