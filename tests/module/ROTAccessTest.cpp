// CROTAccess: names behind the process prefix, and its own reports through the diagnostics
// library, against the real Running Object Table in the Windows parity build. (The failure points
// that need the layer's own means are cases of the reliability suite's conformance table.)
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

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
using norn::test::OleString;
using norn::test::OleText;

namespace {

using Reports = std::vector<std::vector<std::string>>;

OleString Text(BSTR bstr) {
    return bstr != nullptr ? OleString(bstr) : OLESTR("(null)");
}

// A report line of the diagnostics library as CROTAccess makes it.
std::vector<std::string> Unexpected(const char* line, const char* operation) {
    return {"CROTAccess", line, std::string("CROTAccess::") + operation, "Unexpected exception"};
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

// Found with the prefix it was registered under, not without it nor by an access with another
// process's prefix, and no more once revoked.
TEST_F(ROTAccessTest, RegistrationIsFoundWithItsPrefixOnly) {
    CROTAccess other;
    ASSERT_TRUE(other.SetPrefixProcessId(4712));
    DWORD cookie = 0;
    ASSERT_TRUE(m_access.RegisterIfPointer(SysAllocString(OLESTR("TarvoMeasDriver")), &m_object,
                                           &cookie, TRUE));
    // The object found, its reference given back at once: only the address is compared.
    const auto lookUp = [](CROTAccess& access, BOOL usePrefix) {
        IUnknown* found = nullptr;
        const BOOL result = access.NameToIfPointer(SysAllocString(OLESTR("TarvoMeasDriver")),
                                                   &found, FALSE, usePrefix);
        EXPECT_EQ(result != FALSE, found != nullptr);
        CInterfacePtr<IUnknown>::Attach(found);
        return found;
    };
    EXPECT_EQ(lookUp(m_access, TRUE), &m_object);
    EXPECT_EQ(lookUp(m_access, FALSE), nullptr);
    EXPECT_EQ(lookUp(other, TRUE), nullptr);
    ASSERT_TRUE(m_access.RevokeIfPointer(cookie));
    EXPECT_EQ(lookUp(m_access, TRUE), nullptr) << "revoked";
    EXPECT_TRUE(m_diagnostics.Lines().empty());
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

// A failed lookup is reported only when asked for; an unknown cookie always.
TEST_F(ROTAccessTest, FailuresAreReportedThroughTheDiagnosticsLibrary) {
    IUnknown* found = &m_object;
    EXPECT_FALSE(m_access.NameToIfPointer(SysAllocString(OLESTR("Nobody")), &found, FALSE, TRUE));
    EXPECT_EQ(found, nullptr);
    EXPECT_TRUE(m_diagnostics.Lines().empty()) << "report-failure FALSE reports nothing";
    EXPECT_FALSE(m_access.NameToIfPointer(SysAllocString(OLESTR("Nobody")), &found, TRUE, TRUE));
    EXPECT_FALSE(m_access.RevokeIfPointer(0xDEAD));
    EXPECT_EQ(m_diagnostics.Fields(), (Reports{Unexpected("212", "NameToIfPointer"),
                                               Unexpected("248", "RevokeIfPointer")}));
}

// No thread of the process has joined COM: on Windows, once one thread is in the multithreaded
// apartment, every thread that has not joined COM is taken into it implicitly. The table cannot
// be reached, which is reported even without report-failure.
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
    EXPECT_FALSE(registered || found || revoked);
    EXPECT_EQ(m_diagnostics.Fields(),
              (Reports{Unexpected("146", "RegisterIfPointer"), Unexpected("212", "NameToIfPointer"),
                       Unexpected("248", "RevokeIfPointer")}));
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
