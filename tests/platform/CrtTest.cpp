// The C runtime functions of the platform layer: _ultow, _chmod and the WCHAR string functions.
#include <windows.h>
#include <io.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

TEST(_ultow, WritesUnsignedDigitsWithoutSignOrPadding) {
    const struct {
        ULONG m_value;
        int m_radix;
        std::u16string m_expected;
    } cases[] = {
        {0, 10, u"0"},
        {4294967295u, 10, u"4294967295"},
        {0x80000000u, 10, u"2147483648"},  // no sign even with the top bit set
        {0xDEADBEEFu, 16, u"deadbeef"},
        {4294967295u, 2, std::u16string(32, u'1')},
        {35, 36, u"z"},
        {7, 1, u""},
        {7, 37, u""},
    };
    for (const auto& c : cases) {
        WCHAR buffer[40];
        std::fill(buffer, buffer + 40, u'#');
        EXPECT_EQ(_ultow(c.m_value, buffer, c.m_radix), buffer);
        EXPECT_EQ(std::u16string(buffer), c.m_expected) << c.m_value << " radix " << c.m_radix;
    }
}

// A temporary file, removed at the end of the test.
class CTempFile {
public:
    CTempFile() {
        char path[] = "/tmp/norn_chmod_XXXXXX";
        const int fd = mkstemp(path);
        if (fd >= 0) close(fd);
        m_path = fd >= 0 ? path : "";
    }
    ~CTempFile() {
        if (!m_path.empty()) unlink(m_path.c_str());
    }
    const char* Path() const { return m_path.c_str(); }
    mode_t Permissions() const {
        struct stat info {};
        EXPECT_EQ(stat(m_path.c_str(), &info), 0);
        return info.st_mode & 0777;
    }

private:
    std::string m_path;
};

TEST(_chmod, WithoutWriteClearsEveryWriteBitAndKeepsTheRest) {
    CTempFile file;
    ASSERT_EQ(chmod(file.Path(), 0676), 0);
    EXPECT_EQ(_chmod(file.Path(), _S_IREAD), 0);
    EXPECT_EQ(file.Permissions(), 0454u);
}

TEST(_chmod, WithWriteGivesTheOwnerReadAndWrite) {
    CTempFile file;
    ASSERT_EQ(chmod(file.Path(), 0004), 0);
    EXPECT_EQ(_chmod(file.Path(), _S_IWRITE), 0);
    EXPECT_EQ(file.Permissions(), 0604u);
    EXPECT_EQ(_chmod(file.Path(), _S_IREAD), 0);
    EXPECT_EQ(file.Permissions(), 0404u);
    EXPECT_EQ(_chmod(file.Path(), _S_IREAD | _S_IWRITE), 0);
    EXPECT_EQ(file.Permissions(), 0604u);
    errno = 0;
    EXPECT_EQ(_chmod((std::string(file.Path()) + ".missing").c_str(), _S_IWRITE), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST(wcscmp, OrdersByUnsignedCodeUnitAndStopsAtCount) {
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
}

TEST(_wcsicmp, FoldsAsciiAndLatin1ToLowerCase) {
    const struct {
        const WCHAR* m_left;
        const WCHAR* m_right;
        int m_sign;
    } cases[] = {
        {u"Brightwork", u"BRIGHTWORK", 0},
        {u"\u00C4\u00D6\u00DC\u00DE", u"\u00E4\u00F6\u00FC\u00FE", 0},
        {u"\u00D7", u"\u00F7", -1},  // multiplication and division signs are not a pair
        {u"A", u"[", 1},             // compared as lower case: 'a' > '['
        {u"abc", u"ABD", -1},
        {u"abc", u"AB", 1},
    };
    for (const auto& c : cases) {
        const int result = _wcsicmp(c.m_left, c.m_right);
        EXPECT_EQ((result > 0) - (result < 0), c.m_sign);
    }
}

TEST(wcsncpy, PadsWithZerosAndDoesNotTerminateALongSource) {
    WCHAR buffer[8];
    std::fill(buffer, buffer + 8, u'#');
    EXPECT_EQ(wcsncpy(buffer, u"ab", 5), buffer);
    EXPECT_EQ(std::u16string(buffer, 6), std::u16string(u"ab\0\0\0#", 6));
    std::fill(buffer, buffer + 8, u'#');
    wcsncpy(buffer, u"abcdef", 3);
    EXPECT_EQ(std::u16string(buffer, 4), u"abc#");
    EXPECT_EQ(wcscpy(buffer, u"xy"), buffer);
    EXPECT_EQ(std::u16string(buffer), u"xy");
}

std::vector<std::u16string> Tokens(WCHAR* text, const WCHAR* delimiters) {
    std::vector<std::u16string> tokens;
    WCHAR* context = nullptr;
    for (WCHAR* t = wcstok_s(text, delimiters, &context); t != nullptr;
         t = wcstok_s(nullptr, delimiters, &context)) {
        tokens.push_back(t);
    }
    return tokens;
}

TEST(wcstok_s, SkipsEmptyPiecesAndKeepsStateInTheContext) {
    WCHAR first[] = u",,alpha, beta,,gamma ,";
    WCHAR second[] = u"x;y";
    WCHAR* context = nullptr;
    // Two tokenisations at once do not disturb each other.
    EXPECT_EQ(std::u16string(wcstok_s(second, u";", &context)), u"x");
    EXPECT_EQ(Tokens(first, u", "), (std::vector<std::u16string>{u"alpha", u"beta", u"gamma"}));
    EXPECT_EQ(std::u16string(wcstok_s(nullptr, u";", &context)), u"y");
    EXPECT_EQ(wcstok_s(nullptr, u";", &context), nullptr);
    WCHAR only[] = u",,,";
    EXPECT_TRUE(Tokens(only, u",").empty());
    errno = 0;
    EXPECT_EQ(wcstok_s(first, u",", nullptr), nullptr);
    EXPECT_EQ(errno, EINVAL);
}

}  // namespace
