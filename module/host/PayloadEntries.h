// Method table entries 3 to 6: the payload transfers between a host buffer, their service data
// file and their EEPROM block, each the operation guard around its operation.
#pragma once

#include <windows.h>

LONG DeviceDataSetImportEntry(LONG ignored, const BYTE* payload, LONG count);
LONG DeviceDataSetExportEntry(LONG ignored, BYTE** buffer, ULONG* count);
LONG MacAddressImportEntry(LONG ignored, const BYTE* payload, LONG count);
LONG MacAddressExportEntry(LONG ignored, BYTE** buffer, ULONG* count);
