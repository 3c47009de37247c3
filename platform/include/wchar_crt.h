// The C runtime's wide-string functions for WCHAR (char16_t) text. On Windows these are the
// CRT's wchar_t functions; here they are C++ overloads on char16_t, so that the same source
// compiles on both sides. glibc's wchar_t versions are untouched.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "windef.h"

// _ultow: a 32-bit unsigned value in the given radix (2 to 36), no sign, no padding.
NORN_PLATFORM_API WCHAR* _ultow(ULONG value, WCHAR* str, int radix);

NORN_PLATFORM_CXX_API size_t wcslen(const WCHAR* s);
NORN_PLATFORM_CXX_API size_t wcsnlen(const WCHAR* s, size_t maxCount);
NORN_PLATFORM_CXX_API int wcscmp(const WCHAR* a, const WCHAR* b);
NORN_PLATFORM_CXX_API int wcsncmp(const WCHAR* a, const WCHAR* b, size_t count);
// _wcsicmp: as in the runtime's "C" locale, folds A to Z only and returns the difference of the
// first lower-cased characters that differ.
NORN_PLATFORM_CXX_API int _wcsicmp(const WCHAR* a, const WCHAR* b);
NORN_PLATFORM_CXX_API WCHAR* wcscpy(WCHAR* dest, const WCHAR* src);
NORN_PLATFORM_CXX_API WCHAR* wcsncpy(WCHAR* dest, const WCHAR* src, size_t count);
NORN_PLATFORM_CXX_API WCHAR* wcschr(const WCHAR* s, WCHAR c);
// wcstok_s as in the CRT: splits at any of the delimiters, skipping empty pieces.
NORN_PLATFORM_CXX_API WCHAR* wcstok_s(WCHAR* str, const WCHAR* delimiters, WCHAR** context);

// _snwprintf_s / swprintf_s with the Microsoft meaning of %s in a wide format (a wide string);
// %S is an 8-bit string. Supports flags '-', '0', width, precision, the size prefixes l, ll, h
// and the conversions s S c d i u x X p %. Result: characters written without the terminator,
// or -1 when the text did not fit (the buffer then holds an empty string).
NORN_PLATFORM_CXX_API int swprintf_s(WCHAR* buffer, size_t sizeOfBuffer, const WCHAR* format, ...);
NORN_PLATFORM_CXX_API int vswprintf_s(WCHAR* buffer, size_t sizeOfBuffer, const WCHAR* format,
                                      va_list args);
