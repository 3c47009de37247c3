#include "driver/DeferredCommit.h"

#include "driver/DriverAccess.h"
#include "errors/Checks.h"

namespace {

bool g_deferredCommit = false;  // a batch is open
bool g_commitPending = false;   // a block was written in the open batch and not committed yet

// CommitDeferredWrites' failure points.
constexpr struct {
    CFailurePoint commitCall = ModuleLine(2437);
    CFailurePoint commitStatus = ModuleLine(2446);
} kBatchCommit{};

}  // namespace

bool IsDeferredCommit() noexcept {
    return g_deferredCommit;
}

bool IsCommitPending() noexcept {
    return g_commitPending;
}

void SetDeferredCommit(bool open) noexcept {
    g_deferredCommit = open;
}

void ResetDeferredCommitForTests() noexcept {
    g_deferredCommit = false;
    g_commitPending = false;
}

bool OpenDeferredCommit() noexcept {
    if (g_deferredCommit) return false;
    g_deferredCommit = true;
    g_commitPending = false;
    return true;
}

LONG CommitDeferredWrites() {
    LONG status = 0;
    if (g_deferredCommit) {
        if (g_commitPending) {
            auto control = GetDriverInterface<IEEPROMControl>();
            if (!control) return 1;  // the lookup has reported; nothing of our own
            ThrowIfFailed(CommitBlockWrites(control.Get(), &status), kBatchCommit.commitCall);
            g_commitPending = false;
        }
        g_deferredCommit = false;
    }
    // Checked apart from the call: the batch ends before a nonzero status is raised.
    if (status != 0) ThrowFail(kBatchCommit.commitStatus);
    return 0;
}

void CommitOrDefer(IEEPROMControl* control, CFailurePoint commitCall, CFailurePoint commitStatus) {
    if (g_deferredCommit) {
        g_commitPending = true;
        return;
    }
    LONG status = 0;
    ThrowIfCallFailed(CommitBlockWrites(control, &status), status, commitCall, commitStatus);
}
