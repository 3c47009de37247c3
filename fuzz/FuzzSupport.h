// What every fuzz target shares: the firmware process around the module, the service data
// files, calls into the module's host surface, and the checks of the rules that hold for any
// input. A broken rule aborts, so that libFuzzer counts it as a crash and keeps the input.
//
// The process is set up once, on the fuzzing thread, and lives until exit: COM joined, a fresh
// service data root (TARVO_SYSTEM_ROOT_RW, removed at exit) and the error manager simulator in
// the Running Object Table. Every iteration starts from the same state: the files are laid out
// anew, the error manager's reports and the module's deferred-commit flags are cleared, and the
// driver simulator is a new object registered for that iteration only.
#pragma once

#include <norn/BrightworkNorn.h>
#include <norn/firmware/ErrorManagerSimulator.h>

#include <string>

#include "FuzzInput.h"

namespace norn::fuzz {

[[noreturn]] void CheckFailed(const char* condition, const char* file, int line);

#define NORN_FUZZ_CHECK(condition) \
    ((condition) ? (void)0 : ::norn::fuzz::CheckFailed(#condition, __FILE__, __LINE__))

// Starts an iteration: sets the process up on the first call, then clears the reports and the
// deferred-commit flags.
void BeginIteration();

firmware::CErrorManagerSimulator& ErrorManager();

// NornData.xml, NornData.dds and NornData.mac below the process's service data root.
std::string ServiceDataFile(const char* name);
inline std::string XmlFile() {
    return ServiceDataFile("NornData.xml");
}
inline std::string DdsFile() {
    return ServiceDataFile("NornData.dds");
}
inline std::string MacFile() {
    return ServiceDataFile("NornData.mac");
}

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

// Replaces whatever lies at the path by what the file case says.
void LayOut(const std::string& path, const CFileSpec& file);
std::string ReadWholeFile(const std::string& path);

// Entries 4 and 6 through the method table, with null arguments where asked.
struct CExportCall {
    LONG result = -1;
    BYTE* buffer = nullptr;
    ULONG count = 0;
};
CExportCall CallExport(BrightworkEntry entry, bool nullBuffer, bool nullCount);
// Entries 3 and 5 through the method table.
LONG CallImport(BrightworkEntry entry, const std::string& payload);

// The rules of an export's answer: a result of 0 or 1; a count of 0 for a null buffer argument;
// a buffer handed out (on success always, on a failed comparison too) holds a payload of at
// most maxCount bytes followed by a 0 byte. Gives the buffer back through entry 21.
void CheckAndReleaseExport(const CExportCall& call, ULONG maxCount, bool nullBuffer);

// The error contract of an operation: 0 or 1, and the host gets 1 only after a report, 0 only
// without one.
void CheckReported(LONG result);

}  // namespace norn::fuzz
