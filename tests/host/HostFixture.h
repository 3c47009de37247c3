// CHostFixture: a host process as the firmware sets it up: the service data fixture (simulators
// registered, a fresh service data root), and the module loaded by path.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "support/LoadedModule.h"
#include "support/ServiceDataFixture.h"

namespace norn::test {

class CHostFixture : public CServiceDataFixture {
protected:
    void SetUp() override {
        CServiceDataFixture::SetUp();
        m_module = std::make_unique<CLoadedModule>();
        ASSERT_TRUE(m_module->Loaded()) << dlerror();
    }
    void TearDown() override {
        m_module.reset();
        CServiceDataFixture::TearDown();
    }

    const CLoadedModule& Module() const { return *m_module; }

    std::unique_ptr<CLoadedModule> m_module;
};

}  // namespace norn::test
