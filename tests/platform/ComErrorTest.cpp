// _com_error and CAtlException with the semantics of the COM support library and ATL.
#include <comdef.h>
#if !defined(_WIN32)
#include <atlexcept.h>
#endif

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "support/CountingObjects.h"
#include "support/ApiUnderTest.h"

using norn::test::OleString;

using norn::test::CCountingErrorInfo;

namespace {

// Without fAddRef the error takes over the caller's reference, with it it takes its own;
// ErrorInfo() hands out a new one.
TEST(ComError, HoldsOneReferenceToItsErrorInfo) {
    for (const bool addRef : {false, true}) {
        CCountingErrorInfo info;
        if (!addRef) info.AddRef();
        {
            _com_error error(E_FAIL, &info, addRef);
            EXPECT_EQ(info.Refs(), 1u) << addRef;
            IErrorInfo* got = error.ErrorInfo();
            EXPECT_EQ(got, &info);
            EXPECT_EQ(info.Refs(), 2u);
            got->Release();
            EXPECT_EQ(error.HelpContext(), 42u);
        }
        EXPECT_EQ(info.Refs(), 0u) << addRef;
    }
    EXPECT_EQ(_com_error(E_FAIL).ErrorInfo(), nullptr);
    EXPECT_EQ(_com_error(E_FAIL).HelpContext(), 0u);
}

TEST(ComError, CopiesShareTheErrorInfo) {
    CCountingErrorInfo info, other;
    _com_error original(E_POINTER, &info, true);
    {
        _com_error copy(original);
        EXPECT_EQ(info.Refs(), 2u);
        EXPECT_EQ(copy.Error(), E_POINTER);
    }
    EXPECT_EQ(info.Refs(), 1u);
    const _com_error source(E_OUTOFMEMORY, &other, true);
    original = source;
    EXPECT_EQ(info.Refs(), 0u) << "assignment releases the old info";
    EXPECT_EQ(other.Refs(), 2u);
    EXPECT_EQ(original.Error(), E_OUTOFMEMORY);
}

// MinGW's _com_error keeps its message cache private, so only the layer's can be looked into.
#if !defined(_WIN32)
// Exposes the message cache so that tests can see that copies never share it.
class CInspectableError : public _com_error {
public:
    using _com_error::_com_error;
    const WCHAR* CachedMessage() const { return m_pszMsg; }
};

TEST(ComError, CopiesNeverShareTheMessage) {
    CInspectableError original(E_POINTER);
    ASSERT_NE(original.ErrorMessage(), nullptr);
    EXPECT_EQ(CInspectableError(original).CachedMessage(), nullptr);
    const CInspectableError source(E_OUTOFMEMORY);
    original = source;
    EXPECT_EQ(original.CachedMessage(), nullptr);
}
#endif

TEST(ComError, MessageIsFilledOnceAndNamesTheCode) {
    const _com_error known(E_FAIL);
    const WCHAR* first = known.ErrorMessage();
    if (!norn::test::UnderWine()) {  // Wine's system text for E_FAIL is its own
        EXPECT_EQ(OleString(first), OLESTR("Unspecified error"));
    }
    EXPECT_EQ(known.ErrorMessage(), first) << "the text is cached";
    EXPECT_EQ(OleString(_com_error(static_cast<HRESULT>(0x80001234)).ErrorMessage()),
              OLESTR("Unknown error 0x80001234"));
    const _com_error dispatch(static_cast<HRESULT>(0x80040205));
    EXPECT_EQ(OleString(dispatch.ErrorMessage()), OLESTR("IDispatch error #5"));
    EXPECT_EQ(dispatch.WCode(), 5);
    EXPECT_EQ(known.WCode(), 0);
}

// MinGW ships no ATL to check the layer's CAtlException against.
#if !defined(_WIN32)
TEST(AtlThrow, ThrowsACAtlExceptionThatIsNoComError) {
    const auto thrown = [](void (*action)()) -> HRESULT {
        try {
            action();
        } catch (const _com_error&) {
            ADD_FAILURE() << "CAtlException must not be a _com_error";
        } catch (const CAtlException& e) {
            EXPECT_EQ(static_cast<HRESULT>(e), e.m_hr);
            return e.m_hr;
        }
        return S_OK;
    };
    EXPECT_EQ(thrown([] { ATL::AtlThrow(E_OUTOFMEMORY); }), E_OUTOFMEMORY);
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    EXPECT_EQ(thrown([] { ATL::AtlThrowLastWin32(); }), static_cast<HRESULT>(0x800700CB));
}
#endif

TEST(HresultMacros, MapWin32CodesAndTestBit31) {
    const std::pair<long, uint32_t> cases[] = {{0, 0},
                                               {203, 0x800700CB},
                                               {5, 0x80070005},
                                               {0x12345, 0x80072345},
                                               {static_cast<long>(E_FAIL), 0x80004005}};
    for (const auto& [code, hresult] : cases) {
        EXPECT_EQ(static_cast<uint32_t>(HRESULT_FROM_WIN32(code)), hresult) << code;
    }
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_TRUE(FAILED(static_cast<HRESULT>(0x80000000)));
    EXPECT_EQ(sizeof(HRESULT), 4u);
    EXPECT_EQ(sizeof(LONG), 4u);
    EXPECT_EQ(sizeof(DWORD), 4u);
    EXPECT_EQ(sizeof(BOOL), 4u);
    EXPECT_EQ(sizeof(WCHAR), 2u);
}

}  // namespace
