// Import and export of the two payloads between a host buffer, their service data file and
// their EEPROM block (method table entries 3 to 6). Each raises CExceptionError; the table entry
// around it is the operation guard.
#pragma once

#include <windows.h>

// Entry 3 ("D4"): writes NornData.dds, then block 22001. 0, or 1 when only the first, unreported
// file write failed.
LONG ImportDeviceDataSet(const BYTE* payload, LONG count);
// Entry 4 ("D5"): hands out block 22001's payload once NornData.dds holds the same bytes.
LONG ExportDeviceDataSet(BYTE** buffer, ULONG* count);
// Entry 5 ("D6"): writes NornData.mac, then block 22002.
LONG ImportMacAddress(const BYTE* payload, LONG count);
// Entry 6 ("D7"): hands out block 22002's 16 payload bytes once NornData.mac starts with them.
LONG ExportMacAddress(BYTE** buffer, ULONG* count);
