// The C runtime functions of the platform layer: _ultow, _chmod and the WCHAR string functions.
#include <windows.h>
#include <io.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>
#include "support/ApiUnderTest.h"

using norn::test::OleString;

namespace {

TEST(_ultow, WritesUnsignedDigitsWithoutSignOrPadding) {
    const std::tuple<ULONG, int, OleString> cases[] = {
        {0, 10, OLESTR("0")},
        {4294967295u, 10, OLESTR("4294967295")},
        {0x80000000u, 10, OLESTR("2147483648")},  // no sign even with the top bit set
        {0xDEADBEEFu, 16, OLESTR("deadbeef")},
        {4294967295u, 2, OleString(32, OLESTR('1'))},
        {35, 36, OLESTR("z")},
    };
    for (const auto& [value, radix, expected] : cases) {
        WCHAR buffer[40];
        std::fill(buffer, buffer + 40, OLESTR('#'));
        EXPECT_EQ(_ultow(value, buffer, radix), buffer);
        EXPECT_EQ(OleString(buffer), expected) << value << " radix " << radix;
    }
}

TEST(_ultow, LayerGivesAnEmptyTextForARadixOutOfRange) {
    NORN_LINUX_LAYER_ONLY("Windows' runtime calls the invalid parameter handler (msvcrt loops)");
    for (const int radix : {1, 37}) {
        WCHAR buffer[4] = {OLESTR('#'), OLESTR('#'), OLESTR('#'), 0};
        EXPECT_EQ(_ultow(7, buffer, radix), buffer);
        EXPECT_EQ(OleString(buffer), OLESTR("")) << radix;
    }
}

// Without _S_IWRITE a file becomes read-only, with it writable again: the read-only attribute on
// Windows, the owner's write bit under the layer, which takes every write bit away and gives the
// owner read and write back, leaving the other bits alone.
TEST(_chmod, TakesAwayAndGivesBackTheWritePermission) {
    const std::string path = testing::TempDir() + "norn_chmod_test";
    std::ofstream(path) << "x";
    const std::tuple<mode_t, int, mode_t> cases[] = {{0676, _S_IREAD, 0454},
                                                     {0004, _S_IWRITE, 0604},
                                                     {0604, _S_IREAD, 0404},
                                                     {0404, _S_IREAD | _S_IWRITE, 0604}};
    for (const auto& [before, flags, after] : cases) {
        if (norn::test::kLinuxLayer) {
            ASSERT_EQ(chmod(path.c_str(), before), 0);
        }
        EXPECT_EQ(_chmod(path.c_str(), flags), 0);
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & _S_IWRITE, after & _S_IWRITE) << flags;
        if (norn::test::kLinuxLayer) {
            EXPECT_EQ(info.st_mode & 0777, after) << std::oct << before;
        }
    }
    std::remove(path.c_str());
    errno = 0;
    EXPECT_EQ(_chmod(path.c_str(), _S_IWRITE), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST(WideStrings, CompareByUnsignedCodeUnitCopyAndPad) {
    EXPECT_EQ(wcsnlen(OLESTR("Brightwork"), 4), 4u);
    EXPECT_EQ(wcsnlen(OLESTR("ab"), 4), 2u);
    EXPECT_LT(wcscmp(OLESTR("ab"), OLESTR("abc")), 0);
    EXPECT_GT(wcscmp(OLESTR("\xFFFF"), OLESTR("a")), 0);
    EXPECT_EQ(wcsncmp(OLESTR("abcX"), OLESTR("abcY"), 3), 0);
    EXPECT_LT(wcsncmp(OLESTR("abcX"), OLESTR("abcY"), 4), 0);
    const WCHAR* text = OLESTR("a,b");
    EXPECT_EQ(wcschr(text, OLESTR(',')), text + 1);
    EXPECT_EQ(wcschr(text, OLESTR('x')), nullptr);
    EXPECT_EQ(wcschr(text, 0), text + 3);
    WCHAR buffer[8];
    std::fill(buffer, buffer + 8, OLESTR('#'));
    EXPECT_EQ(wcsncpy(buffer, OLESTR("ab"), 5), buffer);
    EXPECT_EQ(OleString(buffer, 6), OleString(OLESTR("ab\0\0\0#"), 6)) << "padded with zeros";
    std::fill(buffer, buffer + 8, OLESTR('#'));
    wcsncpy(buffer, OLESTR("abcdef"), 3);
    EXPECT_EQ(OleString(buffer, 4), OLESTR("abc#")) << "not terminated";
    EXPECT_EQ(wcscpy(buffer, OLESTR("xy")), buffer);
    EXPECT_EQ(OleString(buffer), OLESTR("xy"));
}

// The difference of the first lower-cased characters that differ; the "C" locale folds A to Z
// only, not Latin-1.
TEST(_wcsicmp, ReturnsTheDifferenceOfTheLowerCasedCharacters) {
    const std::tuple<const WCHAR*, const WCHAR*, int> cases[] = {
        {OLESTR("Brightwork"), OLESTR("BRIGHTWORK"), 0},
        {OLESTR("Analyzer"), OLESTR("ANALYZER"), 0},
        {OLESTR("A"), OLESTR("["), 'a' - '['},
        {OLESTR("abc"), OLESTR("ABD"), -1},
        {OLESTR("abc"), OLESTR("AB"), 'c'},
        {OLESTR("\u00C0"), OLESTR("\u00D7"), 0xC0 - 0xD7},
        {OLESTR("\u00C4"), OLESTR("\u00E4"), 0xC4 - 0xE4},
    };
    for (const auto& [left, right, expected] : cases) EXPECT_EQ(_wcsicmp(left, right), expected);
}

TEST(wcstok_s, SkipsEmptyPiecesAndKeepsStateInTheContext) {
    WCHAR first[] = OLESTR(",,alpha, beta,,gamma ,");
    WCHAR second[] = OLESTR("x;y");
    WCHAR* context = nullptr;
    WCHAR* otherContext = nullptr;
    // Two tokenisations at once do not disturb each other.
    EXPECT_EQ(OleString(wcstok_s(second, OLESTR(";"), &otherContext)), OLESTR("x"));
    std::vector<OleString> tokens;
    for (WCHAR* t = wcstok_s(first, OLESTR(", "), &context); t != nullptr;
         t = wcstok_s(nullptr, OLESTR(", "), &context)) {
        tokens.push_back(t);
    }
    EXPECT_EQ(tokens, (std::vector<OleString>{OLESTR("alpha"), OLESTR("beta"), OLESTR("gamma")}));
    EXPECT_EQ(OleString(wcstok_s(nullptr, OLESTR(";"), &otherContext)), OLESTR("y"));
    EXPECT_EQ(wcstok_s(nullptr, OLESTR(";"), &otherContext), nullptr);
    WCHAR only[] = OLESTR(",,,");
    EXPECT_EQ(wcstok_s(only, OLESTR(","), &context), nullptr);
    if (norn::test::kLinuxLayer) {  // Windows calls the invalid parameter handler
        errno = 0;
        EXPECT_EQ(wcstok_s(first, OLESTR(","), nullptr), nullptr);
        EXPECT_EQ(errno, EINVAL);
    }
}

}  // namespace
