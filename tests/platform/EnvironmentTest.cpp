// Environment variables with the Windows return conventions and case-insensitive names.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include "support/ApiUnderTest.h"

using norn::test::OleString;

namespace {

constexpr DWORD kSentinelError = 0x5EED;

// Every variable the tests set is their own and removed afterwards.
class Environment : public ::testing::Test {
protected:
    void TearDown() override {
        for (const char* name : {"NORN_TEST_VALUE", "NORN_TEST_TWICE", "norn_test_twice",
                                 "NORN_TEST_SPELLING", "norn_test_spelling"}) {
            norn::test::UnsetVariable(name);
        }
    }
};

// The length when value and terminator fit, else the size needed with the buffer untouched; the
// name matches whatever its case.
TEST_F(Environment, GetReturnsTheLengthOrTheSizeNeeded) {
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
}

// A POSIX environment can hold one name in two spellings; the exact one is taken then.
TEST_F(Environment, ExactSpellingWinsWhenTheEnvironmentHoldsTwo) {
    NORN_LINUX_LAYER_ONLY("a Windows environment cannot hold two spellings of one name");
    norn::test::SetVariable("NORN_TEST_TWICE", "upper");
    norn::test::SetVariable("norn_test_twice", "lower");
    for (const auto& [name, value] : {std::pair{OLESTR("norn_test_twice"), OLESTR("lower")},
                                      {OLESTR("NORN_TEST_TWICE"), OLESTR("upper")}}) {
        WCHAR buffer[16];
        EXPECT_EQ(GetEnvironmentVariableW(name, buffer, 16), 5u);
        EXPECT_EQ(OleString(buffer), value);
    }
}

// A value of any text is kept whole; a name that is empty or holds '=' is refused.
TEST_F(Environment, SetKeepsAnyTextButRefusesBadNames) {
    const WCHAR value[] = OLESTR("/srv/Z\u00FCrich/\xD834\xDD1E");
    ASSERT_TRUE(SetEnvironmentVariableW(OLESTR("NORN_TEST_VALUE"), value));
    WCHAR buffer[32];
    EXPECT_EQ(GetEnvironmentVariableW(OLESTR("NORN_TEST_VALUE"), buffer, 32), 14u);
    EXPECT_EQ(OleString(buffer), value);
    for (const WCHAR* name : {OLESTR("NORN=TEST"), OLESTR("")}) {
        SetLastError(0);
        EXPECT_FALSE(SetEnvironmentVariableW(name, OLESTR("v")));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    // Without a name Windows has answered either code (Wine: not found).
    SetLastError(0);
    EXPECT_FALSE(SetEnvironmentVariableW(nullptr, OLESTR("v")));
    const DWORD error = GetLastError();
    EXPECT_TRUE(error == ERROR_INVALID_PARAMETER || error == ERROR_ENVVAR_NOT_FOUND) << error;
}

// How the layer keeps the Windows view in the POSIX environment, which other code reads.
TEST_F(Environment, LayerKeepsUtf8AndTheStoredSpellingInThePosixEnvironment) {
    NORN_LINUX_LAYER_ONLY(
        "the C runtime's copy of the environment is not the Win32 one on Windows");
    const WCHAR value[] = OLESTR("/srv/Z\u00FCrich/\xD834\xDD1E");
    ASSERT_TRUE(SetEnvironmentVariableW(OLESTR("NORN_TEST_VALUE"), value));
    EXPECT_STREQ(std::getenv("NORN_TEST_VALUE"), "/srv/Z\xC3\xBCrich/\xF0\x9D\x84\x9E");
    norn::test::SetVariable("NORN_TEST_SPELLING", "old");
    EXPECT_TRUE(SetEnvironmentVariableW(OLESTR("norn_test_spelling"), OLESTR("")));
    EXPECT_STREQ(std::getenv("NORN_TEST_SPELLING"), "");
    EXPECT_EQ(std::getenv("norn_test_spelling"), nullptr);
    EXPECT_TRUE(SetEnvironmentVariableW(OLESTR("Norn_Test_Spelling"), nullptr));
    EXPECT_EQ(std::getenv("NORN_TEST_SPELLING"), nullptr);
}

}  // namespace
