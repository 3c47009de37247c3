// swprintf_s with the Microsoft conventions: %s wide, %S 8-bit, %ld a 32-bit LONG.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>

namespace {

// Formats into a roomy buffer and checks that the result counts the characters written.
std::u16string Format(const WCHAR* format, ...) {
    WCHAR buffer[256];
    va_list args;
    va_start(args, format);
    const int result = vswprintf_s(buffer, 256, format, args);
    va_end(args);
    if (result < 0) return u"<failed>";
    EXPECT_EQ(static_cast<size_t>(result), wcslen(buffer));
    return buffer;
}

TEST(swprintf_s, LongIsThirtyTwoBits) {
    WCHAR buffer[64];
    const LONG line = 2489;
    EXPECT_EQ(swprintf_s(buffer, 64, u"Error in %s (Line %ld)", u"Brightwork", line), 31);
    EXPECT_EQ(std::u16string(buffer), u"Error in Brightwork (Line 2489)");
    // A 64-bit read of these would see the zero-extended register, not the sign.
    EXPECT_EQ(Format(u"%ld %li %lu %lx", LONG(-5), LONG(-1), ULONG(0xFFFFFFFF), LONG(-1)),
              u"-5 -1 4294967295 ffffffff");
}

TEST(swprintf_s, ConversionsFollowTheMicrosoftConventions) {
    EXPECT_EQ(Format(u"%d %i %u %x %X %o", -42, 42, -1, 0xBEEF, 0xBEEF, 8),
              u"-42 42 4294967295 beef BEEF 10");
    EXPECT_EQ(Format(u"%hd %hu %hhd", 70000, 65537, 255), u"4464 1 -1");
    EXPECT_EQ(Format(u"%lld %llu %I64x", LLONG_MIN, ULLONG_MAX, 0x123456789ABCDEFull),
              u"-9223372036854775808 18446744073709551615 123456789abcdef");
    EXPECT_EQ(Format(u"%zu %d%%", size_t(1) << 40, 100), u"1099511627776 100%");
    EXPECT_EQ(Format(u"[%5d|%-5d|%05d|%+d|% d]", 42, 42, -42, 42, 42),
              u"[   42|42   |-0042|+42| 42]");
    EXPECT_EQ(Format(u"[%.5d|%08.3d|%.0d|%#x|%#o]", 42, 42, 0, 42, 8),
              u"[00042|     042||0x2a|010]");
    EXPECT_EQ(Format(u"[%*d|%*d|%.*s]", 4, 7, -4, 7, 3, u"Brightwork"), u"[   7|7   |Bri]");
    EXPECT_EQ(Format(u"[%12s|%-12s|%.6s]", u"Brightwork", u"Tarvo", u"Orm"),
              u"[  Brightwork|Tarvo       |Orm]");
    EXPECT_EQ(Format(u"%s|%S|%hs|%ls", u"wide", "Z\xC3\xBCrich", "narrow", u"long"),
              u"wide|Z\u00FCrich|narrow|long");
    EXPECT_EQ(Format(u"%c%c%C", u'\u20AC', u'x', 'A'), u"\u20ACxA");
    EXPECT_EQ(Format(u"%s|%S|%.3s", static_cast<const WCHAR*>(nullptr),
                     static_cast<const char*>(nullptr), static_cast<const WCHAR*>(nullptr)),
              u"(null)|(null)|(nu");
    const WCHAR unterminated[3] = {u'a', u'b', u'c'};  // a precision stops reading
    EXPECT_EQ(Format(u"%.3s", unterminated), u"abc");
    EXPECT_EQ(Format(u"%p", reinterpret_cast<void*>(uintptr_t{0x1234ABCD})),
              std::u16string(2 * sizeof(void*) - 8, u'0') + u"1234ABCD");
}

// Text that does not fit leaves an empty buffer; so does a bad format, a bad buffer nothing.
TEST(swprintf_s, FailuresGiveMinusOne) {
    WCHAR buffer[6];
    EXPECT_EQ(swprintf_s(buffer, 6, u"%s", u"abcde"), 5);
    EXPECT_EQ(std::u16string(buffer), u"abcde");
    std::fill(buffer, buffer + 6, u'#');
    EXPECT_EQ(swprintf_s(buffer, 6, u"%s", u"abcdef"), -1);
    EXPECT_EQ(buffer[0], 0);
    std::fill(buffer, buffer + 6, u'#');
    EXPECT_EQ(swprintf_s(buffer, 6, u"%8d", 1), -1);
    EXPECT_EQ(buffer[0], 0);
    std::fill(buffer, buffer + 6, u'#');
    EXPECT_EQ(swprintf_s(nullptr, 6, u"x"), -1);
    EXPECT_EQ(swprintf_s(buffer, 0, u"x"), -1);
    EXPECT_EQ(buffer[0], u'#');
    EXPECT_EQ(swprintf_s(buffer, 6, nullptr), -1);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(Format(u"%f", 1.0), u"<failed>");
    EXPECT_EQ(Format(u"trailing %"), u"<failed>");
}

}  // namespace
