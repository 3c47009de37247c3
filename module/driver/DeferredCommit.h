// The deferred-commit batch. Two module-wide flags, owned here and reached only through these
// functions; plain variables without a lock, since the host calls one operation at a time:
//   - DeferredCommit: a batch is open. Entry 29 opens one and entry 30 ends it; the restore
//     opens a batch of its own and clears the flag on every way out.
//   - CommitPending: a block was written in the open batch and is not committed yet.
// Block writers commit at once outside a batch and only note the pending commit inside one.
#pragma once

#include <norn/MeasurementDriver.h>

#include "errors/Checks.h"

[[nodiscard]] bool IsDeferredCommit() noexcept;
[[nodiscard]] bool IsCommitPending() noexcept;

// The restore sets DeferredCommit around its own batch.
void SetDeferredCommit(bool open) noexcept;

// Both flags clear, as the module has them at load.
void ResetDeferredCommitForTests() noexcept;

// Entry 29: opens a batch with nothing pending. False, with the open batch left untouched, when
// a batch is open already.
[[nodiscard]] bool OpenDeferredCommit() noexcept;

// Entry 30's work: the one commit of the batch, when a block was written in it. A failed HRESULT
// or a missing interface leaves both flags as they were, so that the host may try again (the
// missing interface gives 1 after the lookup's own report); a nonzero status still ends the
// batch and is then raised.
LONG CommitDeferredWrites();

// A block writer's commit: at once, a failed call raised at commitCall and a nonzero status at
// commitStatus, or, while a batch is open, only noted as pending.
void CommitOrDefer(IEEPROMControl* control, CFailurePoint commitCall, CFailurePoint commitStatus);
