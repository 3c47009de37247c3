// The file copies of the two payloads, NornData.dds and NornData.mac: flat binary files whose
// whole content is the payload, with no header, length or terminator. Each writer replaces its
// file whole (never appends), checks the count written, and is guarded under its own name. The
// caller has resolved the paths.
//
// The two results run opposite ways on purpose, as hosts and callers know them: CreateDDSFile
// returns 0 on success and 1 on failure, CreateMACFile true on success and false on failure.
#pragma once

#include <windows.h>

int CreateDDSFile(const BYTE* payload, LONG count);
bool CreateMACFile(const BYTE* payload, LONG count);
