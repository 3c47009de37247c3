// swprintf_s with the Microsoft conventions: %s wide, %S 8-bit, %ld a 32-bit LONG.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include "support/ApiUnderTest.h"

using norn::test::OleString;

namespace {

// Formats into a roomy buffer and checks that the result counts the characters written.
OleString Format(const WCHAR* format, ...) {
    WCHAR buffer[256];
    va_list args;
    va_start(args, format);
    const int result = vswprintf_s(buffer, 256, format, args);
    va_end(args);
    if (result < 0) return OLESTR("<failed>");
    EXPECT_EQ(static_cast<size_t>(result), wcslen(buffer));
    return buffer;
}

// %ld reads a 32-bit LONG: a 64-bit read of these would see the zero-extended register, not
// the sign.
TEST(swprintf_s, ConversionsFollowTheMicrosoftConventions) {
    EXPECT_EQ(Format(OLESTR("Error in %s (Line %ld)"), OLESTR("Brightwork"), LONG(2489)),
              OLESTR("Error in Brightwork (Line 2489)"));
    EXPECT_EQ(Format(OLESTR("%ld %li %lu %lx"), LONG(-5), LONG(-1), ULONG(0xFFFFFFFF), LONG(-1)),
              OLESTR("-5 -1 4294967295 ffffffff"));
    EXPECT_EQ(Format(OLESTR("%d %i %u %x %X %o"), -42, 42, -1, 0xBEEF, 0xBEEF, 8),
              OLESTR("-42 42 4294967295 beef BEEF 10"));
    EXPECT_EQ(Format(OLESTR("%hd %hu"), 70000, 65537), OLESTR("4464 1"));
    EXPECT_EQ(Format(OLESTR("%lld %llu %I64x"), LLONG_MIN, ULLONG_MAX, 0x123456789ABCDEFull),
              OLESTR("-9223372036854775808 18446744073709551615 123456789abcdef"));
    EXPECT_EQ(Format(OLESTR("%zu %d%%"), size_t(1) << 40, 100), OLESTR("1099511627776 100%"));
    EXPECT_EQ(Format(OLESTR("[%5d|%-5d|%05d|%+d|% d]"), 42, 42, -42, 42, 42),
              OLESTR("[   42|42   |-0042|+42| 42]"));
    EXPECT_EQ(Format(OLESTR("[%.5d|%.0d|%#x|%#o]"), 42, 0, 42, 8), OLESTR("[00042||0x2a|010]"));
    EXPECT_EQ(Format(OLESTR("[%*d|%*d|%.*s]"), 4, 7, -4, 7, 3, OLESTR("Brightwork")),
              OLESTR("[   7|7   |Bri]"));
    EXPECT_EQ(Format(OLESTR("%s|%S|%hs|%ls"), OLESTR("wide"), "Zurich", "narrow", OLESTR("long")),
              OLESTR("wide|Zurich|narrow|long"));
    EXPECT_EQ(Format(OLESTR("%c%c%C"), OLESTR('\u20AC'), OLESTR('x'), 'A'), OLESTR("\u20ACxA"));
    EXPECT_EQ(Format(OLESTR("%s|%S|%.3s"), static_cast<const WCHAR*>(nullptr),
                     static_cast<const char*>(nullptr), static_cast<const WCHAR*>(nullptr)),
              OLESTR("(null)|(null)|(nu"));
    const WCHAR unterminated[3] = {OLESTR('a'), OLESTR('b'),
                                   OLESTR('c')};  // a precision stops reading
    EXPECT_EQ(Format(OLESTR("%.3s"), unterminated), OLESTR("abc"));
}

// Text that does not fit leaves an empty buffer; so does a bad format, a bad buffer nothing.
TEST(swprintf_s, FailuresGiveMinusOne) {
    WCHAR buffer[6];
    EXPECT_EQ(swprintf_s(buffer, 6, OLESTR("%s"), OLESTR("abcde")), 5);
    EXPECT_EQ(OleString(buffer), OLESTR("abcde"));
    std::fill(buffer, buffer + 6, OLESTR('#'));
    EXPECT_EQ(swprintf_s(buffer, 6, OLESTR("%s"), OLESTR("abcdef")), -1);
    EXPECT_EQ(buffer[0], 0);
    std::fill(buffer, buffer + 6, OLESTR('#'));
    EXPECT_EQ(swprintf_s(buffer, 6, OLESTR("%8d"), 1), -1);
    EXPECT_EQ(buffer[0], 0);
}

}  // namespace
