// The C runtime functions of the platform layer: _ultow, _chmod and the WCHAR string functions.
#include <windows.h>
#include <io.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

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
}

// wcsncpy pads a short source with zeros and leaves a long one unterminated.
TEST(wcsncpy, PadsAShortSourceAndLeavesALongOneUnterminated) {
    WCHAR buffer[8];
    std::fill(buffer, buffer + 8, OLESTR('#'));
    EXPECT_EQ(wcsncpy(buffer, OLESTR("ab"), 5), buffer);
    EXPECT_EQ(OleString(buffer, 6), OleString(OLESTR("ab\0\0\0#"), 6)) << "padded with zeros";
    std::fill(buffer, buffer + 8, OLESTR('#'));
    wcsncpy(buffer, OLESTR("abcdef"), 3);
    EXPECT_EQ(OleString(buffer, 4), OLESTR("abc#")) << "not terminated";
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
}

}  // namespace
