// BSTR layout and NULL handling as Windows has them: a 32-bit byte count in front of the
// pointer-aligned characters, then a zero WCHAR (and for an odd count a zero byte first).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "norn/ScopedBstr.h"
#include "support/ApiUnderTest.h"

using norn::CScopedBstr;

namespace {

std::string BytesOf(const OLECHAR* text, size_t length) {
    return std::string(reinterpret_cast<const char*>(text), length * sizeof(OLECHAR));
}

class BstrTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (norn::test::kLinuxLayer) norn::test::FailPlatformAllocation(0);
        m_leaks.ExpectNoneLeaked();
    }
    norn::test::CBstrLeakCheck m_leaks;
};

// Each row is one allocation and the bytes it must hold; a null source gives zeros.
TEST_F(BstrTest, AllocationsHoldTheirBytesBehindTheCountAndATerminator) {
    const OLECHAR embedded[] = {OLESTR('a'), 0, OLESTR('b')};
    const char odd[] = {'x', 0, 'y'};
    const std::pair<BSTR, std::string> rows[] = {
        {SysAllocString(OLESTR("Brightwork")), BytesOf(OLESTR("Brightwork"), 10)},
        {SysAllocString(OLESTR("")), ""},
        {SysAllocStringLen(embedded, 3), BytesOf(embedded, 3)},
        {SysAllocStringLen(nullptr, 4), std::string(8, '\0')},
        {SysAllocStringByteLen(odd, 3), std::string(odd, 3)},
        {SysAllocStringByteLen("z", 1), "z"},
        {SysAllocStringByteLen(nullptr, 5), std::string(5, '\0')},
    };
    for (const auto& [bstr, bytes] : rows) {
        const CScopedBstr owner = CScopedBstr::Attach(bstr);
        ASSERT_TRUE(owner) << bytes;
        uint32_t count = 0;
        std::memcpy(&count, reinterpret_cast<const char*>(bstr) - 4, 4);
        EXPECT_EQ(count, bytes.size());
        EXPECT_EQ(SysStringByteLen(bstr), bytes.size());
        EXPECT_EQ(SysStringLen(bstr), bytes.size() / 2) << "whole characters only";
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(bstr), bytes.size() + 1), bytes + '\0');
        EXPECT_EQ(bstr[(bytes.size() + 1) / 2], 0) << "the zero WCHAR after the characters";
        EXPECT_EQ(reinterpret_cast<uintptr_t>(bstr) % sizeof(void*), 0u);
    }
}

// A null text gives a null BSTR, which has zero lengths and may be freed; no allocation has a
// byte count with the top bit set.
TEST_F(BstrTest, NullAndImpossibleLengthsGiveNull) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
    EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFFFu), nullptr);
    EXPECT_EQ(SysAllocStringByteLen(nullptr, 0x80000000u), nullptr);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
}

// A null operand counts as empty; the operands are joined by byte length into a new BSTR and
// stay as they were.
TEST_F(BstrTest, VarBstrCatJoinsByByteLengthIntoANewBstr) {
    const CScopedBstr prefix(OLESTR("4711"));
    const CScopedBstr name(OLESTR("TarvoMeasDriver"));
    const CScopedBstr odd = CScopedBstr::Attach(SysAllocStringByteLen("abc", 3));
    const CScopedBstr even = CScopedBstr::Attach(SysAllocStringByteLen("de", 2));
    const std::tuple<BSTR, BSTR, std::string> rows[] = {
        {nullptr, nullptr, ""},
        {nullptr, prefix.Get(), BytesOf(OLESTR("4711"), 4)},
        {prefix.Get(), nullptr, BytesOf(OLESTR("4711"), 4)},
        {prefix.Get(), name.Get(), BytesOf(OLESTR("4711TarvoMeasDriver"), 19)},
        {odd.Get(), even.Get(), "abcde"},
    };
    for (const auto& [left, right, bytes] : rows) {
        BSTR out = nullptr;
        ASSERT_EQ(VarBstrCat(left, right, &out), S_OK);
        const CScopedBstr joined = CScopedBstr::Attach(out);
        ASSERT_TRUE(joined) << "an empty result is a BSTR too";
        EXPECT_TRUE(out != left && out != right);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(out), joined.ByteLength()), bytes);
    }
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(prefix.Get()), 8),
              BytesOf(OLESTR("4711"), 4));
    EXPECT_EQ(VarBstrCat(nullptr, nullptr, nullptr), E_INVALIDARG);
}

// Only the failed allocation fails; VarBstrCat leaves its output alone then.
TEST_F(BstrTest, FailedAllocationGivesNullOrOutOfMemory) {
    NORN_LINUX_LAYER_ONLY("only the layer can fail its allocator on demand");
    norn::test::FailPlatformAllocation(1);
    EXPECT_EQ(SysAllocString(OLESTR("abc")), nullptr);
    const CScopedBstr next(OLESTR("abc"));
    ASSERT_TRUE(next);
    BSTR out = reinterpret_cast<BSTR>(0x1);
    norn::test::FailPlatformAllocation(1);
    EXPECT_EQ(VarBstrCat(next.Get(), next.Get(), &out), E_OUTOFMEMORY);
    EXPECT_EQ(out, reinterpret_cast<BSTR>(0x1));
}

}  // namespace
