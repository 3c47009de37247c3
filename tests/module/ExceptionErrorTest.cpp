// CExceptionError: ownership of its file text and error information.
#include <atlexcept.h>

#include <gtest/gtest.h>

#include "errors/ExceptionError.h"
#include "norn/PlatformTestHooks.h"
#include "support/CountingObjects.h"

using norn::test::CCountingErrorInfo;

namespace {

// Exposes the message cache, which a copy must never share.
class CInspectable : public CExceptionError {
public:
    using CExceptionError::CExceptionError;
    CInspectable(const CExceptionError& other) : CExceptionError(other) {}
    const WCHAR* CachedMessage() const { return m_pszMsg; }
};

TEST(CExceptionError, KeepsHresultFileAndLine) {
    const CExceptionError error(E_FAIL, kModuleSourceFile, 2489);
    EXPECT_EQ(error.Error(), E_FAIL);
    EXPECT_EQ(std::u16string(error.File()), u".\\Brightwork");
    EXPECT_EQ(error.Line(), 2489);
    EXPECT_EQ(error.ErrorInfo(), nullptr);
}

TEST(CExceptionError, CopyOfAnErrorWithoutFileHasNoFile) {
    const CExceptionError error(E_POINTER, nullptr, 7);
    const CExceptionError copy(error);
    EXPECT_EQ(copy.File(), nullptr);
    EXPECT_EQ(copy.Line(), 7);
}

TEST(CExceptionError, CopyHasItsOwnFileTextAndNoMessage) {
    CInspectable error(E_FAIL, OLESTR("CROTAccess"), 212);
    ASSERT_NE(error.ErrorMessage(), nullptr);
    const CInspectable copy(static_cast<const CExceptionError&>(error));
    EXPECT_NE(copy.File(), error.File());
    EXPECT_EQ(SysStringByteLen(copy.File()), SysStringByteLen(error.File()));
    EXPECT_EQ(std::u16string(copy.File()), u"CROTAccess");
    EXPECT_EQ(copy.CachedMessage(), nullptr);
}

TEST(CExceptionError, CopiesShareTheErrorInformationAndGiveItBack) {
    CCountingErrorInfo info;
    {
        const CExceptionError error(E_FAIL, kModuleSourceFile, 1, &info);
        EXPECT_EQ(info.Refs(), 1u) << "the error takes a reference of its own";
        {
            const CExceptionError copy(error);
            EXPECT_EQ(info.Refs(), 2u);
        }
        EXPECT_EQ(info.Refs(), 1u);
    }
    EXPECT_EQ(info.Refs(), 0u);
}

TEST(CExceptionError, CaughtAsComError) {
    try {
        throw CExceptionError(E_FAIL, kModuleSourceFile, 907);
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), E_FAIL);
        return;
    }
    FAIL() << "not caught as _com_error";
}

TEST(CExceptionError, FileThatCannotBeAllocatedThrowsOutOfMemoryAndLeaksNothing) {
    CCountingErrorInfo info;
    const LONG live = NornLiveBstrCount();
    NornFailPlatformAllocation(1);
    try {
        CExceptionError error(E_FAIL, kModuleSourceFile, 1, &info);
        ADD_FAILURE() << "constructed without its file";
    } catch (const CAtlException& e) {
        EXPECT_EQ(e.m_hr, E_OUTOFMEMORY);
    }
    NornFailPlatformAllocation(0);
    EXPECT_EQ(info.Refs(), 0u);
    EXPECT_EQ(NornLiveBstrCount(), live);
}

}  // namespace
