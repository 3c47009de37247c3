#include "host/TableEntries.h"

#include "driver/DriverAccess.h"
#include "errors/Checks.h"
#include "errors/OperationGuard.h"
#include "host/DeferredCommitFlags.h"

bool DeferredCommit = false;
bool CommitPending = false;

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

// Buffers handed to the host come from new[]; this is their only way back.
LONG ReleaseBuffer(LONG, BYTE* buffer) {
    delete[] buffer;
    return 0;
}

// A second open is refused without touching the open batch.
HRESULT BeginDeferredCommit() {
    if (DeferredCommit) return E_FAIL;
    DeferredCommit = true;
    CommitPending = false;
    return S_OK;
}

namespace {

// The one commit of a batch. A failed HRESULT or a missing interface leaves both flags as they
// were, so the host may try again; a nonzero status still ends the batch and is then raised.
LONG CommitDeferredWrites() {
    LONG status = 0;
    if (DeferredCommit) {
        if (CommitPending) {
            auto control = GetDriverInterface<IEEPROMControl>();
            if (!control) return 1;  // the lookup has reported; nothing of our own
            ThrowIfFailed(control->SetEEPROMMode(2, 1, &status), kModuleSourceFile, 2437);
            CommitPending = false;
        }
        DeferredCommit = false;
    }
    if (status != 0) ThrowFail(kModuleSourceFile, 2446);
    return 0;
}

}  // namespace

LONG EndDeferredCommit() {
    return RunGuarded<LONG>("D31", 1, CommitDeferredWrites);
}
