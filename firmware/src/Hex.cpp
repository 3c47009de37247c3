#include "norn/firmware/Hex.h"

#include <stdexcept>

namespace norn::firmware {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string ToHex(std::string_view bytes, std::string_view separator) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * (2 + separator.size()));
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) hex += separator;
        const auto byte = static_cast<unsigned char>(bytes[i]);
        hex += digits[byte >> 4];
        hex += digits[byte & 0x0F];
    }
    return hex;
}

std::string ToHex(const std::vector<BYTE>& bytes, std::string_view separator) {
    return ToHex(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                 separator);
}

std::string FromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) throw std::runtime_error("odd number of hex digits");
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]);
        const int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) throw std::runtime_error("not a hex digit");
        bytes += static_cast<char>(high << 4 | low);
    }
    return bytes;
}

}  // namespace norn::firmware
