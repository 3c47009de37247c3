// UTF-8 <-> UTF-16 conversion with the Windows size and error conventions.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include "support/ApiUnderTest.h"

using norn::test::OleString;

namespace {

// "Zürich €𝄞": two-, three- and four-byte UTF-8, the last one a surrogate pair in UTF-16.
const char kUtf8[] = "Z\xC3\xBCrich \xE2\x82\xAC\xF0\x9D\x84\x9E";
const WCHAR kUtf16[] = OLESTR("Z\u00FCrich \u20AC\xD834\xDD1E");

OleString ToWide(const std::string& text) {
    WCHAR buffer[64];
    const int count =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), buffer, 64);
    return OleString(buffer, count > 0 ? count : 0);
}

std::string ToNarrow(const OleString& text) {
    char buffer[64];
    const int count = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          buffer, 64, nullptr, nullptr);
    return std::string(buffer, count > 0 ? count : 0);
}

// Malformed UTF-8 gives U+FFFD once for each maximal ill-formed sequence, a lone surrogate one
// U+FFFD in UTF-8.
TEST(TextConversion, ConvertsNonBmpTextAndReplacesMalformedInput) {
    const std::pair<std::string, OleString> toWide[] = {
        {kUtf8, kUtf16},
        {"a\x80z", OLESTR("a\uFFFDz")},        // stray continuation byte
        {"\xE2\x82x", OLESTR("\uFFFDx")},      // truncated sequence counts once
        {"\xC0\xAF", OLESTR("\uFFFD\uFFFD")},  // overlong encoding
    };
    for (const auto& [utf8, utf16] : toWide) EXPECT_EQ(ToWide(utf8), utf16) << utf8;
    const std::pair<OleString, std::string> toNarrow[] = {{kUtf16, kUtf8},
                                                          {OLESTR("a\xD800"), "a\xEF\xBF\xBD"},
                                                          {OLESTR("\xDC00z"), "\xEF\xBF\xBDz"},
                                                          {OLESTR("\xD834x"), "\xEF\xBF\xBDx"}};
    for (const auto& [utf16, utf8] : toNarrow) EXPECT_EQ(ToNarrow(utf16), utf8) << utf8;
}

// A negative length, not only -1, counts the terminator; a buffer one too small fails rather than
// truncating.
TEST(TextConversion, SizesCountTheTerminatorAndTooSmallFails) {
    WCHAR wide[11];
    std::fill(wide, wide + 11, OLESTR('#'));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, wide, 11), 3);
    EXPECT_EQ(wide[3], OLESTR('#'));
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, kUtf8, -1, wide, 10), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, kUtf8, -1, wide, 11), 11);
    EXPECT_EQ(OleString(wide), kUtf16);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, kUtf8, -2002, nullptr, 0), 11);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, kUtf16, -2002, nullptr, 0, nullptr, nullptr), 16);

    char narrow[16];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, kUtf16, -1, nullptr, 0, nullptr, nullptr), 16);
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, kUtf16, -1, narrow, 15, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, kUtf16, -1, narrow, 16, nullptr, nullptr), 16);
    EXPECT_STREQ(narrow, kUtf8);
}

// The layer's ANSI code page, the one the module converts with, is UTF-8; Windows' is the
// system's.
TEST(TextConversion, LayerAnsiCodePageIsUtf8) {
    NORN_LINUX_LAYER_ONLY("Windows has an ANSI code page of its own");
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, kUtf8, -1, nullptr, 0), 11);
}

// A null input or a zero length fails with ERROR_INVALID_PARAMETER.
TEST(TextConversion, InvalidArgumentsFail) {
    WCHAR wide[4];
    for (const auto& [input, length] : {std::pair<const char*, int>{nullptr, -1}, {"abc", 0}}) {
        SetLastError(0);
        EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, input, length, wide, 4), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << length;
    }
}

}  // namespace
