// Version resources. A library built here carries its VS_VERSIONINFO block, in the Windows
// binary form, in an ELF section of its own file (see platform/resource).
#pragma once

#include "windef.h"

struct VS_FIXEDFILEINFO {
    DWORD dwSignature;  // 0xFEEF04BD
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};
static_assert(sizeof(VS_FIXEDFILEINFO) == 52, "VS_FIXEDFILEINFO keeps its Windows size");

#define VS_FFI_SIGNATURE 0xFEEF04BDL
#define VS_FFI_STRUCVERSION 0x00010000L
#define VOS__WINDOWS32 0x00000004L
#define VOS_NT_WINDOWS32 0x00040004L
#define VFT_APP 0x00000001L
#define VFT_DLL 0x00000002L

// Sets *lpdwHandle to 0; 0 and ERROR_RESOURCE_DATA_NOT_FOUND for a file without a resource.
WINBASEAPI DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR lptstrFilename, LPDWORD lpdwHandle);
// Copies at most dwLen bytes of the block.
WINBASEAPI BOOL WINAPI GetFileVersionInfoW(LPCWSTR lptstrFilename, DWORD dwHandle, DWORD dwLen,
                                           LPVOID lpData);
// "\\" gives the VS_FIXEDFILEINFO, "\\StringFileInfo\\<table>\\<key>" a string (length in
// characters with the terminator), "\\VarFileInfo\\Translation" bytes. A missing key: FALSE,
// *puLen 0, *lplpBuffer untouched.
WINBASEAPI BOOL WINAPI VerQueryValueW(LPCVOID pBlock, LPCWSTR lpSubBlock, LPVOID* lplpBuffer,
                                      UINT* puLen);
