// Process and thread identity, the last-error slot, environment, local memory, text
// conversion, the module file name and the event log.
#pragma once

#include "windef.h"
#include "winerror.h"

WINBASEAPI DWORD WINAPI GetCurrentProcessId();
WINBASEAPI DWORD WINAPI GetCurrentThreadId();
WINBASEAPI DWORD WINAPI GetLastError();
WINBASEAPI void WINAPI SetLastError(DWORD dwErrCode);

// Windows return semantics: the length without terminator on success; the required size with
// terminator, buffer untouched and last error unchanged, when the buffer is too small; 0 and
// ERROR_ENVVAR_NOT_FOUND when unset. Names match case-insensitively, as on Windows.
WINBASEAPI DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize);
// A NULL value removes the variable.
WINBASEAPI BOOL WINAPI SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue);

#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
WINBASEAPI HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes);
// Returns NULL on success, as on Windows.
WINBASEAPI HLOCAL WINAPI LocalFree(HLOCAL hMem);

// CP_ACP is UTF-8 here, so that any text (a non-ASCII root path above all) survives the round
// trip through 8-bit text. Both code pages take the flags Windows takes; only the two that make
// invalid input fail change anything, as with UTF-8 on Windows. Other bits: ERROR_INVALID_FLAGS.
#define CP_ACP 0
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x00000001
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_COMPOSITECHECK 0x00000200
#define WC_NO_BEST_FIT_CHARS 0x00000400
WINBASEAPI int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr,
                                          int cbMultiByte, LPWSTR lpWideCharStr, int cchWideChar);
WINBASEAPI int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr,
                                          int cchWideChar, LPSTR lpMultiByteStr, int cbMultiByte,
                                          LPCSTR lpDefaultChar, BOOL* lpUsedDefaultChar);

// The file that contains the module whose handle is given (NULL: the executable). Truncates to
// nSize - 1 characters and sets ERROR_INSUFFICIENT_BUFFER when the buffer is too small.
WINBASEAPI DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);

// Event log. Events go to syslog under the source name and, when NORN_EVENT_LOG names a file,
// are appended there as one tab-separated UTF-8 line: source, type, event id, strings.
#define EVENTLOG_SUCCESS 0x0000
#define EVENTLOG_ERROR_TYPE 0x0001
#define EVENTLOG_WARNING_TYPE 0x0002
#define EVENTLOG_INFORMATION_TYPE 0x0004
WINBASEAPI HANDLE WINAPI RegisterEventSourceW(LPCWSTR lpUNCServerName, LPCWSTR lpSourceName);
WINBASEAPI BOOL WINAPI DeregisterEventSource(HANDLE hEventLog);
WINBASEAPI BOOL WINAPI ReportEventW(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID,
                                    PSID lpUserSid, WORD wNumStrings, DWORD dwDataSize,
                                    LPCWSTR* lpStrings, LPVOID lpRawData);
