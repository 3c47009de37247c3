// Which Windows API the module's tests run against: the Linux platform layer, or the real one in
// the Windows parity build (MinGW-w64, run under Wine). The tests are the same source on both
// sides. What only the layer offers (a count of live BSTRs, failing its allocator on demand) is
// reached through here; a case that needs it skips on Windows with NORN_LINUX_LAYER_ONLY.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#if !defined(_WIN32)
#include "norn/PlatformTestHooks.h"
#endif

namespace norn::test {

#if defined(_WIN32)
constexpr bool kLinuxLayer = false;
#else
constexpr bool kLinuxLayer = true;
#endif

// A Windows string: char16_t under the layer, 16-bit wchar_t with the Windows headers.
using OleString = std::basic_string<OLECHAR>;

// An ASCII text as a Windows string.
inline OleString OleText(const std::string& ascii) {
    return OleString(ascii.begin(), ascii.end());
}

// Makes the layer's nth allocation from now fail, once (1 = the next one); 0 turns that off.
// Windows cannot do this: the cases that call it skip there before they get here.
inline void FailPlatformAllocation(LONG nth) {
#if defined(_WIN32)
    ADD_FAILURE() << "no allocation failure on demand on Windows (" << nth << ")";
#else
    NornFailPlatformAllocation(nth);
#endif
}

// Wine stands in for Windows in the parity check; where Wine is known to differ from Windows,
// a case says so and leaves that check out under Wine only.
inline bool UnderWine() {
#if defined(_WIN32)
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

// Sets or removes a variable of the environment that GetEnvironmentVariableW reads: the POSIX
// environment under the layer, the Win32 one on Windows.
inline void SetVariable(const char* name, const char* value) {
#if defined(_WIN32)
    SetEnvironmentVariableA(name, value);
#else
    setenv(name, value, 1);
#endif
}
inline void UnsetVariable(const char* name) {
#if defined(_WIN32)
    SetEnvironmentVariableA(name, nullptr);
#else
    unsetenv(name);
#endif
}

// Checks the references that the Running Object Table holds on one registered object. The
// layer's table holds exactly one. Windows marshals the object into the table and leaves the
// count to COM's stub manager (Wine's holds two): there, at least one. Tests that need the count
// compare with what the object had right after its registration.
inline void ExpectTableReferences(ULONG refs) {
    if (kLinuxLayer) {
        EXPECT_EQ(refs, 1u) << "the table's reference";
    } else {
        EXPECT_GE(refs, 1u) << "the table's references";
    }
}

// Notes how many BSTRs live at construction; ExpectNoneLeaked checks that no more live now.
// Windows keeps no count that a program can read, so there the leak check is the layer's alone.
class CBstrLeakCheck {
public:
    void ExpectNoneLeaked() const {
#if !defined(_WIN32)
        EXPECT_EQ(NornLiveBstrCount(), m_live) << "a BSTR was not freed";
#endif
    }

private:
#if !defined(_WIN32)
    LONG m_live = NornLiveBstrCount();
#endif
};

}  // namespace norn::test

// Ends a case that needs what only the Linux layer offers when it runs against Windows.
#define NORN_LINUX_LAYER_ONLY(reason) \
    if (!::norn::test::kLinuxLayer) GTEST_SKIP() << "needs the Linux platform layer: " << (reason)
