// Loading and unloading the module: nothing happens until the host calls an operation.
#include <gtest/gtest.h>

#include <thread>

#include "HostFixture.h"

namespace {

using norn::test::CHostFixture;
using norn::test::CLoadedModule;
using norn::test::CTempDirectory;

class ModuleLoadTest : public CHostFixture {};

TEST_F(ModuleLoadTest, LoadAndUnloadWithoutCallsTouchNothing) {
    const std::string mac = DataFile("NornData.mac");
    CTempDirectory::WriteFile(mac, "payload", 0444);
    m_module.reset();
    for (int i = 0; i < 3; ++i) {
        CLoadedModule module;
        ASSERT_TRUE(module.Loaded());
    }
    EXPECT_FALSE(CLoadedModule::IsMapped());
    EXPECT_EQ(CTempDirectory::Mode(mac), 0444u) << "no path was resolved";
    EXPECT_TRUE(m_driver.Journal().empty());
    EXPECT_EQ(m_driver.Refs(), 1u) << "only the table's reference";
    EXPECT_TRUE(Reports().empty());
    EXPECT_TRUE(m_diagnostics.Lines().empty());
    EXPECT_TRUE(m_events.Lines().empty());
}

TEST_F(ModuleLoadTest, LoadsOnAThreadWithoutCom) {
    m_module.reset();
    bool loaded = false;
    std::thread([&] {
        CLoadedModule module;
        loaded = module.Loaded() && module.Table() != nullptr;
    }).join();
    EXPECT_TRUE(loaded);
}

TEST_F(ModuleLoadTest, LooksUpTheFirmwareOfItsOwnProcessOnly) {
    UnregisterDriver();
    norn::firmware::CRotRegistration elsewhere(m_driver.Unknown(), OLESTR("TarvoMeasDriver"),
                                               GetCurrentProcessId() + 1);
    char buffer[kSerialNumberBufferSize] = {};
    EXPECT_EQ(Module().F4(buffer), 1) << "a driver behind another process's prefix is not used";
    EXPECT_TRUE(m_driver.Journal().empty());
}

}  // namespace
