// The failure points of the EEPROM block accessors and of the deferred-commit batch (entries 29
// and 30). A writer that fails before its write leaves the block as it was; one that fails at
// the commit leaves it written but not committed. A reader that fails leaves the caller's
// buffer argument alone.
#include <norn/BrightworkNorn.h>

#include "driver/DeferredCommit.h"
#include "driver/EEPROMAccessors.h"
#include "host/TableEntries.h"
#include "reliability/FailurePoints.h"

namespace norn::test {
namespace {

using namespace norn::eeprom;
using firmware::CDriverFault;
using firmware::FactoryImage;

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

CStep WrittenNotCommitted(LONG block) {
    return [block](FailurePointTest& t) {
        EXPECT_TRUE(t.m_run.pendingWrites);
        EXPECT_EQ(t.m_driver.CommittedImage(block), FactoryImage(block));
    };
}

void AddWriterRows(std::vector<CFailurePoint>& rows, const CWriter& w) {
    const std::string code = w.code + std::string("_");
    const CCall call = Writes(w.write, w.payloadSize);
    const CStep unchanged = BlocksAsTheyWere();
    rows.insert(
        rows.end(),
        {
            Point(code + "PayloadTooLong", Writes(w.write, w.payloadSize + 1), {}, FALSE,
                  {Fail(w.code, w.countLine)}, {unchanged, NotAsked("ReadBlock")}),
            // A null payload with a count is refused as a bad count, unread.
            Point(code + "NullPayloadWithCount",
                  [write = w.write](FailurePointTest&) -> LONG { return write(nullptr, 4); }, {},
                  FALSE, {Fail(w.code, w.countLine)}, {unchanged, NotAsked("ReadBlock")}),
            Point(code + "NoBlockInterface", call, {Answering({kControl})}, FALSE,
                  {NoPointer(w.code, w.blockLine)}, {unchanged}),
            Point(code + "NoControlInterface", call, {Answering({kBlock})}, FALSE,
                  {NoPointer(w.code, w.controlLine)}, {unchanged}),
            Point(code + "NoDriver", call, {kNoDriver}, FALSE, {NoPointer(w.code, w.blockLine)}, {},
                  {"212"}),
            Point(code + "ReadFails", call, {Fails("ReadBlock", 1)}, FALSE,
                  {DriverError(w.code, w.readLine)}, {unchanged}),
            Point(code + "ReadStatusWithWrongSize", call, {ShortRead(1)}, FALSE,
                  {Fail(w.code, w.readSizeLine)}, {unchanged}),
            Point(code + "WriteFails", call, {Fails("WriteBlock", 1)}, FALSE,
                  {DriverError(w.code, w.writeLine)}, {unchanged}),
            Point(code + "WriteStatus", call, {StatusOf("WriteBlock", 1)}, FALSE,
                  {Fail(w.code, w.writeStatusLine)}, {unchanged}),
            Point(code + "CommitFails", call, {Fails("SetEEPROMMode", 1)}, FALSE,
                  {DriverError(w.code, w.commitLine, 2)},
                  {WrittenNotCommitted(w.block), BatchFlags(false, false)}),
            Point(code + "CommitStatus", call, {StatusOf("SetEEPROMMode", 1)}, FALSE,
                  {Fail(w.code, w.commitStatusLine)}, {WrittenNotCommitted(w.block)}),
        });
}

void AddReaderRows(std::vector<CFailurePoint>& rows, const CReader& r) {
    const std::string code = r.code + std::string("_");
    const auto read = r.read;
    const CCall call = [read](FailurePointTest& t) { return t.ReadBack(read); };
    const CStep leftAlone = [](FailurePointTest& t) { EXPECT_TRUE(t.m_bufferLeftAlone); };
    rows.insert(rows.end(),
                {
                    Point(code + "NoBlockInterface", call, {Answering({kControl})}, FALSE,
                          {NoPointer(r.code, r.interfaceLine)}, {leftAlone}),
                    Point(code + "NoDriver", call, {kNoDriver}, FALSE,
                          {NoPointer(r.code, r.interfaceLine)}, {leftAlone}, {"212"}),
                    Point(code + "ReadFails", call, {Fails("ReadBlock", 1)}, FALSE,
                          {DriverError(r.code, r.readLine)}, {leftAlone}),
                    Point(code + "ReadStatus", call, {StatusOf("ReadBlock", 1)}, FALSE,
                          {Fail(r.code, r.statusLine)}, {leftAlone}),
                    Point(code + "WrongSize", call, {WrongSize(1, 12)}, FALSE,
                          {Fail(r.code, r.sizeLine)}, {leftAlone}),
                    Point(code + "NullBuffer", call, {Planned(CDriverFault::NullBuffer(1))}, FALSE,
                          {Fail(r.code, r.sizeLine)}, {leftAlone}),
                });
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
                         {}, FALSE, {Fail("SetDeviceDataSetEEPROM", 907)}, {BlocksAsTheyWere()}));
    AddReaderRows(rows, {"GetDeviceDataSetEEPROM", GetDeviceDataSetEEPROM, 1150, 1156, 1160, 1166});
    AddReaderRows(rows, {"GetMACEEPROM", GetMACEEPROM, 1551, 1557, 1561, 1567});
    // An erased block's length field is out of range: refused without a report.
    rows.push_back(Point("GetDeviceDataSetEEPROM_ErasedLengthField",
                         [](FailurePointTest& t) { return t.ReadBack(GetDeviceDataSetEEPROM); },
                         {ErasedDeviceDataSet()}, FALSE, {}, {[](FailurePointTest& t) {
                             EXPECT_TRUE(t.m_bufferLeftAlone);
                             EXPECT_EQ(t.m_count, 0xA5A5A5A5u) << "the length field";
                         }}));
    return rows;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Accessors, FailurePointTest,
                         ::testing::ValuesIn(Catalogued({AccessorPoints()})), CaseName);

}  // namespace norn::test
