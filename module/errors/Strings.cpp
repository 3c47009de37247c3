#include "errors/Strings.h"

#include <atlexcept.h>

#include <cstring>

using norn::CScopedBstr;

CScopedBstr BstrFromText(const OLECHAR* text) {
    if (text == nullptr) return {};
    CScopedBstr bstr(text);
    if (!bstr) ATL::AtlThrow(E_OUTOFMEMORY);
    return bstr;
}

CScopedBstr BstrFromAnsi(const char* text) {
    if (text == nullptr) return {};
    const int length = static_cast<int>(std::strlen(text));
    if (length == 0) return BstrFromText(OLESTR(""));
    const int wide = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
    if (wide <= 0) ATL::AtlThrowLastWin32();
    CScopedBstr bstr = CScopedBstr::Attach(SysAllocStringLen(nullptr, static_cast<UINT>(wide)));
    if (!bstr) ATL::AtlThrow(E_OUTOFMEMORY);
    if (MultiByteToWideChar(CP_ACP, 0, text, length, bstr.Get(), wide) != wide) {
        ATL::AtlThrowLastWin32();
    }
    return bstr;
}

std::string AnsiFromWide(const OLECHAR* text) {
    if (text == nullptr || text[0] == 0) return {};
    const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) ATL::AtlThrowLastWin32();
    std::string result(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, text, -1, result.data(), size, nullptr, nullptr) != size) {
        ATL::AtlThrowLastWin32();
    }
    result.resize(static_cast<size_t>(size) - 1);
    return result;
}
