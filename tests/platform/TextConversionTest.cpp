// UTF-8 <-> UTF-16 conversion with the Windows size and error conventions.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>

namespace {

// "Zürich €𝄞": two-, three- and four-byte UTF-8, the last one a surrogate pair in UTF-16.
const char kUtf8[] = "Z\xC3\xBCrich \xE2\x82\xAC\xF0\x9D\x84\x9E";
const WCHAR kUtf16[] = u"Z\u00FCrich \u20AC\xD834\xDD1E";

std::u16string ToWide(const std::string& text, DWORD flags = 0) {
    WCHAR buffer[64];
    const int count =
        MultiByteToWideChar(CP_UTF8, flags, text.data(), static_cast<int>(text.size()), buffer, 64);
    return std::u16string(buffer, count > 0 ? count : 0);
}

std::string ToNarrow(const std::u16string& text) {
    char buffer[64];
    const int count = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          buffer, 64, nullptr, nullptr);
    return std::string(buffer, count > 0 ? count : 0);
}

TEST(TextConversion, ConvertsNonBmpTextAndReplacesMalformedInput) {
    EXPECT_EQ(ToWide(kUtf8), kUtf16);
    EXPECT_EQ(ToNarrow(kUtf16), kUtf8);
    const std::pair<std::string, std::u16string> malformed[] = {
        {"a\x80z", u"a\uFFFDz"},                            // stray continuation byte
        {"\xE2\x82x", u"\uFFFDx"},                          // truncated sequence counts once
        {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong encoding
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
    };
    for (const auto& [utf8, utf16] : malformed) EXPECT_EQ(ToWide(utf8), utf16) << utf8;
    const std::pair<std::u16string, std::string> loneSurrogates[] = {{u"a\xD800", "a\xEF\xBF\xBD"},
                                                                     {u"\xDC00z", "\xEF\xBF\xBDz"},
                                                                     {u"\xD834x", "\xEF\xBF\xBDx"}};
    for (const auto& [utf16, utf8] : loneSurrogates) EXPECT_EQ(ToNarrow(utf16), utf8) << utf8;
    SetLastError(0);
    EXPECT_EQ(ToWide("ok\xC3", MB_ERR_INVALID_CHARS), u"");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

// -1 counts the terminator; a buffer one too small fails rather than truncating.
TEST(TextConversion, SizesCountTheTerminatorAndTooSmallFails) {
    WCHAR wide[11];
    std::fill(wide, wide + 11, u'#');
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, wide, 11), 3);
    EXPECT_EQ(wide[3], u'#');
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, kUtf8, -1, nullptr, 0), 11);
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, kUtf8, -1, wide, 10), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, kUtf8, -1, wide, 11), 11);
    EXPECT_EQ(std::u16string(wide), kUtf16);

    char narrow[16];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, kUtf16, -1, nullptr, 0, nullptr, nullptr), 16);
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, kUtf16, -1, narrow, 15, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, kUtf16, -1, narrow, 16, nullptr, nullptr), 16);
    EXPECT_STREQ(narrow, kUtf8);
}

TEST(TextConversion, InvalidArgumentsFailWithInvalidParameter) {
    WCHAR wide[4];
    const std::tuple<UINT, const char*, int> cases[] = {
        {CP_UTF8, nullptr, -1}, {CP_UTF8, "abc", 0}, {1252, "abc", -1}};
    for (const auto& [codePage, input, length] : cases) {
        SetLastError(0);
        EXPECT_EQ(MultiByteToWideChar(codePage, 0, input, length, wide, 4), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    // UTF-8 takes no default character.
    char narrow[8];
    BOOL used = TRUE;
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", -1, narrow, 8, "?", nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", -1, narrow, 8, nullptr, &used), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"a", -1, narrow, 8, nullptr, &used), 2);
    EXPECT_FALSE(used);
}

}  // namespace
