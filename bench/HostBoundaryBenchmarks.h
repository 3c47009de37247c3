// The benchmarks of the module's fixed costs at its boundary: one reported failure, with and
// without an error manager to report to, and one load and unload of the library.
#pragma once

namespace norn::bench {

// The load benchmarks must run before anything else loads the module; register them first.
void RegisterLoadBenchmarks();
void RegisterErrorPathBenchmarks();

}  // namespace norn::bench
