// Environment variables with the Windows return conventions and case-insensitive names.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace {

constexpr DWORD kSentinelError = 0x5EED;

// Every variable the tests set is their own and removed afterwards.
class Environment : public ::testing::Test {
protected:
    void TearDown() override {
        for (const char* name : {"NORN_TEST_VALUE", "Norn_Test_Mixed", "NORN_TEST_TWICE",
                                 "norn_test_twice", "NORN_TEST_SPELLING", "norn_test_spelling"}) {
            unsetenv(name);
        }
    }
};

// The length when value and terminator fit, else the size needed with the buffer untouched.
TEST_F(Environment, GetReturnsTheLengthOrTheSizeNeeded) {
    const struct {
        std::optional<std::string> value;
        DWORD size;
        DWORD result;
        DWORD error;
        std::u16string buffer;  // all of it afterwards
        DWORD needed;           // the result without a buffer
    } cases[] = {
        {std::string(99, 'r'), 100, 99, kSentinelError, std::u16string(99, u'r') + u'\0', 100},
        {std::string(100, 'r'), 100, 101, kSentinelError, std::u16string(100, u'#'), 101},
        {std::nullopt, 8, 0, ERROR_ENVVAR_NOT_FOUND, std::u16string(8, u'#'), 0},
        {"", 8, 0, ERROR_SUCCESS, u'\0' + std::u16string(7, u'#'), 1},
    };
    for (const auto& c : cases) {
        if (c.value) {
            setenv("NORN_TEST_VALUE", c.value->c_str(), 1);
        } else {
            unsetenv("NORN_TEST_VALUE");
        }
        std::u16string buffer(c.size, u'#');
        SetLastError(kSentinelError);
        EXPECT_EQ(GetEnvironmentVariableW(u"NORN_TEST_VALUE", buffer.data(), c.size), c.result);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(buffer, c.buffer);
        EXPECT_EQ(GetEnvironmentVariableW(u"NORN_TEST_VALUE", nullptr, 0), c.needed);
    }
}

TEST_F(Environment, GetMatchesNamesIgnoringCaseButExactSpellingWins) {
    setenv("Norn_Test_Mixed", "mixed", 1);
    setenv("NORN_TEST_TWICE", "upper", 1);
    setenv("norn_test_twice", "lower", 1);
    for (const auto& [name, value] : {std::pair{u"NORN_TEST_MIXED", u"mixed"},
                                      {u"norn_test_twice", u"lower"},
                                      {u"NORN_TEST_TWICE", u"upper"}}) {
        WCHAR buffer[16];
        EXPECT_EQ(GetEnvironmentVariableW(name, buffer, 16), 5u);
        EXPECT_EQ(std::u16string(buffer), value);
    }
}

TEST_F(Environment, NonAsciiValueRoundTripsThroughUtf8) {
    const WCHAR value[] = u"/srv/Z\u00FCrich/\xD834\xDD1E";
    ASSERT_TRUE(SetEnvironmentVariableW(u"NORN_TEST_VALUE", value));
    EXPECT_STREQ(std::getenv("NORN_TEST_VALUE"), "/srv/Z\xC3\xBCrich/\xF0\x9D\x84\x9E");
    WCHAR buffer[32];
    EXPECT_EQ(GetEnvironmentVariableW(u"NORN_TEST_VALUE", buffer, 32), 14u);
    EXPECT_EQ(std::u16string(buffer), value);
}

TEST_F(Environment, SetFollowsTheStoredSpellingAndRejectsBadNames) {
    setenv("NORN_TEST_SPELLING", "old", 1);
    EXPECT_TRUE(SetEnvironmentVariableW(u"norn_test_spelling", u""));
    EXPECT_STREQ(std::getenv("NORN_TEST_SPELLING"), "");
    EXPECT_EQ(std::getenv("norn_test_spelling"), nullptr);
    EXPECT_TRUE(SetEnvironmentVariableW(u"Norn_Test_Spelling", nullptr));
    EXPECT_EQ(std::getenv("NORN_TEST_SPELLING"), nullptr);
    for (const WCHAR* name : {u"NORN=TEST", u"", static_cast<const WCHAR*>(nullptr)}) {
        SetLastError(0);
        EXPECT_FALSE(SetEnvironmentVariableW(name, u"v"));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
}

}  // namespace
