// BSTR and text conversions that throw CAtlException when they fail, as the module's other
// allocations do: E_OUTOFMEMORY for an allocation, the last error's HRESULT for a conversion.
#pragma once

#include <string>

#include "norn/ScopedBstr.h"

// A BSTR copy of a wide text; null text gives an empty owner.
norn::CScopedBstr BstrFromText(const OLECHAR* text);

// A BSTR from 8-bit text in the thread's ANSI code page; null text gives an empty owner.
norn::CScopedBstr BstrFromAnsi(const char* text);

// Wide text to 8-bit text in the ANSI code page.
std::string AnsiFromWide(const OLECHAR* text);
