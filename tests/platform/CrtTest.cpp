// The C runtime functions of the platform layer: _ultow, _chmod and the WCHAR string functions.
#include <windows.h>
#include <io.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

namespace {

TEST(_ultow, WritesUnsignedDigitsWithoutSignOrPadding) {
    const std::tuple<ULONG, int, std::u16string> cases[] = {
        {0, 10, u"0"},
        {4294967295u, 10, u"4294967295"},
        {0x80000000u, 10, u"2147483648"},  // no sign even with the top bit set
        {0xDEADBEEFu, 16, u"deadbeef"},
        {4294967295u, 2, std::u16string(32, u'1')},
        {35, 36, u"z"},
        {7, 1, u""},
        {7, 37, u""},
    };
    for (const auto& [value, radix, expected] : cases) {
        WCHAR buffer[40];
        std::fill(buffer, buffer + 40, u'#');
        EXPECT_EQ(_ultow(value, buffer, radix), buffer);
        EXPECT_EQ(std::u16string(buffer), expected) << value << " radix " << radix;
    }
}

// Without _S_IWRITE every write bit goes and the rest stays; with it the owner gets read and write.
TEST(_chmod, MapsTheWriteFlagOntoModeBits) {
    char path[] = "/tmp/norn_chmod_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    const std::tuple<mode_t, int, mode_t> cases[] = {{0676, _S_IREAD, 0454},
                                                     {0004, _S_IWRITE, 0604},
                                                     {0604, _S_IREAD, 0404},
                                                     {0404, _S_IREAD | _S_IWRITE, 0604}};
    for (const auto& [before, flags, after] : cases) {
        ASSERT_EQ(chmod(path, before), 0);
        EXPECT_EQ(_chmod(path, flags), 0);
        struct stat info {};
        ASSERT_EQ(stat(path, &info), 0);
        EXPECT_EQ(info.st_mode & 0777, after) << std::oct << before << " " << flags;
    }
    unlink(path);
    errno = 0;
    EXPECT_EQ(_chmod(path, _S_IWRITE), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST(WideStrings, CompareByUnsignedCodeUnitCopyAndPad) {
    EXPECT_EQ(wcsnlen(u"Brightwork", 4), 4u);
    EXPECT_EQ(wcsnlen(u"ab", 4), 2u);
    EXPECT_LT(wcscmp(u"ab", u"abc"), 0);
    EXPECT_GT(wcscmp(u"\xFFFF", u"a"), 0);
    EXPECT_EQ(wcsncmp(u"abcX", u"abcY", 3), 0);
    EXPECT_LT(wcsncmp(u"abcX", u"abcY", 4), 0);
    const WCHAR* text = u"a,b";
    EXPECT_EQ(wcschr(text, u','), text + 1);
    EXPECT_EQ(wcschr(text, u'x'), nullptr);
    EXPECT_EQ(wcschr(text, 0), text + 3);
    WCHAR buffer[8];
    std::fill(buffer, buffer + 8, u'#');
    EXPECT_EQ(wcsncpy(buffer, u"ab", 5), buffer);
    EXPECT_EQ(std::u16string(buffer, 6), std::u16string(u"ab\0\0\0#", 6)) << "padded with zeros";
    std::fill(buffer, buffer + 8, u'#');
    wcsncpy(buffer, u"abcdef", 3);
    EXPECT_EQ(std::u16string(buffer, 4), u"abc#") << "not terminated";
    EXPECT_EQ(wcscpy(buffer, u"xy"), buffer);
    EXPECT_EQ(std::u16string(buffer), u"xy");
}

TEST(_wcsicmp, FoldsAsciiAndLatin1ToLowerCase) {
    const std::tuple<const WCHAR*, const WCHAR*, int> cases[] = {
        {u"Brightwork", u"BRIGHTWORK", 0},
        {u"\u00C4\u00D6\u00DC\u00DE", u"\u00E4\u00F6\u00FC\u00FE", 0},
        {u"\u00D7", u"\u00F7", -1},  // multiplication and division signs are not a pair
        {u"A", u"[", 1},             // compared as lower case: 'a' > '['
        {u"abc", u"ABD", -1},
        {u"abc", u"AB", 1},
    };
    for (const auto& [left, right, sign] : cases) {
        const int result = _wcsicmp(left, right);
        EXPECT_EQ((result > 0) - (result < 0), sign);
    }
}

TEST(wcstok_s, SkipsEmptyPiecesAndKeepsStateInTheContext) {
    WCHAR first[] = u",,alpha, beta,,gamma ,";
    WCHAR second[] = u"x;y";
    WCHAR* context = nullptr;
    WCHAR* otherContext = nullptr;
    // Two tokenisations at once do not disturb each other.
    EXPECT_EQ(std::u16string(wcstok_s(second, u";", &otherContext)), u"x");
    std::vector<std::u16string> tokens;
    for (WCHAR* t = wcstok_s(first, u", ", &context); t != nullptr;
         t = wcstok_s(nullptr, u", ", &context)) {
        tokens.push_back(t);
    }
    EXPECT_EQ(tokens, (std::vector<std::u16string>{u"alpha", u"beta", u"gamma"}));
    EXPECT_EQ(std::u16string(wcstok_s(nullptr, u";", &otherContext)), u"y");
    EXPECT_EQ(wcstok_s(nullptr, u";", &otherContext), nullptr);
    WCHAR only[] = u",,,";
    EXPECT_EQ(wcstok_s(only, u",", &context), nullptr);
    errno = 0;
    EXPECT_EQ(wcstok_s(first, u",", nullptr), nullptr);
    EXPECT_EQ(errno, EINVAL);
}

}  // namespace
