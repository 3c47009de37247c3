#include "host/TableEntries.h"

#include "driver/DeferredCommit.h"
#include "reports/OperationGuard.h"

// Entries 11 to 19 read nothing but the values they clear, and touch no state.
HRESULT NotImplemented() {
    return E_NOTIMPL;
}

HRESULT NotImplemented13(LONG* cleared) {
    *cleared = 0;
    return E_NOTIMPL;
}

HRESULT NotImplemented15(void*, LONG* cleared) {
    *cleared = 0;
    return E_NOTIMPL;
}

HRESULT NotImplemented18(void*, void*, LONG* cleared) {
    *cleared = 0;
    return E_NOTIMPL;
}

HRESULT NotImplemented19(LONG* cleared1, LONG* cleared2) {
    *cleared1 = 0;
    *cleared2 = 0;
    return E_NOTIMPL;
}

// Buffers handed to the host come from new[]; this is their only way back. The signature is the
// method table's, as hosts call it.
LONG ReleaseBuffer(LONG, BYTE* buffer) {  // NOLINT(readability-non-const-parameter)
    delete[] buffer;
    return 0;
}

// A second open is refused without touching the open batch.
HRESULT BeginDeferredCommit() {
    return OpenDeferredCommit() ? S_OK : E_FAIL;
}

LONG EndDeferredCommit() {
    return RunGuarded<LONG>("D31", 1, CommitDeferredWrites);
}
