// The failure points of the serial and material number exports F4 to F7: the argument, the
// driver's value interface, the call and its status word, the same for each export.
#include "host/Exports.h"
#include "reliability/FailurePoints.h"

namespace norn::test {
namespace {

struct CExport {
    const char* code;
    const char* method;
    CCall call;      // with a valid argument
    CCall nullCall;  // with a null argument
    LONG nullLine, interfaceLine, callLine, statusLine;
};

// The driver takes 11 or 13 bytes whatever the text's length: the texts are padded.
constexpr char kText[16] = "SN1";

CCall Query(LONG (*entry)(char*), bool null = false) {
    return [entry, null](FailurePointTest& t) { return entry(null ? nullptr : t.m_text); };
}

CCall Write(LONG (*entry)(const char*), const char* text) {
    return [entry, text](FailurePointTest&) { return entry(text); };
}

std::vector<CFailurePoint> ExportRows(const CExport& e) {
    const std::string code = e.code + std::string("_");
    std::vector<CFailurePoint> rows = {Point(code + "NullArgument", e.nullCall, {}, 1,
                                             {Fail(e.code, e.nullLine)}, {NotAsked(e.method)})};
    CRowTable row{rows, code, e.call, 1};
    row("NoDriver", {kNoDriver}, {NoPointer(e.code, e.interfaceLine)}, {}, {"212"});
    row("NoValueInterface", {Answering({kBlock, kControl})}, {NoPointer(e.code, e.interfaceLine)});
    row("DriverCallFails", {Fails(e.method, 1)}, {DriverError(e.code, e.callLine, 1)});
    // The status word starts at 8: a driver that answers without setting it has failed.
    row("StatusNotSet", {Planned({firmware::CDriverFault::StatusUntouched(e.method, 1)})},
        {Fail(e.code, e.statusLine)});
    row("DriverStatus", {StatusOf(e.method, 1)}, {Fail(e.code, e.statusLine)});
    return rows;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    Identification, FailurePointTest,
    ::testing::ValuesIn(Catalogued({
        ExportRows({"F4", "QueryValue", Query(F4), Query(F4, true), 2489, 2492, 2497, 2501}),
        ExportRows({"F5", "QueryValue", Query(F5), Query(F5, true), 2543, 2546, 2551, 2554}),
        ExportRows({"F6", "WriteValue", Write(F6, kText), Write(F6, nullptr), 2596, 2599, 2605,
                    2609}),
        ExportRows({"F7", "WriteValue", Write(F7, kText), Write(F7, nullptr), 2651, 2654, 2660,
                    2663}),
        {Point("F6_EmptyText", Write(F6, ""), {}, 1, {Fail("F6", 2596)}),
         Point("F7_EmptyText", Write(F7, ""), {}, 1, {Fail("F7", 2651)})},
    })),
    CaseName);

}  // namespace norn::test
