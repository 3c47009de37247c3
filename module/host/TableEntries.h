// The operations that live in the method table itself and touch no service data file: entries
// 11 to 19, the buffer release (21) and the deferred-commit batch (29, 30). The payload entries 3
// to 6 are declared with the table, in host/MethodTable.h.
#pragma once

#include <windows.h>

HRESULT NotImplemented();
HRESULT NotImplemented13(LONG* cleared);
HRESULT NotImplemented15(void* unused, LONG* cleared);
HRESULT NotImplemented18(void* unused1, void* unused2, LONG* cleared);
HRESULT NotImplemented19(LONG* cleared1, LONG* cleared2);
LONG ReleaseBuffer(LONG ignored, BYTE* buffer);
HRESULT BeginDeferredCommit();
LONG EndDeferredCommit();
