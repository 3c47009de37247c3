// COM initialisation is tracked per thread, and the Running Object Table needs it.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <thread>

#include "norn/ComApartment.h"
#include "norn/InterfacePtr.h"
#include "support/ApiUnderTest.h"

namespace {

HRESULT TableResult() {
    norn::CInterfacePtr<IRunningObjectTable> table;
    return GetRunningObjectTable(0, table.Put());
}

HRESULT TableResultOnAThreadWithoutCom() {
    HRESULT hr = S_OK;
    std::thread([&] { hr = TableResult(); }).join();
    return hr;
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

// A single-threaded apartment is the joining thread's alone; a thread that never joined COM
// belongs to the multithreaded apartment while the process has one, and otherwise cannot use COM.
TEST(CoInitializeEx, AThreadWithoutComSharesOnlyTheMultithreadedApartment) {
    const struct {
        std::optional<DWORD> model;  // none: this thread joins no apartment
        HRESULT here;
        HRESULT elsewhere;
    } rows[] = {
        {std::nullopt, CO_E_NOTINITIALIZED, CO_E_NOTINITIALIZED},
        {COINIT_APARTMENTTHREADED, S_OK, CO_E_NOTINITIALIZED},
        {COINIT_MULTITHREADED, S_OK, S_OK},
    };
    for (const auto& row : rows) {
        std::optional<norn::CComApartment> apartment;
        if (row.model) {
            ASSERT_EQ(apartment.emplace(*row.model).Result(), S_OK);
        }
        EXPECT_EQ(TableResult(), row.here) << row.model.value_or(~0u);
        EXPECT_EQ(TableResultOnAThreadWithoutCom(), row.elsewhere) << row.model.value_or(~0u);
    }
    EXPECT_EQ(TableResultOnAThreadWithoutCom(), CO_E_NOTINITIALIZED) << "the apartment has gone";
}

}  // namespace
