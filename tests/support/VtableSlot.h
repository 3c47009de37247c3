// The vtable slot of a virtual method, read from its pointer to member (Itanium C++ ABI: the
// pointer holds 1 + the slot's byte offset). Lets tests pin that an interface method sits in the
// slot it has on Windows.
#pragma once

#include <cstddef>
#include <cstring>

namespace norn::test {

template <class Method>
std::ptrdiff_t VtableSlot(Method method) {
    static_assert(sizeof(Method) == 2 * sizeof(std::ptrdiff_t), "Itanium pointer to member");
    std::ptrdiff_t raw[2];
    std::memcpy(raw, &method, sizeof(raw));
    if ((raw[0] & 1) == 0) return -1;  // not a virtual method
    return (raw[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

}  // namespace norn::test
