// The message text behind _com_error::ErrorMessage: the system text of a known HRESULT,
// "IDispatch error #n" for a WCode, otherwise "Unknown error 0x%0lX", as the COM support
// library words it. Allocated with LocalAlloc; the _com_error frees it with LocalFree.
#include <comdef.h>

#include <cstdio>
#include <cstring>

namespace {

struct KnownMessage {
    HRESULT hr;
    const char* text;
};

constexpr KnownMessage kKnownMessages[] = {
    {S_OK, "The operation completed successfully."},
    {E_NOTIMPL, "Not implemented"},
    {E_NOINTERFACE, "No such interface supported"},
    {E_POINTER, "Invalid pointer"},
    {E_ABORT, "Operation aborted"},
    {E_FAIL, "Unspecified error"},
    {E_UNEXPECTED, "Catastrophic failure"},
    {E_ACCESSDENIED, "Access is denied."},
    {E_HANDLE, "The handle is invalid."},
    {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {E_INVALIDARG, "The parameter is incorrect."},
    {MK_E_UNAVAILABLE, "Operation unavailable"},
    {CO_E_NOTINITIALIZED, "CoInitialize has not been called."},
};

WCHAR* ToLocalWideText(const char* text) {
    const size_t length = std::strlen(text);
    auto* result = static_cast<WCHAR*>(LocalAlloc(LMEM_FIXED, (length + 1) * sizeof(WCHAR)));
    if (result == nullptr) return nullptr;
    for (size_t i = 0; i <= length; ++i) result[i] = static_cast<unsigned char>(text[i]);
    return result;
}

}  // namespace

WCHAR* _com_error::NornFormatComErrorMessage(HRESULT hr) noexcept {
    for (const KnownMessage& known : kKnownMessages) {
        if (known.hr == hr) return ToLocalWideText(known.text);
    }
    char text[64];
    const WORD wCode = HRESULTToWCode(hr);
    if (wCode != 0) {
        std::snprintf(text, sizeof(text), "IDispatch error #%d", wCode);
    } else {
        std::snprintf(text, sizeof(text), "Unknown error 0x%0X", static_cast<unsigned>(hr));
    }
    return ToLocalWideText(text);
}
