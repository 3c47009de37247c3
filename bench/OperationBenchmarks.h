// The benchmarks of the module's host operations, each registered twice: the operation through
// the module, and its floor, the same file system work and block image copies done directly.
#pragma once

namespace norn::bench {

void RegisterOperationBenchmarks();

}  // namespace norn::bench
