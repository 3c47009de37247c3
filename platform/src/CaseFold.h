// Case folding as the C runtime's "C" locale does it, the only locale the layer has: A to Z only.
// _wcsicmp compares with it, and so does the version resource's key lookup, whose keys are ASCII.
#pragma once

#include <windows.h>

namespace norn::platform {

[[nodiscard]] inline WCHAR FoldCase(WCHAR c) noexcept {
    return c >= u'A' && c <= u'Z' ? static_cast<WCHAR>(c + (u'a' - u'A')) : c;
}

}  // namespace norn::platform
