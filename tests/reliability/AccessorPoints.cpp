// The failure points of the EEPROM block accessors and of the deferred-commit batch (entries 29
// and 30). A writer that fails before its write leaves the block as it was; one that fails at
// the commit leaves it written but not committed. A reader that fails leaves the caller's
// buffer argument alone.
#include "driver/EEPROMAccessors.h"
#include "host/TableEntries.h"
#include "reliability/FailurePoints.h"

namespace norn::test {
namespace {

using namespace norn::eeprom;
using firmware::CDriverFault;

struct CWriter {
    const char* code;
    LONG block;
    bool (*write)(const BYTE*, LONG);
    LONG payloadSize;  // the largest payload the block takes
    LONG countLine, blockLine, controlLine, readLine, readSizeLine, writeLine, writeStatusLine,
        commitLine, commitStatusLine;
};

struct CReader {
    const char* code;
    bool (*read)(BYTE**, ULONG*);
    LONG interfaceLine, readLine, statusLine, sizeLine;
};

bool WriteMac(const BYTE* payload, LONG count) {
    return SetMACEEPROM(payload, static_cast<ULONG>(count));
}

CCall Writes(bool (*write)(const BYTE*, LONG), LONG count) {
    return [write, count](FailurePointTest&) -> LONG {
        const std::string payload(count > 0 ? count : 1, 'p');
        return write(reinterpret_cast<const BYTE*>(payload.data()), count);
    };
}

CCall Reads(bool (*reader)(BYTE**, ULONG*)) {
    return [reader](FailurePointTest& t) { return t.ReadBack(reader); };
}

void AddWriterRows(std::vector<CFailurePoint>& rows, const CWriter& w) {
    const std::string code = w.code + std::string("_");
    rows.push_back(Point(code + "PayloadTooLong", Writes(w.write, w.payloadSize + 1), {}, FALSE,
                         {Fail(w.code, w.countLine)}, {kBlocksAsTheyWere, NotAsked("ReadBlock")}));
    // A null payload with a count is refused as a bad count, unread.
    rows.push_back(Point(code + "NullPayloadWithCount",
                         [write = w.write](FailurePointTest&) -> LONG { return write(nullptr, 4); },
                         {}, FALSE, {Fail(w.code, w.countLine)},
                         {kBlocksAsTheyWere, NotAsked("ReadBlock")}));
    const CCall call = Writes(w.write, w.payloadSize);
    CRowTable row{rows, code, call, FALSE, {}, {kBlocksAsTheyWere}};
    row("NoBlockInterface", {Answering({kControl})}, {NoPointer(w.code, w.blockLine)});
    row("NoControlInterface", {Answering({kBlock})}, {NoPointer(w.code, w.controlLine)});
    row("NoDriver", {kNoDriver}, {NoPointer(w.code, w.blockLine)}, {}, {"212"});
    row("ReadFails", {Fails("ReadBlock", 1)}, {DriverError(w.code, w.readLine)});
    row("ReadStatusWithWrongSize", {ShortRead(1)}, {Fail(w.code, w.readSizeLine)});
    row("WriteFails", {Fails("WriteBlock", 1)}, {DriverError(w.code, w.writeLine)});
    row("WriteStatus", {StatusOf("WriteBlock", 1)}, {Fail(w.code, w.writeStatusLine)});
    const CStep writtenNotCommitted = [block = w.block](FailurePointTest& t) {
        EXPECT_TRUE(t.m_run.pendingWrites);
        EXPECT_EQ(t.m_driver.CommittedImage(block), firmware::FactoryImage(block));
    };
    CRowTable commit{rows, code, call, FALSE, {}, {writtenNotCommitted}};
    commit("CommitFails", {Fails("SetEEPROMMode", 1)}, {DriverError(w.code, w.commitLine, 2)},
           {BatchFlags(false, false)});
    commit("CommitStatus", {StatusOf("SetEEPROMMode", 1)}, {Fail(w.code, w.commitStatusLine)});
}

void AddReaderRows(std::vector<CFailurePoint>& rows, const CReader& r) {
    CRowTable row{rows, r.code + std::string("_"), Reads(r.read), FALSE, {}, {kBufferLeftAlone}};
    row("NoBlockInterface", {Answering({kControl})}, {NoPointer(r.code, r.interfaceLine)});
    row("NoDriver", {kNoDriver}, {NoPointer(r.code, r.interfaceLine)}, {}, {"212"});
    row("ReadFails", {Fails("ReadBlock", 1)}, {DriverError(r.code, r.readLine)});
    row("ReadStatus", {StatusOf("ReadBlock", 1)}, {Fail(r.code, r.statusLine)});
    row("WrongSize", {Planned({CDriverFault::WrongByteCount(1, 12)})}, {Fail(r.code, r.sizeLine)});
    row("NullBuffer", {Planned({CDriverFault::NullBuffer(1)})}, {Fail(r.code, r.sizeLine)});
}

std::vector<CFailurePoint> AccessorPoints() {
    const CCall begin = [](FailurePointTest&) { return BeginDeferredCommit(); };
    const CCall end = [](FailurePointTest&) { return EndDeferredCommit(); };
    const CStep batch = PreparedFor("D31");  // a batch holding a block write
    std::vector<CFailurePoint> rows = {
        Point("Begin_BatchAlreadyOpen", begin, {batch}, E_FAIL, {}, {BatchFlags(true, true)}),
        Point("End_CommitFails", end, {batch, Fails("SetEEPROMMode", 1)}, 1,
              {DriverError("D31", 2437, 1)}, {BatchFlags(true, true)}),
        Point("End_CommitStatus", end, {batch, StatusOf("SetEEPROMMode", 1)}, 1,
              {Fail("D31", 2446)}, {BatchFlags(false, false)}),
        Point("End_NoDriver", end, {batch, kNoDriver}, 1, {}, {BatchFlags(true, true)}, {"212"}),
    };
    AddWriterRows(rows, {"SetDeviceDataSetEEPROM", kDeviceDataSetBlock, SetDeviceDataSetEEPROM,
                         kMaxDeviceDataSetPayload, 907, 911, 912, 919, 923, 956, 960, 968, 971});
    AddWriterRows(rows, {"SetMACEEPROM", kMacAddressBlock, WriteMac, kMacAddressPayloadSize, 1325,
                         1329, 1330, 1337, 1341, 1368, 1372, 1379, 1382});
    rows.push_back(Point("SetDeviceDataSetEEPROM_NegativeCount", Writes(SetDeviceDataSetEEPROM, -1),
                         {}, FALSE, {Fail("SetDeviceDataSetEEPROM", 907)}, {kBlocksAsTheyWere}));
    AddReaderRows(rows, {"GetDeviceDataSetEEPROM", GetDeviceDataSetEEPROM, 1150, 1156, 1160, 1166});
    AddReaderRows(rows, {"GetMACEEPROM", GetMACEEPROM, 1551, 1557, 1561, 1567});
    // An erased block's length field is out of range: refused without a report.
    rows.push_back(Point("GetDeviceDataSetEEPROM_ErasedLengthField", Reads(GetDeviceDataSetEEPROM),
                         {kErasedDeviceDataSet}, FALSE, {},
                         {kBufferLeftAlone, CountIs(0xA5A5A5A5)}));
    return rows;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Accessors, FailurePointTest,
                         ::testing::ValuesIn(Catalogued({AccessorPoints()})), CaseName);

}  // namespace norn::test
