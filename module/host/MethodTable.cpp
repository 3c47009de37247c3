#include "host/MethodTable.h"

#include "host/TableEntries.h"
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

namespace {

template <class Function>
PFN_BRIGHTWORK_ENTRY Entry(Function function) {
    return reinterpret_cast<PFN_BRIGHTWORK_ENTRY>(function);
}

BrightworkMethodTable MakeMethodTable() {
    BrightworkMethodTable table = {};
    table.size = sizeof(BrightworkMethodTable);
    table.entries[EntryDeviceDataSetImport] = Entry(&DeviceDataSetImportEntry);
    table.entries[EntryDeviceDataSetExport] = Entry(&DeviceDataSetExportEntry);
    table.entries[EntryMacAddressImport] = Entry(&MacAddressImportEntry);
    table.entries[EntryMacAddressExport] = Entry(&MacAddressExportEntry);
    table.entries[EntryNotImplemented11] = Entry(&NotImplemented);
    table.entries[EntryNotImplemented12] = Entry(&NotImplemented);
    table.entries[EntryNotImplemented13] = Entry(&NotImplemented13);
    table.entries[EntryNotImplemented14] = Entry(&NotImplemented);
    table.entries[EntryNotImplemented15] = Entry(&NotImplemented15);
    table.entries[EntryNotImplemented16] = Entry(&NotImplemented);
    table.entries[EntryNotImplemented17] = Entry(&NotImplemented);
    table.entries[EntryNotImplemented18] = Entry(&NotImplemented18);
    table.entries[EntryNotImplemented19] = Entry(&NotImplemented19);
    table.entries[EntryReleaseBuffer] = Entry(&ReleaseBuffer);
    table.entries[EntryBeginDeferredCommit] = Entry(&BeginDeferredCommit);
    table.entries[EntryEndDeferredCommit] = Entry(&EndDeferredCommit);
    return table;
}

}  // namespace

const BrightworkMethodTable g_methodTable = MakeMethodTable();
