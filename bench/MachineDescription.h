// One line that says what a measurement was taken on: processor, cores, memory, kernel, the file
// system under the service data root, and the compiler.
#pragma once

#include <string>

namespace norn::bench {

std::string MachineDescription(const std::string& dataDirectory);

}  // namespace norn::bench
