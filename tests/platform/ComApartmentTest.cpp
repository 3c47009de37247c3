// COM initialisation is tracked per thread, and the Running Object Table needs it.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "norn/ComApartment.h"
#include "norn/InterfacePtr.h"
#include "support/ApiUnderTest.h"

namespace {

HRESULT TableResult() {
    norn::CInterfacePtr<IRunningObjectTable> table;
    return GetRunningObjectTable(0, table.Put());
}

TEST(CoInitializeEx, CountsPerThreadAndRefusesTheOtherModel) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
    EXPECT_EQ(TableResult(), S_OK) << "one CoInitializeEx is still outstanding";
    CoUninitialize();
    EXPECT_EQ(TableResult(), CO_E_NOTINITIALIZED);
}

// A single-threaded apartment is the joining thread's alone. (A multithreaded one is joined
// implicitly by every thread that never joined COM: RunningObjectTableTest covers that.)
TEST(CoInitializeEx, OtherThreadsAreNotInitialisedByThisOne) {
    norn::CComApartment apartment(COINIT_APARTMENTTHREADED);
    ASSERT_EQ(apartment.Result(), S_OK);
    HRESULT other = S_OK;
    std::thread([&] { other = TableResult(); }).join();
    EXPECT_EQ(other, CO_E_NOTINITIALIZED);
    EXPECT_EQ(TableResult(), S_OK);
}

TEST(CoInitializeEx, ReservedArgumentMustBeNull) {
    if (norn::test::UnderWine()) GTEST_SKIP() << "Wine accepts a reserved value, for old programs";
    int reserved = 0;
    EXPECT_EQ(CoInitializeEx(&reserved, COINIT_MULTITHREADED), E_INVALIDARG);
    EXPECT_EQ(TableResult(), CO_E_NOTINITIALIZED);
}

}  // namespace
