// Brightwork_Norn as a host sees it. The host loads the library by path (Brightwork_Norn.dll on
// Windows, Brightwork_Norn.so here), asks GetMethodTable for the method table and calls entries
// by position, and calls the exports F2 to F8 by name. Every entry and export is a plain cdecl
// function returning a 32-bit value; nothing is ever thrown across this boundary.
#pragma once

#include <windows.h>

#include <cstdint>

// Results of the host-facing operations (entries 3 to 6 and 30, exports F2 to F8).
constexpr LONG kBrightworkSucceeded = 0;
constexpr LONG kBrightworkFailed = 1;

// Positions in the method table. Positions without a name hold null.
enum BrightworkEntry : int {
    EntryDeviceDataSetImport = 3,  // PFN_BRIGHTWORK_IMPORT, reports as "D4"
    EntryDeviceDataSetExport = 4,  // PFN_BRIGHTWORK_EXPORT, "D5"
    EntryMacAddressImport = 5,     // PFN_BRIGHTWORK_IMPORT, "D6"
    EntryMacAddressExport = 6,     // PFN_BRIGHTWORK_EXPORT, "D7"
    EntryNotImplemented11 = 11,    // PFN_BRIGHTWORK_NOTIMPL, E_NOTIMPL
    EntryNotImplemented12 = 12,
    EntryNotImplemented13 = 13,  // PFN_BRIGHTWORK_NOTIMPL13: clears its 1st argument's value
    EntryNotImplemented14 = 14,
    EntryNotImplemented15 = 15,  // PFN_BRIGHTWORK_NOTIMPL15: clears its 2nd argument's value
    EntryNotImplemented16 = 16,
    EntryNotImplemented17 = 17,
    EntryNotImplemented18 = 18,     // PFN_BRIGHTWORK_NOTIMPL18: clears its 3rd argument's value
    EntryNotImplemented19 = 19,     // PFN_BRIGHTWORK_NOTIMPL19: clears its 1st and 2nd
    EntryReleaseBuffer = 21,        // PFN_BRIGHTWORK_RELEASEBUFFER
    EntryBeginDeferredCommit = 29,  // PFN_BRIGHTWORK_BEGINDEFERREDCOMMIT: S_OK or E_FAIL
    EntryEndDeferredCommit = 30,    // PFN_BRIGHTWORK_ENDDEFERREDCOMMIT, "D31"
    BrightworkEntryCount = 43,
};

// An entry as the table stores it; cast it to the entry's own type before calling.
typedef void (*PFN_BRIGHTWORK_ENTRY)();

// The method table: size is the size of the whole record in bytes (176 with 32-bit pointers).
struct BrightworkMethodTable {
    uint32_t size;
    PFN_BRIGHTWORK_ENTRY entries[BrightworkEntryCount];
};
#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(BrightworkMethodTable) == 176, "the method table is 176 bytes");
#endif

// Entries 3 and 5: payload bytes and their count; the first argument is not read.
typedef LONG (*PFN_BRIGHTWORK_IMPORT)(LONG ignored, const BYTE* payload, LONG count);
// Entries 4 and 6: receive a buffer (payload and one 0 byte) that the host gives back through
// entry 21, and the payload's length.
typedef LONG (*PFN_BRIGHTWORK_EXPORT)(LONG ignored, BYTE** buffer, ULONG* count);
typedef HRESULT (*PFN_BRIGHTWORK_NOTIMPL)();
typedef HRESULT (*PFN_BRIGHTWORK_NOTIMPL13)(LONG* cleared);
typedef HRESULT (*PFN_BRIGHTWORK_NOTIMPL15)(void* unused, LONG* cleared);
typedef HRESULT (*PFN_BRIGHTWORK_NOTIMPL18)(void* unused1, void* unused2, LONG* cleared);
typedef HRESULT (*PFN_BRIGHTWORK_NOTIMPL19)(LONG* cleared1, LONG* cleared2);
// Entry 21: deletes a buffer that entry 4 or 6 handed out; null is accepted. Returns 0.
typedef LONG (*PFN_BRIGHTWORK_RELEASEBUFFER)(LONG ignored, BYTE* buffer);
typedef HRESULT (*PFN_BRIGHTWORK_BEGINDEFERREDCOMMIT)();
typedef LONG (*PFN_BRIGHTWORK_ENDDEFERREDCOMMIT)();

// Exports, by name.
typedef const BrightworkMethodTable* (*PFN_GETMETHODTABLE)();
typedef LONG (*PFN_BRIGHTWORK_OPERATION)();                  // F2 restore, F3 backup, F8 erase
typedef LONG (*PFN_BRIGHTWORK_READTEXT)(char* buffer);       // F4 serial, F5 material number
typedef LONG (*PFN_BRIGHTWORK_WRITETEXT)(const char* text);  // F6 serial, F7 material number

// F4 and F5 fill a caller's buffer that is zero-filled and one byte longer than the driver's
// byte count: 11 bytes for the serial number, 14 for the material number.
constexpr size_t kSerialNumberBufferSize = 11;
constexpr size_t kMaterialNumberBufferSize = 14;
