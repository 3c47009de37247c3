// Base types of the Windows API with their Windows widths, for builds outside Windows.
//
// HRESULT, LONG, ULONG, DWORD and BOOL are 32-bit everywhere (Linux `long` is 64-bit, so it is
// never used for them); WCHAR/OLECHAR are 16-bit UTF-16 code units (char16_t, because Linux
// `wchar_t` is 32-bit). On Windows the SDK's own headers are used instead of this directory.
#pragma once

#include <cstddef>
#include <cstdint>

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int32_t BOOL;
typedef int32_t HRESULT;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef char CHAR;
typedef uint8_t UCHAR;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef size_t SIZE_T;

typedef char16_t WCHAR;
typedef WCHAR OLECHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef OLECHAR* BSTR;

typedef void* LPVOID;
typedef const void* LPCVOID;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef void* PSID;

typedef void* HANDLE;
typedef HANDLE HLOCAL;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Wide literals: u"..." here, L"..." on Windows.
#define OLESTR(str) u##str
#define NORN_WIDEN2(str) u##str
#define TEXT(str) NORN_WIDEN2(str)

// x86-64 has a single calling convention; on 32-bit x86 COM methods are __stdcall and the
// Win32 API is WINAPI (__stdcall) as on Windows, so that slot layouts and stacks agree.
#if defined(__i386__)
#define STDMETHODCALLTYPE __attribute__((stdcall))
#define WINAPI __attribute__((stdcall))
#else
#define STDMETHODCALLTYPE
#define WINAPI
#endif
#define STDAPICALLTYPE STDMETHODCALLTYPE
#define EXTERN_C extern "C"

// Everything the platform library exports uses C linkage and default visibility.
#define NORN_PLATFORM_API extern "C" __attribute__((visibility("default")))
#define NORN_PLATFORM_CXX_API __attribute__((visibility("default")))
#define WINBASEAPI NORN_PLATFORM_API
#define WINOLEAPI NORN_PLATFORM_API HRESULT STDAPICALLTYPE
#define WINOLEAUTAPI NORN_PLATFORM_API HRESULT STDAPICALLTYPE
