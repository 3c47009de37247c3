// The checks through which every failure point raises: which answers of a driver call pass, which
// are thrown and at which of its two points, and the error information that travels with a
// failure when the object vouches for it (no routine of the module passes an object yet). Each
// failure point's own HRESULT and line are cases of the reliability suite's conformance table.
#include <gtest/gtest.h>

#include <functional>

#include "errors/Checks.h"
#include "norn/InterfacePtr.h"
#include "support/CountingObjects.h"

using norn::test::CCountingErrorInfo;

namespace {

constexpr CFailurePoint kCall = {OLESTR("CROTAccess"), 911};
constexpr CFailurePoint kStatus = {kModuleSourceFile, 2501};

// What the check threw; HRESULT S_OK when it threw nothing.
CExceptionError CaughtFrom(const std::function<void()>& check) {
    try {
        check();
    } catch (const CExceptionError& error) {
        return error;
    }
    return CExceptionError(S_OK, nullptr, 0);
}

// A driver call's HRESULT first, then its status word: any nonzero status fails.
TEST(Checks, SuccessCodesAndZeroStatusPassAnythingElseIsThrownAtItsPoint) {
    const struct {
        HRESULT hr;
        LONG status;
        HRESULT thrown;
        LONG line;
    } rows[] = {
        {S_OK, 0, S_OK, 0},
        {S_FALSE, 0, S_OK, 0},
        {0x7FFFFFFF, 0, S_OK, 0},
        {E_POINTER, 0, E_POINTER, 911},
        {static_cast<HRESULT>(0x80000000), 5, static_cast<HRESULT>(0x80000000), 911},
        {S_OK, 1, E_FAIL, 2501},
        {S_FALSE, -1, E_FAIL, 2501},
    };
    for (const auto& row : rows) {
        const CExceptionError error =
            CaughtFrom([&] { ThrowIfCallFailed(row.hr, row.status, kCall, kStatus); });
        EXPECT_EQ(error.Error(), row.thrown) << std::hex << row.hr << " " << row.status;
        EXPECT_EQ(error.Line(), row.line);
    }
}

// An object that answers for error information on every interface as it is told.
class CSupportsErrorInfo final : public norn::CComObjectBase<ISupportErrorInfo> {
public:
    explicit CSupportsErrorInfo(HRESULT answer) : m_answer(answer) {}
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID) override { return m_answer; }
    const HRESULT m_answer;
};

// The thread's error information travels with the error only when an object vouches for it on a
// named interface; otherwise it stays where it is.
TEST(Checks, ErrorInformationTravelsOnlyWhenTheObjectVouchesForIt) {
    CCountingErrorInfo pending;
    CSupportsErrorInfo vouches(S_OK), declines(E_NOINTERFACE);
    const struct {
        IUnknown* object;
        const IID* iid;
        bool travels;
    } rows[] = {{nullptr, &IID_IUnknown, false},
                {&declines, &IID_IUnknown, false},
                {&vouches, &GUID_NULL, false},
                {&vouches, &IID_IUnknown, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << "row " << &row - rows);
        ASSERT_EQ(SetErrorInfo(0, &pending), S_OK);
        const CExceptionError error =
            CaughtFrom([&] { ThrowIfFailed(E_FAIL, kCall, row.object, *row.iid); });
        auto info = norn::CInterfacePtr<IErrorInfo>::Attach(error.ErrorInfo());
        EXPECT_EQ(info.Get(), row.travels ? &pending : nullptr);
        EXPECT_EQ(error.HelpContext(), row.travels ? 42u : 0u);
        IErrorInfo* left = nullptr;
        EXPECT_EQ(GetErrorInfo(0, &left), row.travels ? S_FALSE : S_OK) << "taken only to travel";
        if (left != nullptr) left->Release();
    }
    EXPECT_EQ(pending.Refs(), 0u);
    EXPECT_EQ(vouches.Refs() + declines.Refs(), 0u) << "ISupportErrorInfo released";
}

}  // namespace
