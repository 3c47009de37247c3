// CInterfacePtr ownership, and interface ids written from text.
#include <gtest/gtest.h>

#include "norn/InterfacePtr.h"
#include "support/CountingObjects.h"

using norn::CInterfacePtr;
using norn::test::CCountingObject;

namespace {

TEST(InterfacePtr, AttachAdoptsAndShareAddsAReference) {
    CCountingObject object;
    {
        object.AddRef();
        auto adopted = CInterfacePtr<IUnknown>::Attach(&object);
        EXPECT_EQ(object.Refs(), 1u);
        auto shared = CInterfacePtr<IUnknown>::Share(&object);
        EXPECT_EQ(object.Refs(), 2u);
    }
    EXPECT_EQ(object.Refs(), 0u);
}

TEST(InterfacePtr, MoveTransfersWithoutCounting) {
    CCountingObject object;
    auto first = CInterfacePtr<IUnknown>::Share(&object);
    CInterfacePtr<IUnknown> second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(object.Refs(), 1u);
    CInterfacePtr<IUnknown> third;
    third = std::move(second);
    EXPECT_EQ(object.Refs(), 1u);
    third.Reset();
    EXPECT_EQ(object.Refs(), 0u);
}

TEST(InterfacePtr, PutReleasesWhatItHeld) {
    CCountingObject first, second;
    auto ptr = CInterfacePtr<IUnknown>::Share(&first);
    ASSERT_EQ(second.QueryInterface(IID_IUnknown, ptr.PutVoid()), S_OK);
    EXPECT_EQ(first.Refs(), 0u);
    EXPECT_EQ(second.Refs(), 1u);
}

TEST(InterfacePtr, QueryGivesEmptyForAMissingInterface) {
    CCountingObject object;
    auto unknown = CInterfacePtr<IUnknown>::Share(&object);
    EXPECT_FALSE(unknown.Query<IErrorInfo>());
    EXPECT_EQ(object.Refs(), 1u);
    {
        auto again = unknown.Query<IUnknown>();
        EXPECT_EQ(again.Get(), &object);
        EXPECT_EQ(object.Refs(), 2u);
    }
    EXPECT_FALSE(CInterfacePtr<IUnknown>().Query<IUnknown>());
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
