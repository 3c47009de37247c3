// Every allocation that the platform layer hands to a caller (BSTR, task memory, local memory)
// asks here first, so that tests can make any one of them fail.
#pragma once

namespace norn::platform {

// False when the fault injection of NornFailPlatformAllocation picks this allocation.
[[nodiscard]] bool AllocationAllowed() noexcept;

}  // namespace norn::platform
