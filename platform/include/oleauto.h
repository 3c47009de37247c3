// BSTR allocation and the per-thread error information slot.
//
// BSTR layout as on Windows: a 32-bit byte count stands immediately before the characters
// (terminator not counted), the pointer is pointer-aligned, and a zero WCHAR follows.
#pragma once

#include "oaidl.h"

NORN_PLATFORM_API BSTR STDAPICALLTYPE SysAllocString(const OLECHAR* psz);
NORN_PLATFORM_API BSTR STDAPICALLTYPE SysAllocStringLen(const OLECHAR* strIn, UINT ui);
NORN_PLATFORM_API BSTR STDAPICALLTYPE SysAllocStringByteLen(LPCSTR psz, UINT len);
NORN_PLATFORM_API void STDAPICALLTYPE SysFreeString(BSTR bstrString);
NORN_PLATFORM_API UINT STDAPICALLTYPE SysStringLen(BSTR pbstr);
NORN_PLATFORM_API UINT STDAPICALLTYPE SysStringByteLen(BSTR bstr);
WINOLEAUTAPI VarBstrCat(BSTR bstrLeft, BSTR bstrRight, BSTR* pbstrResult);

// Per thread; neither needs COM initialised. GetErrorInfo hands the reference over and clears
// the slot (S_FALSE and NULL when nothing is set).
WINOLEAUTAPI GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);
WINOLEAUTAPI SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
