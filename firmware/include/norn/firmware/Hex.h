// Bytes as hex text and back: the one encoder of the simulated instrument's state file, the
// SHA-256 checksums and the service tool's output (payloads, block headers, MAC addresses).
// Lower-case digits, two per byte, in the bytes' order; the tool's output and its JSON contract
// depend on exactly this form.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace norn::firmware {

// Each byte as two lower-case hex digits, the separator between two bytes ("" for none).
std::string ToHex(std::string_view bytes, std::string_view separator = {});
std::string ToHex(const std::vector<BYTE>& bytes, std::string_view separator = {});

// The bytes that hex text without separators spells (either case). Throws std::runtime_error
// for an odd number of digits or anything that is not a hex digit.
std::string FromHex(std::string_view hex);

}  // namespace norn::firmware
