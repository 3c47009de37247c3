// The file copies of the two payloads, NornData.dds and NornData.mac: flat binary files whose
// whole content is the payload, with no header, length or terminator. Each writer replaces its
// file whole (never appends), checks the count written, and is guarded under its own name. The
// caller has resolved the paths. The one whole-file reader, which the exports and the restore
// share, is here too.
//
// The two results run opposite ways on purpose, as hosts and callers know them: CreateDDSFile
// returns 0 on success and 1 on failure, CreateMACFile true on success and false on failure.
#pragma once

#include <windows.h>

#include <QByteArray>
#include <QString>

#include "errors/Checks.h"

// How a whole-file replacement went.
enum class EFileWrite { Written, NotOpened, ShortWrite };

// Truncates (or creates) the file and writes the payload as its whole content; reports nothing.
// A payload that cannot be read (a negative count, or no bytes behind a count) is not written at
// all and counts as a short write, so no memory outside the caller's buffer is touched.
EFileWrite ReplaceFileContent(const QString& path, const BYTE* payload, LONG count);

[[nodiscard]] int CreateDDSFile(const BYTE* payload, LONG count);
[[nodiscard]] bool CreateMACFile(const BYTE* payload, LONG count);

// What a whole-file read gave: the bytes read (none after a failed read) and whether they are the
// whole file.
struct CFileContent {
    QByteArray bytes;
    bool complete = false;
};

// How a whole file is read: the restore reads its size in one read and checks the count; the
// exports read until the end (Qt's readAll), as hosts have always seen them do.
enum class EWholeRead { OneReadOfItsSize, UntilTheEnd };

// Opens the file unbuffered for reading, raising at fileOpen when it does not open, and reads it
// whole; the file is closed again before this returns. A short or failed read is not raised
// here: the caller decides whether it is a failure point of its own.
CFileContent ReadFileContent(const QString& path, CFailurePoint fileOpen, EWholeRead how);
