// Whether the calling thread has joined COM (CoInitializeEx without its last CoUninitialize).
#pragma once

namespace norn::platform {
bool IsComInitializedOnThisThread() noexcept;
}
