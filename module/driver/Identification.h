// The serial number and the material number, read and written through the measurement driver's
// value interface: the work of exports F4 to F7. Each routine is guarded under its export's
// report code ("F4" to "F7"): it reports its failure and returns kBrightworkFailed, never throws.
// The exports are these calls, and the restore stores the serial and the material number through
// the same two writers, so that their reports come under "F6" and "F7" either way.
#pragma once

#include <windows.h>

// F4 / F5: the driver fills the caller's buffer; the module neither reads nor terminates it.
LONG QuerySerialNumber(char* buffer) noexcept;
LONG QueryMaterialNumber(char* buffer) noexcept;

// F6 / F7: a zero-terminated 8-bit text, stored as the driver's byte count says: the driver
// takes this many bytes from the text, whatever its length.
constexpr LONG kSerialNumberWriteCount = 11;
constexpr LONG kMaterialNumberWriteCount = 13;
LONG WriteSerialNumber(const char* text) noexcept;
LONG WriteMaterialNumber(const char* text) noexcept;
