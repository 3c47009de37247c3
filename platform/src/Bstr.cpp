// BSTR allocation with the Windows memory layout:
//
//   [ padding ][ byte count (32-bit) ][ characters ... ][ 0 WCHAR ]
//                                     ^ BSTR (pointer-aligned)
//
// The header is one pointer wide so that the BSTR is pointer-aligned; the count occupies its
// last four bytes, immediately before the characters.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "Allocation.h"
#include "norn/PlatformTestHooks.h"

namespace {

constexpr size_t kHeader = sizeof(void*) < 4 ? 4 : sizeof(void*);
// As on 32-bit Windows: a byte length with the top bit set is never allocated.
constexpr UINT kMaxByteLength = 0x7FFFFFFFu - 16;

std::atomic<LONG> g_liveBstrs{0};

char* BlockOf(BSTR bstr) {
    return reinterpret_cast<char*>(bstr) - kHeader;
}

// A zero-filled BSTR of byteLength bytes, terminated by a zero WCHAR at index
// (byteLength + 1) / 2, which also covers a zero byte at [byteLength] for odd lengths.
BSTR AllocateBytes(UINT byteLength) {
    if (byteLength > kMaxByteLength || !norn::platform::AllocationAllowed()) return nullptr;
    const size_t terminatorEnd = (static_cast<size_t>(byteLength) + 1) / 2 * 2 + sizeof(WCHAR);
    char* block = static_cast<char*>(std::calloc(1, kHeader + terminatorEnd));
    if (block == nullptr) return nullptr;
    const uint32_t count = byteLength;
    std::memcpy(block + kHeader - sizeof(uint32_t), &count, sizeof(count));
    g_liveBstrs.fetch_add(1);
    return reinterpret_cast<BSTR>(block + kHeader);
}

}  // namespace

NORN_PLATFORM_API BSTR STDAPICALLTYPE SysAllocStringByteLen(LPCSTR psz, UINT len) {
    BSTR bstr = AllocateBytes(len);
    if (bstr != nullptr && psz != nullptr) std::memcpy(bstr, psz, len);
    return bstr;
}

NORN_PLATFORM_API BSTR STDAPICALLTYPE SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    if (ui > kMaxByteLength / sizeof(OLECHAR)) return nullptr;
    return SysAllocStringByteLen(reinterpret_cast<LPCSTR>(strIn), ui * sizeof(OLECHAR));
}

NORN_PLATFORM_API BSTR STDAPICALLTYPE SysAllocString(const OLECHAR* psz) {
    if (psz == nullptr) return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(wcslen(psz)));
}

NORN_PLATFORM_API void STDAPICALLTYPE SysFreeString(BSTR bstrString) {
    if (bstrString == nullptr) return;
    g_liveBstrs.fetch_sub(1);
    std::free(BlockOf(bstrString));
}

NORN_PLATFORM_API UINT STDAPICALLTYPE SysStringByteLen(BSTR bstr) {
    if (bstr == nullptr) return 0;
    uint32_t count;
    std::memcpy(&count, reinterpret_cast<char*>(bstr) - sizeof(uint32_t), sizeof(count));
    return count;
}

NORN_PLATFORM_API UINT STDAPICALLTYPE SysStringLen(BSTR pbstr) {
    return SysStringByteLen(pbstr) / sizeof(OLECHAR);
}

// A NULL operand counts as empty; the operands are joined by byte length and never freed.
WINOLEAUTAPI VarBstrCat(BSTR bstrLeft, BSTR bstrRight, BSTR* pbstrResult) {
    if (pbstrResult == nullptr) return E_INVALIDARG;
    const UINT left = SysStringByteLen(bstrLeft);
    const UINT right = SysStringByteLen(bstrRight);
    if (right > kMaxByteLength - left) return E_OUTOFMEMORY;
    BSTR result = AllocateBytes(left + right);
    if (result == nullptr) return E_OUTOFMEMORY;
    if (left != 0) std::memcpy(result, bstrLeft, left);
    if (right != 0) std::memcpy(reinterpret_cast<char*>(result) + left, bstrRight, right);
    *pbstrResult = result;
    return S_OK;
}

NORN_PLATFORM_API LONG NornLiveBstrCount() {
    return g_liveBstrs.load();
}
