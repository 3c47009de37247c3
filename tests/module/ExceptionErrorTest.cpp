// CExceptionError: ownership of its file text and error information.
#include <atlexcept.h>

#include <gtest/gtest.h>

#include "errors/ExceptionError.h"
#include "support/ApiUnderTest.h"
#include "support/CountingObjects.h"

using norn::test::CBstrLeakCheck;
using norn::test::CCountingErrorInfo;
using norn::test::FailPlatformAllocation;
using norn::test::OleString;

namespace {

TEST(CExceptionError, KeepsHresultFileAndLine) {
    const CExceptionError error(E_FAIL, kModuleSourceFile, 2489);
    EXPECT_EQ(error.Error(), E_FAIL);
    EXPECT_EQ(OleString(error.File()), OLESTR(".\\Brightwork"));
    EXPECT_EQ(error.Line(), 2489);
    EXPECT_EQ(error.ErrorInfo(), nullptr);
}

TEST(CExceptionError, CopyOfAnErrorWithoutFileHasNoFile) {
    const CExceptionError error(E_POINTER, nullptr, 7);
    const CExceptionError copy(error);
    EXPECT_EQ(copy.File(), nullptr);
    EXPECT_EQ(copy.Line(), 7);
}

// The message is made on demand and cached; a copy that shared the cache would free it twice.
TEST(CExceptionError, CopyHasItsOwnFileTextAndMessage) {
    const CExceptionError error(E_FAIL, OLESTR("CROTAccess"), 212);
    const auto* message = error.ErrorMessage();
    ASSERT_NE(message, nullptr);
    const CExceptionError copy(error);
    EXPECT_NE(copy.File(), error.File());
    EXPECT_EQ(SysStringByteLen(copy.File()), SysStringByteLen(error.File()));
    EXPECT_EQ(OleString(copy.File()), OLESTR("CROTAccess"));
    EXPECT_NE(copy.ErrorMessage(), message) << "the copy makes its own message";
    EXPECT_EQ(error.ErrorMessage(), message);
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
    NORN_LINUX_LAYER_ONLY("fails the file's allocation on demand");
    CCountingErrorInfo info;
    const CBstrLeakCheck bstrs;
    FailPlatformAllocation(1);
    try {
        CExceptionError error(E_FAIL, kModuleSourceFile, 1, &info);
        ADD_FAILURE() << "constructed without its file";
    } catch (const CAtlException& e) {
        EXPECT_EQ(e.m_hr, E_OUTOFMEMORY);
    }
    FailPlatformAllocation(0);
    EXPECT_EQ(info.Refs(), 0u);
    bstrs.ExpectNoneLeaked();
}

}  // namespace
