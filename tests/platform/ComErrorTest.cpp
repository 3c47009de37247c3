// _com_error and CAtlException with the semantics of the COM support library and ATL.
#include <comdef.h>
#if !defined(_WIN32)
#include <atlexcept.h>
#endif

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "support/ApiUnderTest.h"
#include "support/CountingObjects.h"

using norn::test::CCountingErrorInfo;
using norn::test::OleString;

namespace {

// The error takes a reference of its own when asked (the module's errors ask with fAddRef), and
// takes over the caller's otherwise; ErrorInfo() hands out a new one. Copies share the error info,
// and an assignment releases the one it replaces.
TEST(ComError, HoldsOneReferenceToItsErrorInfo) {
    CCountingErrorInfo info, other;
    {
        _com_error error(E_FAIL, &info, true);
        EXPECT_EQ(info.Refs(), 1u);
        IErrorInfo* got = error.ErrorInfo();
        EXPECT_EQ(got, &info);
        EXPECT_EQ(info.Refs(), 2u);
        got->Release();
        EXPECT_EQ(error.HelpContext(), 42u);
        const _com_error copy(error);
        EXPECT_EQ(info.Refs(), 2u);
        EXPECT_EQ(copy.Error(), E_FAIL);
        error = _com_error(E_OUTOFMEMORY, &other, true);
        EXPECT_EQ(info.Refs(), 1u) << "assignment releases the old info";
        EXPECT_EQ(other.Refs(), 1u);
        EXPECT_EQ(error.Error(), E_OUTOFMEMORY);
    }
    EXPECT_EQ(info.Refs(), 0u);
    EXPECT_EQ(other.Refs(), 0u);
    EXPECT_EQ(_com_error(E_FAIL).ErrorInfo(), nullptr);
    EXPECT_EQ(_com_error(E_FAIL).HelpContext(), 0u);
    info.AddRef();  // the caller's reference, which an error without fAddRef takes over
    { const _com_error error(E_FAIL, &info, false); }
    EXPECT_EQ(info.Refs(), 0u);
}

// The text is made once and cached, and never shared: a copy makes its own (a shared one would
// be freed twice), an assignment drops the one it had. A WCode names the IDispatch error, any
// other unknown code its value.
TEST(ComError, MessageIsCachedPerObjectAndNamesTheCode) {
    _com_error known(E_FAIL);
    const WCHAR* first = known.ErrorMessage();
    if (!norn::test::UnderWine()) {  // Wine's system text for E_FAIL is its own
        EXPECT_EQ(OleString(first), OLESTR("Unspecified error"));
    }
    EXPECT_EQ(known.ErrorMessage(), first) << "the text is cached";
    EXPECT_NE(_com_error(known).ErrorMessage(), first) << "a copy makes its own";
    EXPECT_EQ(known.WCode(), 0);
    EXPECT_EQ(OleString(_com_error(static_cast<HRESULT>(0x80001234)).ErrorMessage()),
              OLESTR("Unknown error 0x80001234"));
    const _com_error dispatch(static_cast<HRESULT>(0x80040205));
    EXPECT_EQ(OleString(dispatch.ErrorMessage()), OLESTR("IDispatch error #5"));
    EXPECT_EQ(dispatch.WCode(), 5);
    known = dispatch;
    EXPECT_NE(known.ErrorMessage(), dispatch.ErrorMessage());
    EXPECT_EQ(OleString(known.ErrorMessage()), OLESTR("IDispatch error #5"));
}

// MinGW ships no ATL to check the layer's CAtlException against: this is the layer's alone.
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

// A Win32 code maps into facility 7 with bit 31 set; 0 stays 0, an HRESULT stays as it is.
TEST(HresultMacros, MapWin32Codes) {
    const std::pair<long, uint32_t> cases[] = {{0, 0},
                                               {203, 0x800700CB},
                                               {5, 0x80070005},
                                               {0x12345, 0x80072345},
                                               {static_cast<long>(E_FAIL), 0x80004005}};
    for (const auto& [code, hresult] : cases) {
        EXPECT_EQ(static_cast<uint32_t>(HRESULT_FROM_WIN32(code)), hresult) << code;
    }
    static_assert(sizeof(HRESULT) == 4 && sizeof(LONG) == 4 && sizeof(DWORD) == 4 &&
                  sizeof(BOOL) == 4 && sizeof(WCHAR) == 2);
}

}  // namespace
