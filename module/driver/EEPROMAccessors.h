// The four accessors that move a payload between the module and one EEPROM block: the device
// data set (block 22001) and the MAC address block (block 22002). Each is guarded under its own
// name: it reports its failure and returns false, never throws.
//
// Writers keep the block header, lay the payload behind it, fill the rest with 0xA5 and write the
// whole image; then they commit, or, inside a deferred-commit batch, only note that a commit is
// pending. Readers hand out the payload in a new zero-filled buffer one byte longer than the
// payload (so it always ends in a 0 byte), allocated with new[]: the caller owns it and gives it
// back with delete[] (the host through ReleaseBuffer).
#pragma once

#include <windows.h>

[[nodiscard]] bool SetDeviceDataSetEEPROM(const BYTE* payload, LONG count);
[[nodiscard]] bool GetDeviceDataSetEEPROM(BYTE** buffer, ULONG* count);
[[nodiscard]] bool SetMACEEPROM(const BYTE* payload, ULONG count);
[[nodiscard]] bool GetMACEEPROM(BYTE** buffer, ULONG* count);
