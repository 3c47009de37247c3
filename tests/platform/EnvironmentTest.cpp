// Environment variables with the Windows return conventions and case-insensitive names.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr DWORD kSentinelError = 0x5EED;
constexpr WCHAR kSentinel = u'#';

// Remembers the variables a test touches and puts them back when it goes out of scope.
class CEnvironmentGuard {
public:
    CEnvironmentGuard() = default;
    ~CEnvironmentGuard() {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }
    void Set(const char* name, const std::string& value) {
        Remember(name);
        setenv(name, value.c_str(), 1);
    }
    void Remember(const char* name) {
        const char* value = std::getenv(name);
        m_saved.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST(GetEnvironmentVariableW, ValueOf99CharactersFitsA100CharacterBuffer) {
    CEnvironmentGuard environment;
    environment.Set("NORN_TEST_ROOT", std::string(99, 'r'));
    WCHAR buffer[100];
    std::fill(buffer, buffer + 100, kSentinel);
    EXPECT_EQ(GetEnvironmentVariableW(u"NORN_TEST_ROOT", buffer, 100), 99u);
    EXPECT_EQ(std::u16string(buffer), std::u16string(99, u'r'));
}

TEST(GetEnvironmentVariableW, ValueOf100CharactersNeeds101AndLeavesBufferAndErrorAlone) {
    CEnvironmentGuard environment;
    environment.Set("NORN_TEST_ROOT", std::string(100, 'r'));
    WCHAR buffer[100];
    std::fill(buffer, buffer + 100, kSentinel);
    SetLastError(kSentinelError);
    EXPECT_EQ(GetEnvironmentVariableW(u"NORN_TEST_ROOT", buffer, 100), 101u);
    EXPECT_EQ(GetLastError(), kSentinelError);
    EXPECT_EQ(std::u16string(buffer, 100), std::u16string(100, kSentinel));
    EXPECT_EQ(GetEnvironmentVariableW(u"NORN_TEST_ROOT", nullptr, 0), 101u);
}

TEST(GetEnvironmentVariableW, UnsetGivesEnvvarNotFoundButEmptyGivesSuccess) {
    CEnvironmentGuard environment;
    environment.Remember("NORN_TEST_UNSET");
    unsetenv("NORN_TEST_UNSET");
    environment.Set("NORN_TEST_EMPTY", "");
    WCHAR buffer[8] = u"keep";
    SetLastError(0);
    EXPECT_EQ(GetEnvironmentVariableW(u"NORN_TEST_UNSET", buffer, 8), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
    EXPECT_EQ(std::u16string(buffer), u"keep");
    EXPECT_EQ(GetEnvironmentVariableW(u"NORN_TEST_EMPTY", buffer, 8), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(GetEnvironmentVariableW(u"NORN_TEST_EMPTY", nullptr, 0), 1u);
}

TEST(GetEnvironmentVariableW, NameMatchesIgnoringCaseButExactSpellingWins) {
    CEnvironmentGuard environment;
    environment.Set("Norn_Test_Mixed", "mixed");
    environment.Set("NORN_TEST_TWICE", "upper");
    environment.Set("norn_test_twice", "lower");
    WCHAR buffer[16];
    EXPECT_EQ(GetEnvironmentVariableW(u"NORN_TEST_MIXED", buffer, 16), 5u);
    EXPECT_EQ(std::u16string(buffer), u"mixed");
    EXPECT_EQ(GetEnvironmentVariableW(u"norn_test_twice", buffer, 16), 5u);
    EXPECT_EQ(std::u16string(buffer), u"lower");
    EXPECT_EQ(GetEnvironmentVariableW(u"NORN_TEST_TWICE", buffer, 16), 5u);
    EXPECT_EQ(std::u16string(buffer), u"upper");
}

TEST(GetEnvironmentVariableW, NonAsciiValueRoundTripsThroughUtf8) {
    CEnvironmentGuard environment;
    environment.Remember("NORN_TEST_PATH");
    const WCHAR value[] = u"/srv/Z\u00FCrich/\xD834\xDD1E";
    ASSERT_TRUE(SetEnvironmentVariableW(u"NORN_TEST_PATH", value));
    EXPECT_STREQ(std::getenv("NORN_TEST_PATH"), "/srv/Z\xC3\xBCrich/\xF0\x9D\x84\x9E");
    WCHAR buffer[32];
    EXPECT_EQ(GetEnvironmentVariableW(u"NORN_TEST_PATH", buffer, 32), 14u);
    EXPECT_EQ(std::u16string(buffer), value);
}

TEST(SetEnvironmentVariableW, ReplacesOrRemovesAVariableSpelledDifferently) {
    CEnvironmentGuard environment;
    environment.Set("NORN_TEST_SPELLING", "old");
    environment.Remember("norn_test_spelling");
    EXPECT_TRUE(SetEnvironmentVariableW(u"norn_test_spelling", u""));
    EXPECT_STREQ(std::getenv("NORN_TEST_SPELLING"), "");
    EXPECT_EQ(std::getenv("norn_test_spelling"), nullptr);
    EXPECT_TRUE(SetEnvironmentVariableW(u"Norn_Test_Spelling", nullptr));
    EXPECT_EQ(std::getenv("NORN_TEST_SPELLING"), nullptr);
}

TEST(SetEnvironmentVariableW, RejectsNamesWithEqualsOrEmpty) {
    for (const WCHAR* name : {u"NORN=TEST", u"", static_cast<const WCHAR*>(nullptr)}) {
        SetLastError(0);
        EXPECT_FALSE(SetEnvironmentVariableW(name, u"v"));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
}

}  // namespace
