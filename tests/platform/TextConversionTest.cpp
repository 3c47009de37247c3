// UTF-8 <-> UTF-16 conversion with the Windows size and error conventions.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

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

TEST(MultiByteToWideChar, ConvertsNonAsciiAndNonBmpText) {
    EXPECT_EQ(ToWide(kUtf8), kUtf16);
    EXPECT_EQ(ToNarrow(kUtf16), kUtf8);
}

TEST(MultiByteToWideChar, MinusOneLengthCountsTheTerminatorAndTooSmallFails) {
    WCHAR buffer[11];
    std::fill(buffer, buffer + 11, u'#');
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, buffer, 11), 3);
    EXPECT_EQ(buffer[3], u'#');
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, kUtf8, -1, nullptr, 0), 11);
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, kUtf8, -1, buffer, 10), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, kUtf8, -1, buffer, 11), 11);
    EXPECT_EQ(std::u16string(buffer), kUtf16);
}

TEST(MultiByteToWideChar, MalformedSequencesBecomeReplacementCharacters) {
    const struct {
        const char* m_input;
        std::u16string m_expected;
    } cases[] = {
        {"a\x80"
         "b",
         u"a\uFFFDb"},                                      // stray continuation byte
        {"\xE2\x82x", u"\uFFFDx"},                          // truncated sequence counts once
        {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong encoding
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
    };
    for (const auto& c : cases) EXPECT_EQ(ToWide(c.m_input), c.m_expected) << c.m_input;
    SetLastError(0);
    EXPECT_EQ(ToWide("ok\xC3", MB_ERR_INVALID_CHARS), u"");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(MultiByteToWideChar, InvalidArgumentsFailWithInvalidParameter) {
    WCHAR buffer[4];
    const struct {
        UINT m_codePage;
        const char* m_input;
        int m_length;
    } cases[] = {{CP_UTF8, nullptr, -1}, {CP_UTF8, "abc", 0}, {1252, "abc", -1}};
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_EQ(MultiByteToWideChar(c.m_codePage, 0, c.m_input, c.m_length, buffer, 4), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
}

TEST(WideCharToMultiByte, LoneSurrogatesBecomeReplacementCharacters) {
    EXPECT_EQ(ToNarrow(u"a\xD800"), "a\xEF\xBF\xBD");
    EXPECT_EQ(ToNarrow(u"\xDC00z"), "\xEF\xBF\xBDz");
    EXPECT_EQ(ToNarrow(u"\xD834x"), "\xEF\xBF\xBDx");
}

TEST(WideCharToMultiByte, TooSmallBufferFailsWithoutSplittingACharacter) {
    char buffer[16];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, kUtf16, -1, nullptr, 0, nullptr, nullptr), 16);
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, kUtf16, -1, buffer, 15, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, kUtf16, -1, buffer, 16, nullptr, nullptr), 16);
    EXPECT_STREQ(buffer, kUtf8);
}

TEST(WideCharToMultiByte, Utf8RefusesDefaultCharacterArguments) {
    char buffer[8];
    BOOL used = TRUE;
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", -1, buffer, 8, "?", nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", -1, buffer, 8, nullptr, &used), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"a", -1, buffer, 8, nullptr, &used), 2);
    EXPECT_FALSE(used);
}

}  // namespace
