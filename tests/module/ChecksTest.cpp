// ThrowIfFailed, ThrowIfNull and ThrowFail.
#include <gtest/gtest.h>

#include "errors/Checks.h"
#include "norn/InterfacePtr.h"
#include "support/ApiUnderTest.h"
#include "support/CountingObjects.h"

using norn::test::CCountingErrorInfo;
using norn::test::OleString;

namespace {

template <class Action>
CExceptionError CaughtFrom(Action action) {
    try {
        action();
    } catch (const CExceptionError& error) {
        return error;
    }
    ADD_FAILURE() << "nothing was thrown";
    return CExceptionError(S_OK, nullptr, 0);
}

TEST(ThrowIfFailed, SuccessCodesPass) {
    EXPECT_NO_THROW(ThrowIfFailed(S_OK, {kModuleSourceFile, 1}));
    EXPECT_NO_THROW(ThrowIfFailed(S_FALSE, {kModuleSourceFile, 1}));
    EXPECT_NO_THROW(ThrowIfFailed(0x7FFFFFFF, {kModuleSourceFile, 1}));
}

TEST(ThrowIfFailed, AnyFailureIsThrownUnchangedWithFileAndLine) {
    const CExceptionError error = CaughtFrom([] {
        ThrowIfFailed(static_cast<HRESULT>(0x80000000), {kModuleSourceFile, 2497});
    });
    EXPECT_EQ(error.Error(), static_cast<HRESULT>(0x80000000));
    EXPECT_EQ(OleString(error.File()), OLESTR(".\\Brightwork"));
    EXPECT_EQ(error.Line(), 2497);
}

TEST(ThrowIfFailed, WithoutAnObjectTheThreadsErrorInformationStaysWhereItIs) {
    CCountingErrorInfo pending;
    ASSERT_EQ(SetErrorInfo(0, &pending), S_OK);
    const CExceptionError error = CaughtFrom([] {
        ThrowIfFailed(E_FAIL, {kModuleSourceFile, 1}, nullptr, IID_IUnknown);
    });
    EXPECT_EQ(error.ErrorInfo(), nullptr);
    IErrorInfo* left = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &left), S_OK) << "GetErrorInfo must not have been called";
    if (left != nullptr) left->Release();
}

// An object that vouches for error information on every interface.
class CSupportsErrorInfo final : public norn::CComObjectBase<ISupportErrorInfo> {
public:
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }
};

TEST(ThrowIfFailed, ObjectThatSupportsErrorInfoHandsItToTheError) {
    CCountingErrorInfo pending;
    CSupportsErrorInfo object;
    ASSERT_EQ(SetErrorInfo(0, &pending), S_OK);
    {
        const CExceptionError error = CaughtFrom([&] {
            ThrowIfFailed(E_FAIL, {kModuleSourceFile, 1}, &object, IID_IUnknown);
        });
        auto info = norn::CInterfacePtr<IErrorInfo>::Attach(error.ErrorInfo());
        EXPECT_EQ(info.Get(), &pending);
        EXPECT_EQ(error.HelpContext(), 42u);
    }
    EXPECT_EQ(pending.Refs(), 0u);
    EXPECT_EQ(object.Refs(), 0u) << "ISupportErrorInfo released";
    ASSERT_EQ(SetErrorInfo(0, &pending), S_OK);
    const CExceptionError withoutId = CaughtFrom([&] {
        ThrowIfFailed(E_FAIL, {kModuleSourceFile, 1}, &object, GUID_NULL);
    });
    EXPECT_EQ(withoutId.ErrorInfo(), nullptr) << "the all-zero id asks for nothing";
    ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK);
}

TEST(ThrowIfNull, NullIsPointerErrorAtTheGivenPlace) {
    int value = 0;
    EXPECT_NO_THROW(ThrowIfNull(&value, {kModuleSourceFile, 1}));
    const CExceptionError error = CaughtFrom([] {
        ThrowIfNull(nullptr, {OLESTR("CROTAccess"), 911});
    });
    EXPECT_EQ(error.Error(), E_POINTER);
    EXPECT_EQ(OleString(error.File()), OLESTR("CROTAccess"));
    EXPECT_EQ(error.Line(), 911);
}

TEST(ThrowFail, IsUnspecifiedFailureAtTheGivenPlace) {
    const CExceptionError error = CaughtFrom([] { ThrowFail({kModuleSourceFile, 2501}); });
    EXPECT_EQ(error.Error(), E_FAIL);
    EXPECT_EQ(error.Line(), 2501);
}

}  // namespace
