// _com_error and CAtlException with the semantics of the COM support library and ATL.
#include <atlexcept.h>
#include <comdef.h>

#include <gtest/gtest.h>

#include <string>

#include "support/CountingObjects.h"

using norn::test::CCountingErrorInfo;

namespace {

// Exposes the message cache so that tests can see that copies never share it.
class CInspectableError : public _com_error {
public:
    using _com_error::_com_error;
    const WCHAR* CachedMessage() const { return m_pszMsg; }
};

TEST(ComError, WithoutAddRefTakesOverTheCallersReference) {
    CCountingErrorInfo info;
    info.AddRef();  // the caller's reference, handed over
    {
        _com_error error(E_FAIL, &info);
        EXPECT_EQ(info.Refs(), 1u);
    }
    EXPECT_EQ(info.Refs(), 0u);
}

TEST(ComError, WithAddRefTakesAReferenceOfItsOwn) {
    CCountingErrorInfo info;
    {
        _com_error error(E_FAIL, &info, true);
        EXPECT_EQ(info.Refs(), 1u);
    }
    EXPECT_EQ(info.Refs(), 0u);
}

TEST(ComError, CopySharesTheErrorInfoButNeverTheMessage) {
    CCountingErrorInfo info;
    CInspectableError original(E_POINTER, &info, true);
    ASSERT_NE(original.ErrorMessage(), nullptr);
    {
        CInspectableError copy(original);
        EXPECT_EQ(info.Refs(), 2u);
        EXPECT_EQ(copy.Error(), E_POINTER);
        EXPECT_EQ(copy.CachedMessage(), nullptr);
    }
    EXPECT_EQ(info.Refs(), 1u);
}

TEST(ComError, AssignmentReleasesTheOldInfoAndSharesTheNew) {
    CCountingErrorInfo first, second;
    CInspectableError target(E_FAIL, &first, true);
    target.ErrorMessage();
    const CInspectableError source(E_OUTOFMEMORY, &second, true);
    target = source;
    EXPECT_EQ(first.Refs(), 0u);
    EXPECT_EQ(second.Refs(), 2u);
    EXPECT_EQ(target.Error(), E_OUTOFMEMORY);
    EXPECT_EQ(target.CachedMessage(), nullptr);
}

TEST(ComError, ErrorInfoReturnsANewReference) {
    CCountingErrorInfo info;
    _com_error error(E_FAIL, &info, true);
    IErrorInfo* got = error.ErrorInfo();
    EXPECT_EQ(got, &info);
    EXPECT_EQ(info.Refs(), 2u);
    got->Release();
    EXPECT_EQ(error.HelpContext(), 42u);
    EXPECT_EQ(_com_error(E_FAIL).ErrorInfo(), nullptr);
    EXPECT_EQ(_com_error(E_FAIL).HelpContext(), 0u);
}

TEST(ComError, MessageIsFilledOnceAndNamesTheCode) {
    const _com_error known(E_FAIL);
    const WCHAR* first = known.ErrorMessage();
    EXPECT_EQ(std::u16string(first), u"Unspecified error");
    EXPECT_EQ(known.ErrorMessage(), first) << "the text is cached";
    EXPECT_EQ(std::u16string(_com_error(static_cast<HRESULT>(0x80001234)).ErrorMessage()),
              u"Unknown error 0x80001234");
    EXPECT_EQ(std::u16string(_com_error(static_cast<HRESULT>(0x80040205)).ErrorMessage()),
              u"IDispatch error #5");
}

TEST(ComError, CaughtByReferenceAsThrown) {
    try {
        throw _com_error(E_INVALIDARG);
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), E_INVALIDARG);
        EXPECT_EQ(error.WCode(), 0);
    }
}

TEST(AtlThrow, ThrowsACAtlExceptionThatIsNoComError) {
    bool caughtAsAtl = false;
    try {
        try {
            ATL::AtlThrow(E_OUTOFMEMORY);
        } catch (const _com_error&) {
            FAIL() << "CAtlException must not be a _com_error";
        }
    } catch (const CAtlException& e) {
        caughtAsAtl = true;
        EXPECT_EQ(static_cast<HRESULT>(e), E_OUTOFMEMORY);
    }
    EXPECT_TRUE(caughtAsAtl);
}

TEST(AtlThrow, LastWin32ErrorBecomesItsHresult) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    try {
        ATL::AtlThrowLastWin32();
    } catch (const CAtlException& e) {
        EXPECT_EQ(e.m_hr, static_cast<HRESULT>(0x800700CB));
    }
}

struct Win32Case {
    long code;
    uint32_t hresult;
};

class HresultFromWin32 : public ::testing::TestWithParam<Win32Case> {};

TEST_P(HresultFromWin32, MapsAsWindowsDoes) {
    EXPECT_EQ(static_cast<uint32_t>(HRESULT_FROM_WIN32(GetParam().code)), GetParam().hresult);
}

INSTANTIATE_TEST_SUITE_P(Codes, HresultFromWin32,
                         ::testing::Values(Win32Case{0, 0}, Win32Case{203, 0x800700CB},
                                           Win32Case{5, 0x80070005}, Win32Case{0x12345, 0x80072345},
                                           Win32Case{static_cast<long>(E_FAIL), 0x80004005}));

TEST(HresultMacros, SuccessIsBit31Clear) {
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_TRUE(FAILED(static_cast<HRESULT>(0x80000000)));
    EXPECT_EQ(sizeof(HRESULT), 4u);
    EXPECT_EQ(sizeof(LONG), 4u);
    EXPECT_EQ(sizeof(DWORD), 4u);
    EXPECT_EQ(sizeof(BOOL), 4u);
    EXPECT_EQ(sizeof(WCHAR), 2u);
}

}  // namespace
