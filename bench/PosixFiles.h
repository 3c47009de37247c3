// The file system work of the service operations done with plain POSIX calls and nothing else:
// the floor that the module's times are measured against. Each function throws
// std::runtime_error when a call fails, so that a floor which did not do its work is never
// reported as fast.
#pragma once

#include <cstddef>
#include <string>

namespace norn::bench::posix {

// open(O_WRONLY | O_CREAT | O_TRUNC), one write of all bytes, close.
void WriteWholeFile(const std::string& path, const std::string& bytes);

// open(O_RDONLY), fstat, one read of the file's size, close.
std::string ReadWholeFile(const std::string& path);

// unlink; a file that is not there is not an error, as for the module's removals.
void RemoveFile(const std::string& path);

// stat; false when there is nothing at the path.
bool FileExists(const std::string& path);

// memcpy that the compiler cannot drop, for the block image copies.
void CopyBytes(void* to, const void* from, std::size_t count);

}  // namespace norn::bench::posix
