// Interface identifiers written from their text form, and the binding of an interface type to
// its IID that CInterfacePtr<T>::Query uses. Works the same with the Windows SDK.
//
//   NORN_INTERFACE_ID(IEepromBlock, "B41F6C1E-BC0C-4DF5-B2B4-C60897ED9FC5")  // at global scope
//   norn::InterfaceId<IEepromBlock>::value                                   // the GUID
#pragma once

#include <windows.h>

#include <cstdint>

namespace norn {

constexpr int HexDigitValue(char c) {
    return (c >= '0' && c <= '9')   ? c - '0'
           : (c >= 'a' && c <= 'f') ? c - 'a' + 10
           : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                    : throw "GUID text holds a character that is not a hex digit";
}

constexpr uint32_t HexValue(const char* text, int digits) {
    uint32_t value = 0;
    for (int i = 0; i < digits; ++i) value = (value << 4) | HexDigitValue(text[i]);
    return value;
}

// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", with or without braces. Evaluated at compile time a
// malformed text is a compile error.
constexpr GUID GuidFromText(const char* text) {
    if (text[0] == '{') ++text;
    if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') {
        throw "GUID text must have the form XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX";
    }
    GUID guid{};
    guid.Data1 = HexValue(text, 8);
    guid.Data2 = static_cast<uint16_t>(HexValue(text + 9, 4));
    guid.Data3 = static_cast<uint16_t>(HexValue(text + 14, 4));
    guid.Data4[0] = static_cast<uint8_t>(HexValue(text + 19, 2));
    guid.Data4[1] = static_cast<uint8_t>(HexValue(text + 21, 2));
    for (int i = 0; i < 6; ++i)
        guid.Data4[2 + i] = static_cast<uint8_t>(HexValue(text + 24 + 2 * i, 2));
    return guid;
}

// Specialised for each interface by NORN_INTERFACE_ID.
template <class Interface>
struct InterfaceId;

}  // namespace norn

#define NORN_INTERFACE_ID(Interface, text)                        \
    namespace norn {                                              \
    template <>                                                   \
    struct InterfaceId<Interface> {                               \
        static constexpr GUID value = ::norn::GuidFromText(text); \
    };                                                            \
    }

NORN_INTERFACE_ID(IUnknown, "00000000-0000-0000-C000-000000000046")
NORN_INTERFACE_ID(IPersist, "0000010C-0000-0000-C000-000000000046")
NORN_INTERFACE_ID(IPersistStream, "00000109-0000-0000-C000-000000000046")
NORN_INTERFACE_ID(IMoniker, "0000000F-0000-0000-C000-000000000046")
NORN_INTERFACE_ID(IRunningObjectTable, "00000010-0000-0000-C000-000000000046")
NORN_INTERFACE_ID(IROTData, "F29F6BC0-5021-11CE-AA15-00006901293F")
NORN_INTERFACE_ID(IExternalConnection, "00000019-0000-0000-C000-000000000046")
NORN_INTERFACE_ID(IErrorInfo, "1CF2B120-547D-101B-8E65-08002B2BD119")
NORN_INTERFACE_ID(ISupportErrorInfo, "DF0B3D60-548F-101B-8E65-08002B2BD119")
