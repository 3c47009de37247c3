// The serial number and the material number, read and written through the measurement driver's
// value interface (exports F4 to F7).
#pragma once

#include <windows.h>

// F4 / F5: the driver fills the caller's buffer; the module neither reads nor terminates it.
LONG QuerySerialNumber(char* buffer);
LONG QueryMaterialNumber(char* buffer);
// F6 / F7: a zero-terminated 8-bit text, stored as the driver's byte count says: the driver
// takes this many bytes from the text, whatever its length.
constexpr LONG kSerialNumberWriteCount = 11;
constexpr LONG kMaterialNumberWriteCount = 13;
LONG WriteSerialNumber(const char* text);
LONG WriteMaterialNumber(const char* text);
