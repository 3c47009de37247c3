// CExceptionError: ownership of its file text and error information. Every report takes a copy
// of the error, so a copy must own what it holds: a shared file text or message would be freed
// twice, a missing reference released too often.
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

// The message is made on demand and cached, so the copy makes its own; a file is copied byte for
// byte, and no file stays none.
TEST(CExceptionError, CopyHasItsOwnFileTextAndMessage) {
    const CExceptionError error(E_FAIL, OLESTR("CROTAccess"), 212);
    const auto* message = error.ErrorMessage();
    ASSERT_NE(message, nullptr);
    const CExceptionError copy(error);
    EXPECT_NE(copy.File(), error.File());
    EXPECT_EQ(SysStringByteLen(copy.File()), SysStringByteLen(error.File()));
    EXPECT_EQ(OleString(copy.File()), OLESTR("CROTAccess"));
    EXPECT_EQ(copy.Line(), 212);
    EXPECT_NE(copy.ErrorMessage(), message);
    EXPECT_EQ(error.ErrorMessage(), message);
    const CExceptionError withoutFile(E_POINTER, nullptr, 7);
    EXPECT_EQ(CExceptionError(withoutFile).File(), nullptr);
}

TEST(CExceptionError, CopiesShareTheErrorInformationAndGiveItBack) {
    CCountingErrorInfo info;
    {
        const CExceptionError error(E_FAIL, kModuleSourceFile, 1, &info);
        EXPECT_EQ(info.Refs(), 1u) << "the error takes a reference of its own";
        const CExceptionError copy(error);
        EXPECT_EQ(info.Refs(), 2u);
    }
    EXPECT_EQ(info.Refs(), 0u);
}

TEST(CExceptionError, FileThatCannotBeAllocatedThrowsOutOfMemoryAndLeaksNothing) {
    NORN_LINUX_LAYER_ONLY("fails the file's allocation on demand");
    CCountingErrorInfo info;
    const CBstrLeakCheck bstrs;
    FailPlatformAllocation(1);
    EXPECT_THROW(CExceptionError(E_FAIL, kModuleSourceFile, 1, &info), CAtlException);
    FailPlatformAllocation(0);
    EXPECT_EQ(info.Refs(), 0u);
    bstrs.ExpectNoneLeaked();
}

}  // namespace
