// The C runtime functions the module uses that glibc lacks or has only for 32-bit wchar_t:
// _ultow, _chmod and the WCHAR string functions.
#include <windows.h>
#include <io.h>

#include <sys/stat.h>

#include <cerrno>

#include "CaseFold.h"

namespace {

[[nodiscard]] bool IsDelimiter(WCHAR c, const WCHAR* delimiters) {
    for (; *delimiters != 0; ++delimiters) {
        if (*delimiters == c) return true;
    }
    return false;
}

}  // namespace

NORN_PLATFORM_API WCHAR* _ultow(ULONG value, WCHAR* str, int radix) {
    if (str == nullptr) return nullptr;
    if (radix < 2 || radix > 36) {
        str[0] = 0;
        return str;
    }
    WCHAR reversed[32];
    int count = 0;
    do {
        const ULONG digit = value % static_cast<ULONG>(radix);
        reversed[count++] = static_cast<WCHAR>(digit < 10 ? u'0' + digit : u'a' + digit - 10);
        value /= static_cast<ULONG>(radix);
    } while (value != 0);
    for (int i = 0; i < count; ++i) str[i] = reversed[count - 1 - i];
    str[count] = 0;
    return str;
}

extern "C" __attribute__((visibility("default"))) int _chmod(const char* filename, int pmode) {
    if (filename == nullptr) {
        errno = EINVAL;
        return -1;
    }
    struct stat info;
    if (stat(filename, &info) != 0) return -1;
    mode_t mode = info.st_mode & 07777;
    if (pmode & _S_IWRITE) {
        mode |= S_IRUSR | S_IWUSR;
    } else {
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    }
    return chmod(filename, mode);
}

NORN_PLATFORM_CXX_API size_t wcslen(const WCHAR* s) {
    const WCHAR* end = s;
    while (*end != 0) ++end;
    return static_cast<size_t>(end - s);
}

NORN_PLATFORM_CXX_API size_t wcsnlen(const WCHAR* s, size_t maxCount) {
    size_t length = 0;
    while (length < maxCount && s[length] != 0) ++length;
    return length;
}

NORN_PLATFORM_CXX_API int wcscmp(const WCHAR* a, const WCHAR* b) {
    return wcsncmp(a, b, static_cast<size_t>(-1));
}

NORN_PLATFORM_CXX_API int wcsncmp(const WCHAR* a, const WCHAR* b, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
        if (a[i] == 0) return 0;
    }
    return 0;
}

// The difference of the first pair of lower-cased characters that differ, as Windows returns it.
NORN_PLATFORM_CXX_API int _wcsicmp(const WCHAR* a, const WCHAR* b) {
    for (;; ++a, ++b) {
        const int left = norn::platform::FoldCase(*a);
        const int right = norn::platform::FoldCase(*b);
        if (left != right || left == 0) return left - right;
    }
}

NORN_PLATFORM_CXX_API WCHAR* wcscpy(WCHAR* dest, const WCHAR* src) {
    WCHAR* out = dest;
    while ((*out++ = *src++) != 0) {
    }
    return dest;
}

// As in C: stops at the terminator and fills the rest of the count with zeros; a source of count
// characters or more leaves dest unterminated.
NORN_PLATFORM_CXX_API WCHAR* wcsncpy(WCHAR* dest, const WCHAR* src, size_t count) {
    size_t i = 0;
    for (; i < count && src[i] != 0; ++i) dest[i] = src[i];
    for (; i < count; ++i) dest[i] = 0;
    return dest;
}

// Searching for 0 finds the terminator, as in C.
NORN_PLATFORM_CXX_API WCHAR* wcschr(const WCHAR* s, WCHAR c) {
    for (;; ++s) {
        if (*s == c) return const_cast<WCHAR*>(s);
        if (*s == 0) return nullptr;
    }
}

NORN_PLATFORM_CXX_API WCHAR* wcstok_s(WCHAR* str, const WCHAR* delimiters, WCHAR** context) {
    if (context == nullptr || delimiters == nullptr || (str == nullptr && *context == nullptr)) {
        errno = EINVAL;
        return nullptr;
    }
    WCHAR* token = str != nullptr ? str : *context;
    while (*token != 0 && IsDelimiter(*token, delimiters)) ++token;
    if (*token == 0) {
        *context = token;
        return nullptr;
    }
    WCHAR* end = token;
    while (*end != 0 && !IsDelimiter(*end, delimiters)) ++end;
    if (*end != 0) *end++ = 0;
    *context = end;
    return token;
}
