// The static method table that GetMethodTable hands out: constant for as long as the module is
// loaded; every call returns its address. Declared here with the entries that exist only for the
// table, the payload transfers (entries 3 to 6), each the operation guard around its operation.
// The entries that touch no service data file (11 to 19, 21, 29, 30) are in host/TableEntries.h,
// which the Qt-free build of the module has too.
#pragma once

#include <norn/BrightworkNorn.h>

extern const BrightworkMethodTable g_methodTable;

LONG DeviceDataSetImportEntry(LONG ignored, const BYTE* payload, LONG count);
LONG DeviceDataSetExportEntry(LONG ignored, BYTE** buffer, ULONG* count);
LONG MacAddressImportEntry(LONG ignored, const BYTE* payload, LONG count);
LONG MacAddressExportEntry(LONG ignored, BYTE** buffer, ULONG* count);
