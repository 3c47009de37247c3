// UTF-8 / UTF-16 conversion for the layer's own use (file names, environment values), on top of
// the layer's MultiByteToWideChar and WideCharToMultiByte: invalid input becomes U+FFFD.
#pragma once

#include <windows.h>

#include <string>

namespace norn::platform {

inline std::string Utf8FromWide(const WCHAR* text) {
    if (text == nullptr || text[0] == 0) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size) - 1);
    return out;
}

inline std::u16string WideFromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    if (size <= 0) return {};
    std::u16string out(static_cast<size_t>(size), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, out.data(), size);
    return out;
}

}  // namespace norn::platform
