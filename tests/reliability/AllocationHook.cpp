// The replacement of the global allocation functions. A replacement defined in the executable
// takes precedence over the C++ runtime's and over the sanitizer runtime's: the shared libraries
// (the C++ runtime, Qt, the platform layer) bind operator new to it as well. Valgrind replaces it
// unless told not to (--soname-synonyms=somalloc=nouserintercepts, as scripts/valgrind-tests.sh
// does); the hook's own tests fail then. The aligned forms are not replaced; nothing in the
// module uses them.
#include "reliability/AllocationHook.h"

#include <link.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace norn::test {
namespace {

// The per-thread state: trivially constructed, so reaching it never allocates.
struct CHookState {
    bool armed = false;
    long failing = 0;  // the number of the allocation to fail
    long counted = 0;
    int pauses = 0;
    long liveArrays = 0;
};

thread_local CHookState t_hook;

// The code of the spared libraries; filled before arming, read by the allocation functions.
struct CCodeRange {
    uintptr_t begin;
    uintptr_t end;
};
constexpr int kMaxSparedRanges = 32;
CCodeRange g_spared[kMaxSparedRanges];
int g_sparedCount = 0;

int CollectCode(dl_phdr_info* info, size_t, void* nameText) {
    if (info->dlpi_name == nullptr ||
        std::strstr(info->dlpi_name, static_cast<const char*>(nameText)) == nullptr) {
        return 0;
    }
    for (int i = 0; i < info->dlpi_phnum && g_sparedCount < kMaxSparedRanges; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD || (segment.p_flags & PF_X) == 0) continue;
        const uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
        g_spared[g_sparedCount++] = {begin, begin + segment.p_memsz};
    }
    return 0;
}

bool IsSpared(const void* caller) noexcept {
    const auto address = reinterpret_cast<uintptr_t>(caller);
    for (int i = 0; i < g_sparedCount; ++i) {
        if (address >= g_spared[i].begin && address < g_spared[i].end) return true;
    }
    return false;
}

// True when this allocation is the one to fail.
bool TakeFailure(const void* caller) noexcept {
    CHookState& hook = t_hook;
    if (!hook.armed || hook.pauses > 0 || IsSpared(caller)) return false;
    return ++hook.counted == hook.failing;
}

// No new handler is ever installed here: when malloc has nothing, the allocation fails.
void* AllocateOrNull(std::size_t size, const void* caller) noexcept {
    if (TakeFailure(caller)) return nullptr;
    return std::malloc(size != 0 ? size : 1);
}

void* Allocate(std::size_t size, const void* caller) {
    if (void* block = AllocateOrNull(size, caller)) return block;
    throw std::bad_alloc();
}

}  // namespace

CFailingAllocation::CFailingAllocation(long nth) {
    t_hook.armed = true;
    t_hook.failing = nth;
    t_hook.counted = 0;
}

CFailingAllocation::~CFailingAllocation() {
    t_hook.armed = false;
}

bool CFailingAllocation::Fired() const {
    return t_hook.counted >= t_hook.failing;
}

long CFailingAllocation::Counted() const {
    return t_hook.counted;
}

void PauseAllocations(bool entering) {
    t_hook.pauses += entering ? 1 : -1;
}

long LiveArrayBlocks() {
    return t_hook.liveArrays;
}

// Arrays of the spared libraries are not counted: they make and free their own.
void* CountArray(void* block, const void* caller) noexcept {
    if (block != nullptr && !IsSpared(caller)) ++t_hook.liveArrays;
    return block;
}

void ForgetArray(void* block, const void* caller) noexcept {
    if (block != nullptr && !IsSpared(caller)) --t_hook.liveArrays;
    std::free(block);
}

void SpareAllocationsOfLibraries(const char* nameText) {
    dl_iterate_phdr(CollectCode, const_cast<char*>(nameText));
}

}  // namespace norn::test

// Each function passes its own caller: the code that asked for the memory.
#define NORN_CALLER __builtin_return_address(0)

void* operator new(std::size_t size) {
    return norn::test::Allocate(size, NORN_CALLER);
}

void* operator new[](std::size_t size) {
    return norn::test::CountArray(norn::test::Allocate(size, NORN_CALLER), NORN_CALLER);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return norn::test::AllocateOrNull(size, NORN_CALLER);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return norn::test::CountArray(norn::test::AllocateOrNull(size, NORN_CALLER), NORN_CALLER);
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete[](void* block) noexcept {
    norn::test::ForgetArray(block, NORN_CALLER);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept {
    norn::test::ForgetArray(block, NORN_CALLER);
}

void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept {
    norn::test::ForgetArray(block, NORN_CALLER);
}
