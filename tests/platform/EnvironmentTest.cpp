// Environment variables with the Windows return conventions and case-insensitive names.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include "support/ApiUnderTest.h"

using norn::test::OleString;

namespace {

constexpr DWORD kSentinelError = 0x5EED;

// The length when value and terminator fit, else the size needed with the buffer untouched; the
// name matches whatever its case. The variable is the test's own, removed again at its end.
TEST(Environment, GetReturnsTheLengthOrTheSizeNeeded) {
    const struct {
        const WCHAR* name;  // the variable set is NORN_TEST_VALUE
        std::optional<std::string> value;
        DWORD size;
        DWORD result;
        DWORD error;
        OleString buffer;  // all of it afterwards
        DWORD needed;      // the result without a buffer
    } cases[] = {
        {OLESTR("NORN_TEST_VALUE"), std::string(99, 'r'), 100, 99, kSentinelError,
         OleString(99, OLESTR('r')) + OLESTR('\0'), 100},
        {OLESTR("NORN_TEST_VALUE"), std::string(100, 'r'), 100, 101, kSentinelError,
         OleString(100, OLESTR('#')), 101},
        {OLESTR("NORN_TEST_VALUE"), std::nullopt, 8, 0, ERROR_ENVVAR_NOT_FOUND,
         OleString(8, OLESTR('#')), 0},
        {OLESTR("NORN_TEST_VALUE"), "", 8, 0, kSentinelError,
         OLESTR('\0') + OleString(7, OLESTR('#')), 1},
        {OLESTR("norn_Test_Value"), "mixed", 8, 5, kSentinelError,
         OLESTR("mixed") + OleString(1, OLESTR('\0')) + OLESTR("##"), 6},
    };
    for (const auto& c : cases) {
        if (c.value) {
            norn::test::SetVariable("NORN_TEST_VALUE", c.value->c_str());
        } else {
            norn::test::UnsetVariable("NORN_TEST_VALUE");
        }
        OleString buffer(c.size, OLESTR('#'));
        SetLastError(kSentinelError);
        EXPECT_EQ(GetEnvironmentVariableW(c.name, buffer.data(), c.size), c.result);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(buffer, c.buffer);
        EXPECT_EQ(GetEnvironmentVariableW(c.name, nullptr, 0), c.needed);
    }
    norn::test::UnsetVariable("NORN_TEST_VALUE");
}

}  // namespace
