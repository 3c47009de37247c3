// SHA-256 of a byte string, as lower-case hex: the checksum of the simulated instrument's state
// file and of the service tool's backup sets.
#pragma once

#include <string>
#include <string_view>

namespace norn::firmware {

std::string Sha256Hex(std::string_view bytes);

}  // namespace norn::firmware
