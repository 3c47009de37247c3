// COM start-up per thread, task memory, the Running Object Table and item monikers.
#pragma once

#include "objidl.h"

enum COINIT {
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_MULTITHREADED = 0x0,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8,
};

// Tracked per thread: the first call on a thread gives S_OK, further ones S_FALSE, a call with
// the other threading model RPC_E_CHANGED_MODE. Every successful call needs one CoUninitialize.
WINOLEAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
NORN_PLATFORM_API void STDAPICALLTYPE CoUninitialize();

NORN_PLATFORM_API LPVOID STDAPICALLTYPE CoTaskMemAlloc(SIZE_T cb);
NORN_PLATFORM_API void STDAPICALLTYPE CoTaskMemFree(LPVOID pv);

// Process-wide and thread-safe. Fails with CO_E_NOTINITIALIZED on a thread without COM.
WINOLEAPI GetRunningObjectTable(DWORD reserved, IRunningObjectTable** pprot);
WINOLEAPI CreateItemMoniker(LPCOLESTR lpszDelim, LPCOLESTR lpszItem, IMoniker** ppmk);
