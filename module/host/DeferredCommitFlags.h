// The deferred-commit flags: module-wide, plain variables without a lock (the host calls one
// operation at a time). The batch entries and the restore set DeferredCommit; the block writers
// read it and set CommitPending instead of committing while a batch is open.
#pragma once

extern bool DeferredCommit;  // a batch is open
extern bool CommitPending;   // a block was written in the open batch and not committed yet
