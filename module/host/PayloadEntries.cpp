#include "host/PayloadEntries.h"

#include "operations/PayloadTransfer.h"
#include "reports/OperationGuard.h"

LONG DeviceDataSetImportEntry(LONG, const BYTE* payload, LONG count) {
    return RunGuarded<LONG>("D4", 1, [&] { return ImportDeviceDataSet(payload, count); });
}

LONG DeviceDataSetExportEntry(LONG, BYTE** buffer, ULONG* count) {
    return RunGuarded<LONG>("D5", 1, [&] { return ExportDeviceDataSet(buffer, count); });
}

LONG MacAddressImportEntry(LONG, const BYTE* payload, LONG count) {
    return RunGuarded<LONG>("D6", 1, [&] { return ImportMacAddress(payload, count); });
}

LONG MacAddressExportEntry(LONG, BYTE** buffer, ULONG* count) {
    return RunGuarded<LONG>("D7", 1, [&] { return ExportMacAddress(buffer, count); });
}
