// swprintf_s for WCHAR text with the Microsoft conventions: in a wide format %s is a wide string
// and %S an 8-bit (UTF-8) one, and `long` is 32 bits, so %ld reads an int-sized argument.
//
// Padding follows the Microsoft C runtime: the '0' flag pads every conversion with zeros
// (strings too), and an integer precision turns the '0' flag off.
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

namespace {

enum class ESize { Default, Char, Short, Long, LongLong, Pointer };

struct CDirective {
    bool m_left = false;
    bool m_zero = false;
    bool m_plus = false;
    bool m_space = false;
    bool m_alternate = false;
    int m_width = 0;
    int m_precision = -1;  // -1: none given
    ESize m_size = ESize::Default;
    WCHAR m_conversion = 0;
};

// Writes into the caller's buffer, keeping room for the terminator.
class CWideWriter {
public:
    CWideWriter(WCHAR* buffer, size_t capacity) : m_buffer(buffer), m_capacity(capacity) {}

    void Put(WCHAR c) {
        if (m_length < m_capacity) {
            m_buffer[m_length++] = c;
        } else {
            m_overflow = true;
        }
    }
    void Repeat(WCHAR c, size_t count) {
        for (size_t i = 0; i < count && !m_overflow; ++i) Put(c);
    }
    void Append(const WCHAR* text, size_t count) {
        for (size_t i = 0; i < count && !m_overflow; ++i) Put(text[i]);
    }
    // One converted field: width padding, prefix (sign or 0x), zeros, then the body.
    void Field(const CDirective& directive, const WCHAR* prefix, size_t prefixLength, size_t zeros,
               const WCHAR* body, size_t bodyLength) {
        const size_t total = prefixLength + zeros + bodyLength;
        const size_t width = static_cast<size_t>(directive.m_width);
        const size_t padding = width > total ? width - total : 0;
        const bool zeroPad = directive.m_zero && !directive.m_left;
        if (!directive.m_left && !zeroPad) Repeat(u' ', padding);
        Append(prefix, prefixLength);
        if (zeroPad) Repeat(u'0', padding);
        Repeat(u'0', zeros);
        Append(body, bodyLength);
        if (directive.m_left) Repeat(u' ', padding);
    }
    [[nodiscard]] bool Overflowed() const { return m_overflow; }
    size_t Length() const { return m_length; }

private:
    WCHAR* m_buffer;
    size_t m_capacity;
    size_t m_length = 0;
    bool m_overflow = false;
};

void ParseFlags(const WCHAR*& f, CDirective* directive) {
    for (;; ++f) {
        if (*f == u'-')
            directive->m_left = true;
        else if (*f == u'0')
            directive->m_zero = true;
        else if (*f == u'+')
            directive->m_plus = true;
        else if (*f == u' ')
            directive->m_space = true;
        else if (*f == u'#')
            directive->m_alternate = true;
        else
            return;
    }
}

int ParseNumber(const WCHAR*& f) {
    int value = 0;
    for (; *f >= u'0' && *f <= u'9'; ++f) {
        if (value < INT_MAX / 10) value = value * 10 + (*f - u'0');
    }
    return value;
}

void ParseWidthAndPrecision(const WCHAR*& f, va_list* args, CDirective* directive) {
    if (*f == u'*') {
        ++f;
        directive->m_width = va_arg(*args, int);
        if (directive->m_width < 0) {
            directive->m_left = true;
            directive->m_width = directive->m_width == INT_MIN ? INT_MAX : -directive->m_width;
        }
    } else {
        directive->m_width = ParseNumber(f);
    }
    if (*f != u'.') return;
    ++f;
    if (*f == u'*') {
        ++f;
        const int precision = va_arg(*args, int);
        directive->m_precision = precision < 0 ? -1 : precision;
    } else {
        directive->m_precision = ParseNumber(f);
    }
}

[[nodiscard]] bool StartsWith(const WCHAR* f, const char* prefix) {
    for (; *prefix != '\0'; ++f, ++prefix) {
        if (*f != static_cast<WCHAR>(*prefix)) return false;
    }
    return true;
}

// Size prefixes: hh h l ll w I I32 I64 z j t. 'w' means wide for strings and characters.
void ParseSize(const WCHAR*& f, CDirective* directive) {
    static const struct {
        const char* m_text;
        ESize m_size;
    } kPrefixes[] = {{"hh", ESize::Char},    {"h", ESize::Short},   {"ll", ESize::LongLong},
                     {"l", ESize::Long},     {"w", ESize::Long},    {"I64", ESize::LongLong},
                     {"I32", ESize::Long},   {"I", ESize::Pointer}, {"z", ESize::Pointer},
                     {"j", ESize::LongLong}, {"t", ESize::Pointer}};
    for (const auto& prefix : kPrefixes) {
        if (StartsWith(f, prefix.m_text)) {
            directive->m_size = prefix.m_size;
            f += std::strlen(prefix.m_text);
            return;
        }
    }
}

[[nodiscard]] bool ParseDirective(const WCHAR*& f, va_list* args, CDirective* directive) {
    ParseFlags(f, directive);
    ParseWidthAndPrecision(f, args, directive);
    ParseSize(f, directive);
    directive->m_conversion = *f;
    if (*f == 0) return false;
    ++f;
    return true;
}

long long ReadSigned(const CDirective& directive, va_list* args) {
    switch (directive.m_size) {
        case ESize::LongLong:
            return va_arg(*args, long long);
        case ESize::Pointer:
            return static_cast<long long>(va_arg(*args, ptrdiff_t));
        case ESize::Short:
            return static_cast<short>(va_arg(*args, int));
        case ESize::Char:
            return static_cast<signed char>(va_arg(*args, int));
        default:
            return va_arg(*args, int);  // 'l' too: a Windows long is 32 bits
    }
}

unsigned long long ReadUnsigned(const CDirective& directive, va_list* args) {
    switch (directive.m_size) {
        case ESize::LongLong:
            return va_arg(*args, unsigned long long);
        case ESize::Pointer:
            return va_arg(*args, size_t);
        case ESize::Short:
            return static_cast<unsigned short>(va_arg(*args, unsigned));
        case ESize::Char:
            return static_cast<unsigned char>(va_arg(*args, unsigned));
        default:
            return va_arg(*args, unsigned);
    }
}

unsigned RadixOf(WCHAR conversion) {
    if (conversion == u'o') return 8;
    return conversion == u'x' || conversion == u'X' ? 16 : 10;
}

// The sign, or 0x for '#' with a nonzero hexadecimal value. Returns its length.
size_t IntegerPrefix(const CDirective& directive, bool negative, bool nonZero, WCHAR* prefix) {
    const bool isSigned = directive.m_conversion == u'd' || directive.m_conversion == u'i';
    if (negative)
        prefix[0] = u'-';
    else if (isSigned && directive.m_plus)
        prefix[0] = u'+';
    else if (isSigned && directive.m_space)
        prefix[0] = u' ';
    else if (directive.m_alternate && nonZero && RadixOf(directive.m_conversion) == 16) {
        prefix[0] = u'0';
        prefix[1] = directive.m_conversion;
        return 2;
    } else
        return 0;
    return 1;
}

void WriteInteger(CWideWriter& out, CDirective directive, unsigned long long magnitude,
                  bool negative) {
    const unsigned radix = RadixOf(directive.m_conversion);
    const WCHAR letterBase = directive.m_conversion == u'X' ? u'A' : u'a';
    WCHAR digits[24];
    WCHAR* const end = digits + sizeof(digits) / sizeof(digits[0]);
    WCHAR* first = end;
    const bool nonZero = magnitude != 0;
    for (; magnitude != 0; magnitude /= radix) {
        const unsigned digit = static_cast<unsigned>(magnitude % radix);
        *--first = static_cast<WCHAR>(digit < 10 ? u'0' + digit : letterBase + digit - 10);
    }
    // Zero prints as "0" unless a precision is given, which supplies the zeros itself.
    if (!nonZero && directive.m_precision < 0) *--first = u'0';
    const size_t count = static_cast<size_t>(end - first);
    WCHAR prefix[2];
    const size_t prefixLength = IntegerPrefix(directive, negative, nonZero, prefix);
    const size_t precision =
        directive.m_precision > 0 ? static_cast<size_t>(directive.m_precision) : 0;
    size_t zeros = precision > count ? precision - count : 0;
    if (directive.m_alternate && radix == 8 && zeros == 0 && (count == 0 || *first != u'0'))
        zeros = 1;
    if (directive.m_precision >= 0) directive.m_zero = false;
    out.Field(directive, prefix, prefixLength, zeros, first, count);
}

void WriteText(CWideWriter& out, const CDirective& directive, const WCHAR* text, size_t length) {
    if (directive.m_precision >= 0 && static_cast<size_t>(directive.m_precision) < length) {
        length = static_cast<size_t>(directive.m_precision);
    }
    out.Field(directive, nullptr, 0, 0, text, length);
}

void WriteWideString(CWideWriter& out, const CDirective& directive, const WCHAR* text) {
    if (text == nullptr) text = u"(null)";
    const size_t length = directive.m_precision >= 0
                              ? wcsnlen(text, static_cast<size_t>(directive.m_precision))
                              : wcslen(text);
    WriteText(out, directive, text, length);
}

void WriteNarrowString(CWideWriter& out, const CDirective& directive, const char* text) {
    if (text == nullptr) {
        WriteWideString(out, directive, nullptr);
        return;
    }
    std::u16string wide;
    const int length = static_cast<int>(std::strlen(text));
    if (length > 0) {
        wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text, length, nullptr, 0)));
        MultiByteToWideChar(CP_UTF8, 0, text, length, wide.data(), static_cast<int>(wide.size()));
    }
    WriteText(out, directive, wide.data(), wide.size());
}

// %s and %c are wide, %S and %C narrow; h forces narrow and l or w wide.
[[nodiscard]] bool IsWideText(const CDirective& directive) {
    if (directive.m_size == ESize::Short) return false;
    if (directive.m_size == ESize::Long) return true;
    return directive.m_conversion == u's' || directive.m_conversion == u'c';
}

bool WriteConversion(CWideWriter& out, CDirective& directive, va_list* args) {
    switch (directive.m_conversion) {
        case u'd':
        case u'i': {
            const long long value = ReadSigned(directive, args);
            const unsigned long long magnitude = static_cast<unsigned long long>(value);
            WriteInteger(out, directive, value < 0 ? 0 - magnitude : magnitude, value < 0);
            return true;
        }
        case u'u':
        case u'x':
        case u'X':
        case u'o':
            WriteInteger(out, directive, ReadUnsigned(directive, args), false);
            return true;
        case u'p':
            directive.m_conversion = u'X';
            directive.m_alternate = false;
            directive.m_precision = 2 * sizeof(void*);
            WriteInteger(out, directive, reinterpret_cast<uintptr_t>(va_arg(*args, void*)), false);
            return true;
        case u's':
        case u'S':
            if (IsWideText(directive))
                WriteWideString(out, directive, va_arg(*args, const WCHAR*));
            else
                WriteNarrowString(out, directive, va_arg(*args, const char*));
            return true;
        case u'c':
        case u'C': {
            const int value = va_arg(*args, int);
            const WCHAR c = IsWideText(directive)
                                ? static_cast<WCHAR>(value)
                                : static_cast<WCHAR>(static_cast<unsigned char>(value));
            directive.m_precision = -1;
            WriteText(out, directive, &c, 1);
            return true;
        }
        default:
            return false;
    }
}

// False for a format the runtime would reject (unknown conversion, % at the end).
bool Format(CWideWriter& out, const WCHAR* format, va_list* args) {
    for (const WCHAR* f = format; *f != 0 && !out.Overflowed();) {
        if (*f != u'%') {
            out.Put(*f++);
            continue;
        }
        ++f;
        if (*f == u'%') {
            out.Put(*f++);
            continue;
        }
        CDirective directive;
        if (!ParseDirective(f, args, &directive) || !WriteConversion(out, directive, args))
            return false;
    }
    return true;
}

}  // namespace

NORN_PLATFORM_CXX_API int vswprintf_s(WCHAR* buffer, size_t sizeOfBuffer, const WCHAR* format,
                                      va_list args) {
    if (buffer == nullptr || sizeOfBuffer == 0) {
        errno = EINVAL;
        return -1;
    }
    buffer[0] = 0;
    if (format == nullptr) {
        errno = EINVAL;
        return -1;
    }
    const size_t capacity = sizeOfBuffer - 1 < INT_MAX ? sizeOfBuffer - 1 : INT_MAX;
    CWideWriter out(buffer, capacity);
    va_list copy;
    va_copy(copy, args);
    const bool valid = Format(out, format, &copy);
    va_end(copy);
    if (!valid || out.Overflowed()) {
        errno = valid ? ERANGE : EINVAL;
        buffer[0] = 0;
        return -1;
    }
    buffer[out.Length()] = 0;
    return static_cast<int>(out.Length());
}

NORN_PLATFORM_CXX_API int swprintf_s(WCHAR* buffer, size_t sizeOfBuffer, const WCHAR* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = vswprintf_s(buffer, sizeOfBuffer, format, args);
    va_end(args);
    return result;
}
