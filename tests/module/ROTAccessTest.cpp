// CROTAccess: names behind the process prefix, and its own reports through the diagnostics
// library.
#include <atlexcept.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "norn/ComApartment.h"
#include "norn/InterfacePtr.h"
#include "rot/ROTAccess.h"
#include "support/ApiUnderTest.h"
#include "support/CountingObjects.h"
#include "support/LogCapture.h"

using norn::CInterfacePtr;
using norn::test::CBstrLeakCheck;
using norn::test::CCountingObject;
using norn::test::CLogCapture;
using norn::test::FailPlatformAllocation;
using norn::test::OleString;
using norn::test::OleText;

namespace {

OleString Text(BSTR bstr) {
    return bstr != nullptr ? OleString(bstr) : OLESTR("(null)");
}

// An access and an object to register, on a thread that has not joined COM.
class ROTAccessWithoutComTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(m_object.Refs(), 0u) << "a reference was kept";
        m_bstrs.ExpectNoneLeaked();
    }

    CLogCapture m_diagnostics = CLogCapture::Diagnostics();
    CROTAccess m_access;
    CCountingObject m_object;
    CBstrLeakCheck m_bstrs;
};

// The thread has joined COM, as a host's has.
class ROTAccessTest : public ROTAccessWithoutComTest {
protected:
    norn::CComApartment m_apartment;
};

TEST_F(ROTAccessTest, PrefixIsTheProcessIdInDecimal) {
    EXPECT_EQ(Text(m_access.Prefix()), OleText(std::to_string(GetCurrentProcessId())));
    ASSERT_TRUE(m_access.SetPrefixProcessId(4711));
    EXPECT_EQ(Text(m_access.Prefix()), OLESTR("4711"));
    ASSERT_TRUE(m_access.SetPrefixProcessId(0));
    EXPECT_EQ(Text(m_access.Prefix()), Text(g_ROTAccess.Prefix())) << "0 is this process";
}

TEST_F(ROTAccessTest, RegistrationIsFoundWithThePrefixAndNotWithout) {
    DWORD cookie = 0;
    ASSERT_TRUE(m_access.RegisterIfPointer(SysAllocString(OLESTR("TarvoMeasDriver")), &m_object,
                                           &cookie, TRUE));
    IUnknown* found = nullptr;
    EXPECT_TRUE(
        m_access.NameToIfPointer(SysAllocString(OLESTR("TarvoMeasDriver")), &found, TRUE, TRUE));
    EXPECT_EQ(found, &m_object);
    CInterfacePtr<IUnknown>::Attach(found);
    EXPECT_FALSE(
        m_access.NameToIfPointer(SysAllocString(OLESTR("TarvoMeasDriver")), &found, FALSE, FALSE));
    EXPECT_EQ(found, nullptr);
    ASSERT_TRUE(m_access.RevokeIfPointer(cookie));
    EXPECT_FALSE(
        m_access.NameToIfPointer(SysAllocString(OLESTR("TarvoMeasDriver")), &found, FALSE, TRUE))
        << "revoked";
    EXPECT_TRUE(m_diagnostics.Lines().empty());
}

TEST_F(ROTAccessTest, DifferentProcessIdsDoNotSeeEachOthersNames) {
    CROTAccess other;
    ASSERT_TRUE(m_access.SetPrefixProcessId(4711));
    ASSERT_TRUE(other.SetPrefixProcessId(4712));
    DWORD cookie = 0;
    ASSERT_TRUE(m_access.RegisterIfPointer(SysAllocString(OLESTR("ErrorManager")), &m_object,
                                           &cookie, TRUE));
    IUnknown* found = nullptr;
    EXPECT_FALSE(
        other.NameToIfPointer(SysAllocString(OLESTR("ErrorManager")), &found, FALSE, TRUE));
    EXPECT_EQ(found, nullptr);
    EXPECT_TRUE(m_access.RevokeIfPointer(cookie));
}

TEST_F(ROTAccessTest, NullNameWithPrefixUsesTheBarePrefix) {
    DWORD cookie = 0;
    ASSERT_TRUE(m_access.RegisterIfPointer(nullptr, &m_object, &cookie, TRUE));
    IUnknown* found = nullptr;
    EXPECT_TRUE(m_access.NameToIfPointer(SysAllocString(m_access.Prefix()), &found, TRUE, FALSE))
        << "registered under the prefix alone";
    CInterfacePtr<IUnknown>::Attach(found);
    EXPECT_TRUE(m_access.RevokeIfPointer(cookie));
}

TEST_F(ROTAccessTest, UnregisteredNameIsReportedOnlyWhenAskedFor) {
    IUnknown* found = &m_object;
    EXPECT_FALSE(m_access.NameToIfPointer(SysAllocString(OLESTR("Nobody")), &found, FALSE, TRUE));
    EXPECT_EQ(found, nullptr);
    EXPECT_TRUE(m_diagnostics.Lines().empty()) << "report-failure FALSE reports nothing";

    EXPECT_FALSE(m_access.NameToIfPointer(SysAllocString(OLESTR("Nobody")), &found, TRUE, TRUE));
    EXPECT_EQ(found, nullptr);
    const auto reports = m_diagnostics.Fields();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0],
              (std::vector<std::string>{"CROTAccess", "212", "CROTAccess::NameToIfPointer",
                                        "Unexpected exception"}));
}

TEST_F(ROTAccessTest, UnknownCookieIsReportedWithItsOwnLine) {
    EXPECT_FALSE(m_access.RevokeIfPointer(0xDEAD));
    const auto reports = m_diagnostics.Fields();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0][1], "248");
    EXPECT_EQ(reports[0][2], "CROTAccess::RevokeIfPointer");
}

// No thread of the process has joined COM: on Windows, once one thread is in the multithreaded
// apartment, every thread that has not joined COM is taken into it implicitly.
TEST_F(ROTAccessWithoutComTest, EveryOperationFailsWithItsOwnReport) {
    bool registered = true, found = true, revoked = true;
    std::thread([&] {
        DWORD cookie = 0;
        IUnknown* object = nullptr;
        registered =
            m_access.RegisterIfPointer(SysAllocString(OLESTR("X")), &m_object, &cookie, TRUE);
        found = m_access.NameToIfPointer(SysAllocString(OLESTR("X")), &object, FALSE, TRUE);
        revoked = m_access.RevokeIfPointer(1);
    }).join();
    EXPECT_FALSE(registered);
    EXPECT_FALSE(found);
    EXPECT_FALSE(revoked);
    const auto reports = m_diagnostics.Fields();
    ASSERT_EQ(reports.size(), 3u)
        << "a failed table access is reported even without report-failure";
    EXPECT_EQ(reports[0][1], "146");
    EXPECT_EQ(reports[1][1], "212");
    EXPECT_EQ(reports[2][1], "248");
}

TEST_F(ROTAccessTest, FailedPrefixCopyReachesTheRegisteringCaller) {
    NORN_LINUX_LAYER_ONLY("fails the prefix copy on demand");
    DWORD cookie = 0;
    FailPlatformAllocation(1);
    EXPECT_THROW(m_access.RegisterIfPointer(nullptr, &m_object, &cookie, TRUE), CAtlException);
    FailPlatformAllocation(1);
    IUnknown* found = &m_object;
    EXPECT_FALSE(m_access.NameToIfPointer(nullptr, &found, TRUE, TRUE));
    EXPECT_EQ(found, &m_object) << "a failure before the lookup leaves the pointer alone";
    FailPlatformAllocation(0);
    EXPECT_TRUE(m_diagnostics.Lines().empty());
}

TEST_F(ROTAccessTest, FreeFunctionsUseTheModuleInstanceWithThePrefix) {
    DWORD cookie = 0;
    ASSERT_TRUE(ROTRegisterIfPointer(OLESTR("FreeFunction"), &m_object, &cookie));
    IUnknown* found = nullptr;
    EXPECT_TRUE(
        m_access.NameToIfPointer(SysAllocString(OLESTR("FreeFunction")), &found, TRUE, TRUE))
        << "same process, same prefix";
    CInterfacePtr<IUnknown>::Attach(found);
    EXPECT_TRUE(ROTNameToIfPointer(OLESTR("FreeFunction"), &found));
    CInterfacePtr<IUnknown>::Attach(found);
    EXPECT_TRUE(ROTRevokeIfPointer(cookie));
}

}  // namespace
