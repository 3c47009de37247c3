// What every fuzz target shares: the process around the module (COM, a fresh service data root
// removed at exit, the error manager simulator in the Running Object Table, set up on first use),
// the service data files, the driver simulator's block images, calls into the module, and the
// rules that hold for any input; a broken rule aborts, so that libFuzzer keeps the input as a
// crash.
#pragma once

#include <norn/BrightworkNorn.h>
#include <norn/MeasurementDriver.h>
#include <norn/firmware/MeasurementDriverSimulator.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "host/Exports.h"

namespace norn::fuzz {

using namespace eeprom;  // the blocks' numbers and sizes, which every fuzz file uses

[[noreturn]] void CheckFailed(const char* condition, const char* file, int line);

#define NORN_FUZZ_CHECK(condition) \
    ((condition) ? (void)0 : ::norn::fuzz::CheckFailed(#condition, __FILE__, __LINE__))

// A service data file ("NornData.xml", ".dds", ".mac") below the process's service data root.
std::string DataFile(const char* name);

// What lies at a service data file's path at the start of an iteration.
enum EFileKind : unsigned { FileRegular, FileAbsent, FileDirectory, FileKindCount };
struct CFileSpec {
    unsigned kind = FileRegular;
    std::string content;  // of a regular file
};

template <class Stream>
void Describe(Stream& stream, CFileSpec& file, size_t maxLength) {
    stream.Choice(file.kind, FileKindCount);
    if (file.kind == FileRegular) stream.Piece(file.content, maxLength);
}

// Replaces whatever lies at the service data file `name` by what the file case says.
void LayOut(const char* name, const CFileSpec& file);

// A well-formed image of block 22001 or 22002: the header, the device data set's length field
// (the payload's length unless given), the payload cut to the block's room, erased bytes after.
std::vector<BYTE> BlockImage(LONG block, const std::string& header, const std::string& payload,
                             std::optional<uint32_t> length = {});
// The payload an image holds; none when its length field is beyond the block's room.
std::optional<std::string> PayloadOf(LONG block, const std::vector<BYTE>& image);

// Runs `operation`, a call into the module that answers 0 or 1, from no reports and no batch
// open, with `driver` registered as the measurement driver; returns its answer. Checks the error
// contract (the host gets 1 only after a report, 0 only without one) and what holds after any
// operation: no batch is open (only entry 29 leaves one), the buffers the driver handed out are
// as it gave them, and the module keeps no reference to the driver.
LONG WithDriver(firmware::CMeasurementDriverSimulator& driver,
                const std::function<LONG()>& operation);

// Entry 4 or 6, with null arguments where asked. Checks what every export answers: a count of 0
// for a null buffer argument; a buffer on success, and any buffer handed out holding at most the
// block's room of bytes and a 0 byte after them. Gives it back through entry 21.
struct CExportResult {
    LONG result = -1;
    std::string payload;
};
CExportResult Export(BrightworkEntry entry, bool nullBuffer = false, bool nullCount = false);
// Entry 3 or 5 through the method table.
LONG Import(BrightworkEntry entry, const std::string& payload);

}  // namespace norn::fuzz
