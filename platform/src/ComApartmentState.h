// Whether the calling thread may use COM: it has joined (CoInitializeEx without its last
// CoUninitialize), or some thread of the process is in the multithreaded apartment, to which a
// thread that never joined belongs implicitly.
#pragma once

namespace norn::platform {
[[nodiscard]] bool IsComUsableOnThisThread() noexcept;
}
