// CInterfacePtr ownership, and interface ids written from text.
#include <gtest/gtest.h>

#include "norn/InterfacePtr.h"
#include "support/CountingObjects.h"

using norn::CInterfacePtr;
using norn::test::CCountingObject;

namespace {

// Attach adopts a reference and Share adds one; a move transfers it without counting, Put and a
// move into an occupied pointer release what it held, and Query hands out a new reference or,
// for a missing interface, nothing.
TEST(InterfacePtr, OwnsExactlyTheReferencesItHandsOutOrAdopts) {
    CCountingObject first, second;
    first.AddRef();
    auto adopted = CInterfacePtr<IUnknown>::Attach(&first);
    EXPECT_EQ(first.Refs(), 1u);
    auto shared = CInterfacePtr<IUnknown>::Share(&first);
    EXPECT_EQ(first.Refs(), 2u);
    CInterfacePtr<IUnknown> moved(std::move(shared));
    EXPECT_FALSE(shared);
    EXPECT_EQ(first.Refs(), 2u);
    moved = CInterfacePtr<IUnknown>::Share(&second);
    EXPECT_EQ(first.Refs(), 1u) << "a move into an occupied pointer releases what it held";
    ASSERT_EQ(second.QueryInterface(IID_IUnknown, adopted.PutVoid()), S_OK);
    EXPECT_EQ(first.Refs(), 0u) << "Put releases what it held";
    EXPECT_EQ(second.Refs(), 2u);
    EXPECT_FALSE(moved.Query<IErrorInfo>());
    EXPECT_EQ(moved.Query<IUnknown>().Get(), &second);
    EXPECT_EQ(second.Refs(), 2u) << "the query's reference went with its pointer";
    EXPECT_FALSE(CInterfacePtr<IUnknown>().Query<IUnknown>());
    moved.Reset();
    adopted.Reset();
    EXPECT_EQ(second.Refs(), 0u);
}

TEST(GuidFromText, ReadsTheRegistryFormWithOrWithoutBraces) {
    constexpr GUID braced = norn::GuidFromText("{B41F6C1E-BC0C-4DF5-B2B4-C60897ED9FC5}");
    static_assert(braced.Data1 == 0xB41F6C1E && braced.Data2 == 0xBC0C && braced.Data3 == 0x4DF5);
    static_assert(braced.Data4[0] == 0xB2 && braced.Data4[1] == 0xB4 && braced.Data4[7] == 0xC5);
    EXPECT_TRUE(IsEqualGUID(braced, norn::GuidFromText("b41f6c1e-bc0c-4df5-b2b4-c60897ed9fc5")));
    EXPECT_FALSE(IsEqualGUID(braced, GUID_NULL));
    const GUID unknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    EXPECT_TRUE(IsEqualGUID(IID_IUnknown, unknown));
}

}  // namespace
