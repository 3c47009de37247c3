// Test support of the Linux platform layer: counts and fault injection that tests use to see
// that every allocation is released and every allocation failure is survived. Not part of the
// Windows API; nothing in the module calls it.
#pragma once

#include <windows.h>

// BSTRs allocated through this layer and not yet freed, process-wide.
NORN_PLATFORM_API LONG NornLiveBstrCount();

// Event sources registered through this layer and not yet deregistered, process-wide.
NORN_PLATFORM_API LONG NornLiveEventSourceCount();

// Makes the nth allocation from now (1 = the next one) of BSTR, task or local memory fail, once;
// 0 turns injection off.
NORN_PLATFORM_API void NornFailPlatformAllocation(LONG nth);
