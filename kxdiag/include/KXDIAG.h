// The maker's diagnostics library as the module calls it (C linkage, cdecl, 8-bit texts).
#pragma once

#if defined(_WIN32) && defined(KXDIAG_EXPORTS)
#define KXDIAG_API extern "C" __declspec(dllexport)
#elif defined(_WIN32)
#define KXDIAG_API extern "C" __declspec(dllimport)
#else
#define KXDIAG_API extern "C" __attribute__((visibility("default")))
#endif

// The text to show for a message; owned by the library.
KXDIAG_API const char* _Tarvo_formatErrorString(const char* text);

// Logs (or shows) one error. An answer greater than 0 asks the caller to stop for the debugger.
KXDIAG_API int _Tarvo_TestShowErrorDialogLogInfo2(const char* sourceFile, int line,
                                                  const char* context, const char* text);
