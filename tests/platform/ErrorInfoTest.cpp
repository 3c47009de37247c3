// The per-thread error information slot.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "support/CountingObjects.h"

using norn::test::CCountingErrorInfo;

namespace {

// The slot holds one reference of its own; GetErrorInfo hands it to the caller and empties the
// slot, and replacing or clearing the slot releases what it held. Another thread sees its own
// empty slot, COM or not; reserved values and a null out-pointer are refused.
TEST(ErrorInfo, SlotOfTheThreadHoldsOneReferenceAndHandsItOver) {
    CCountingErrorInfo first, second;
    IErrorInfo* info = reinterpret_cast<IErrorInfo*>(0x1);
    EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
    EXPECT_EQ(info, nullptr);
    ASSERT_EQ(SetErrorInfo(0, &first), S_OK);
    ASSERT_EQ(SetErrorInfo(0, &second), S_OK);
    EXPECT_EQ(first.Refs(), 0u);
    EXPECT_EQ(second.Refs(), 1u);
    HRESULT other = S_OK;
    std::thread([&other] {
        IErrorInfo* elsewhere = nullptr;
        other = GetErrorInfo(0, &elsewhere);
    }).join();
    EXPECT_EQ(other, S_FALSE);
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    EXPECT_EQ(info, &second);
    EXPECT_EQ(second.Refs(), 1u) << "the slot's reference moved to the caller";
    EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE) << "the slot is empty after one GetErrorInfo";
    second.Release();
    EXPECT_EQ(SetErrorInfo(1, &first), E_INVALIDARG);
    ASSERT_EQ(SetErrorInfo(0, &first), S_OK);
    ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK);
    EXPECT_EQ(first.Refs(), 0u) << "cleared, and the refused call took none";
    EXPECT_EQ(GetErrorInfo(1, &info), E_INVALIDARG);
    EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
}

}  // namespace
