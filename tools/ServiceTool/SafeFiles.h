// How the service tool touches files: nothing is followed through a symbolic link, nothing but a
// regular file is read or replaced, and every write reaches the disk before the tool goes on.
// A file is replaced whole (a temporary file in the same folder, fsync, rename, fsync of the
// folder) or appended to and fsynced; a failure is one line in a CFileError.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace norn::tool {

constexpr size_t kKibibyte = 1024;
constexpr size_t kMebibyte = kKibibyte * kKibibyte;
// The most a journal (log.txt, history.log) is read of; far more than years of service.
constexpr size_t kMaxJournalSize = 64 * kMebibyte;

// A file or folder that cannot be used or written: the run fails with this one line.
class CFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What lies at a path, the last component not followed.
enum class EPathKind { Missing, RegularFile, Directory, Other };
EPathKind PathKind(const std::string& path);

// Throws CFileError unless the path is missing or a regular file (a link, a folder, a device or
// a FIFO where a file belongs is refused).
void RequireFileOrMissing(const std::string& path);
// Makes the folder unless it is there; throws CFileError when something else is in its place.
// A folder it makes is flushed into its parent.
void MakeDirectory(const std::string& path);

// The whole content of a regular file of at most maxSize bytes, checked with fstat before a byte
// is read; never blocks (a FIFO is refused, not opened for reading).
std::string ReadRegularFile(const std::string& path, size_t maxSize);

// Replaces (or creates) the file with the content, whole or not at all.
void WriteFileAtomically(const std::string& path, std::string_view content);
// Creates a file that must not exist yet, writes it and flushes it; for a folder that nobody
// sees until it is complete (its caller flushes the folder once at the end).
void WriteNewFile(const std::string& path, std::string_view content);
// Appends the text in one write and flushes it to disk.
void AppendToFile(const std::string& path, std::string_view text);
// Flushes the folder's entries (a rename or a new file in it) to disk.
void SyncDirectory(const std::string& path);
// Removes a folder and the regular files in it (a backup set); refuses anything else inside.
void RemoveDirectoryOfFiles(const std::string& path);
// The names in a folder, sorted; none when it is missing.
std::vector<std::string> DirectoryEntries(const std::string& path);

}  // namespace norn::tool
