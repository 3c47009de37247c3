// BSTR layout and NULL handling as Windows has them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "norn/ScopedBstr.h"
#include "support/ApiUnderTest.h"

using norn::test::OleString;

using norn::CScopedBstr;

namespace {

uint32_t PrefixOf(BSTR bstr) {
    uint32_t count;
    std::memcpy(&count, reinterpret_cast<const char*>(bstr) - 4, 4);
    return count;
}

class BstrTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (norn::test::kLinuxLayer) norn::test::FailPlatformAllocation(0);
        m_leaks.ExpectNoneLeaked();
    }
    norn::test::CBstrLeakCheck m_leaks;
};

TEST_F(BstrTest, ByteCountPrecedesThePointerAlignedCharacters) {
    CScopedBstr text(OLESTR("Brightwork"));
    ASSERT_TRUE(text);
    EXPECT_EQ(PrefixOf(text.Get()), 20u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(text.Get()) % sizeof(void*), 0u);
    EXPECT_EQ(text.Get()[10], 0);
    EXPECT_EQ(text.Length(), 10u);
    EXPECT_EQ(text.ByteLength(), 20u);
}

TEST_F(BstrTest, NullTextGivesNullButEmptyTextGivesAnEmptyBstr) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    CScopedBstr empty(OLESTR(""));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty.Length(), 0u);
    EXPECT_EQ(empty.Get()[0], 0);
}

TEST_F(BstrTest, NullBstrHasZeroLengthsAndFreeingItDoesNothing) {
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST_F(BstrTest, AllocStringLenWithNullSourceGivesZeroFilledCharacters) {
    CScopedBstr text = CScopedBstr::Attach(SysAllocStringLen(nullptr, 4));
    ASSERT_TRUE(text);
    EXPECT_EQ(text.Length(), 4u);
    for (int i = 0; i <= 4; ++i) EXPECT_EQ(text.Get()[i], 0) << i;
}

TEST_F(BstrTest, AllocStringLenCopiesEmbeddedZeros) {
    const OLECHAR source[] = {OLESTR('a'), 0, OLESTR('b')};
    CScopedBstr text = CScopedBstr::Attach(SysAllocStringLen(source, 3));
    EXPECT_EQ(text.Length(), 3u);
    EXPECT_EQ(std::memcmp(text.Get(), source, sizeof(source)), 0);
}

TEST_F(BstrTest, OddByteLengthKeepsEmbeddedZerosAndIsTerminatedBothWays) {
    const char bytes[] = {'x', 0, 'y'};
    CScopedBstr text = CScopedBstr::Attach(SysAllocStringByteLen(bytes, 3));
    ASSERT_TRUE(text);
    EXPECT_EQ(PrefixOf(text.Get()), 3u);
    EXPECT_EQ(SysStringByteLen(text.Get()), 3u);
    EXPECT_EQ(SysStringLen(text.Get()), 1u);
    const auto* raw = reinterpret_cast<const char*>(text.Get());
    EXPECT_EQ(std::memcmp(raw, bytes, 3), 0);
    EXPECT_EQ(raw[3], 0);         // zero byte at [len]
    EXPECT_EQ(text.Get()[2], 0);  // zero WCHAR at (len + 1) / 2
}

TEST_F(BstrTest, OneByteBstrHasLengthZero) {
    CScopedBstr text = CScopedBstr::Attach(SysAllocStringByteLen("z", 1));
    EXPECT_EQ(SysStringByteLen(text.Get()), 1u);
    EXPECT_EQ(SysStringLen(text.Get()), 0u);
}

TEST_F(BstrTest, ByteLenWithNullSourceIsZeroFilled) {
    CScopedBstr text = CScopedBstr::Attach(SysAllocStringByteLen(nullptr, 5));
    ASSERT_TRUE(text);
    const auto* raw = reinterpret_cast<const unsigned char*>(text.Get());
    for (int i = 0; i < 5; ++i) EXPECT_EQ(raw[i], 0) << i;
}

TEST_F(BstrTest, ImpossibleByteLengthGivesNull) {
    EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFFFu), nullptr);
    EXPECT_EQ(SysAllocStringByteLen(nullptr, 0x80000000u), nullptr);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
}

TEST_F(BstrTest, FailedAllocationGivesNull) {
    NORN_LINUX_LAYER_ONLY("only the layer can fail its allocator on demand");
    norn::test::FailPlatformAllocation(1);
    EXPECT_EQ(SysAllocString(OLESTR("abc")), nullptr);
    CScopedBstr next(OLESTR("abc"));  // only the one allocation fails
    EXPECT_TRUE(next);
}

class VarBstrCatTest : public BstrTest {};

TEST_F(VarBstrCatTest, NullPlusNullGivesAnEmptyNonNullBstr) {
    BSTR out = nullptr;
    ASSERT_EQ(VarBstrCat(nullptr, nullptr, &out), S_OK);
    CScopedBstr result = CScopedBstr::Attach(out);
    ASSERT_TRUE(result);
    EXPECT_EQ(result.Length(), 0u);
}

TEST_F(VarBstrCatTest, NullOnEitherSideCountsAsEmpty) {
    CScopedBstr text(OLESTR("1234"));
    BSTR left = nullptr;
    BSTR right = nullptr;
    ASSERT_EQ(VarBstrCat(nullptr, text.Get(), &left), S_OK);
    ASSERT_EQ(VarBstrCat(text.Get(), nullptr, &right), S_OK);
    CScopedBstr l = CScopedBstr::Attach(left), r = CScopedBstr::Attach(right);
    EXPECT_EQ(OleString(l.Get()), OLESTR("1234"));
    EXPECT_EQ(OleString(r.Get()), OLESTR("1234"));
    EXPECT_NE(l.Get(), text.Get()) << "the result must be a new BSTR";
}

TEST_F(VarBstrCatTest, JoinsByByteLengthAndLeavesItsInputsAlone) {
    CScopedBstr prefix(OLESTR("4711"));
    CScopedBstr name(OLESTR("TarvoMeasDriver"));
    BSTR out = nullptr;
    ASSERT_EQ(VarBstrCat(prefix.Get(), name.Get(), &out), S_OK);
    CScopedBstr joined = CScopedBstr::Attach(out);
    EXPECT_EQ(OleString(joined.Get()), OLESTR("4711TarvoMeasDriver"));
    EXPECT_EQ(joined.ByteLength(), 38u);
    EXPECT_EQ(OleString(prefix.Get()), OLESTR("4711"));
    EXPECT_EQ(OleString(name.Get()), OLESTR("TarvoMeasDriver"));
}

TEST_F(VarBstrCatTest, OddByteLengthsAreJoinedBytewise) {
    CScopedBstr a = CScopedBstr::Attach(SysAllocStringByteLen("abc", 3));
    CScopedBstr b = CScopedBstr::Attach(SysAllocStringByteLen("de", 2));
    BSTR out = nullptr;
    ASSERT_EQ(VarBstrCat(a.Get(), b.Get(), &out), S_OK);
    CScopedBstr joined = CScopedBstr::Attach(out);
    EXPECT_EQ(joined.ByteLength(), 5u);
    EXPECT_EQ(std::memcmp(joined.Get(), "abcde", 5), 0);
}

TEST_F(VarBstrCatTest, NullOutPointerIsInvalidArgument) {
    EXPECT_EQ(VarBstrCat(nullptr, nullptr, nullptr), E_INVALIDARG);
}

TEST_F(VarBstrCatTest, FailedAllocationIsOutOfMemoryAndLeavesTheOutputAlone) {
    NORN_LINUX_LAYER_ONLY("only the layer can fail its allocator on demand");
    CScopedBstr a(OLESTR("a"));
    BSTR out = reinterpret_cast<BSTR>(0x1);
    norn::test::FailPlatformAllocation(1);
    EXPECT_EQ(VarBstrCat(a.Get(), a.Get(), &out), E_OUTOFMEMORY);
    EXPECT_EQ(out, reinterpret_cast<BSTR>(0x1));
}

}  // namespace
