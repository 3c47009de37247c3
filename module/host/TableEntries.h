// The operations that live in the method table itself.
#pragma once

#include <windows.h>

// Entries 3 to 6, each the operation guard around its operation.
LONG DeviceDataSetImportEntry(LONG ignored, const BYTE* payload, LONG count);
LONG DeviceDataSetExportEntry(LONG ignored, BYTE** buffer, ULONG* count);
LONG MacAddressImportEntry(LONG ignored, const BYTE* payload, LONG count);
LONG MacAddressExportEntry(LONG ignored, BYTE** buffer, ULONG* count);

HRESULT NotImplemented();
HRESULT NotImplemented13(LONG* cleared);
HRESULT NotImplemented15(void* unused, LONG* cleared);
HRESULT NotImplemented18(void* unused1, void* unused2, LONG* cleared);
HRESULT NotImplemented19(LONG* cleared1, LONG* cleared2);
LONG ReleaseBuffer(LONG ignored, BYTE* buffer);
HRESULT BeginDeferredCommit();
LONG EndDeferredCommit();
