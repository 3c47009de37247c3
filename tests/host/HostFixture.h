// CHostFixture: a host process as the firmware sets it up: the service data fixture (simulators
// registered, a fresh service data root), and the module loaded by path. Its helpers call the
// method table's entries as a host does and read back what a block holds.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/LoadedModule.h"
#include "support/ServiceDataFixture.h"

namespace norn::test {

// The document a backup writes, and the one the host's service procedure completes from it.
inline const std::string kNewDocument =
    "<?xml version='1.0' standalone='yes'?>\n<!DOCTYPE NornData>\n<NornData/>\n";
inline const std::string kIdentifiedDocument =
    "<?xml version='1.0' standalone='yes'?>\n<!DOCTYPE NornData>\n"
    "<NornData SerialNo=\"SN77\" MaterialNo=\"4711.0815.00\"/>\n";

class CHostFixture : public CServiceDataFixture {
protected:
    // What an export entry (4 or 6) handed out; the buffer has gone back through entry 21.
    struct CExported {
        LONG result;
        ULONG count;
        std::string bytes;  // the payload and the byte after it
    };

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
    // A fresh load of the module that finds `root` in the environment.
    void LoadWithRoot(const std::string& root) {
        m_module.reset();
        ASSERT_FALSE(CLoadedModule::IsMapped()) << "the next load must be a fresh one";
        setenv("TARVO_SYSTEM_ROOT_RW", root.c_str(), 1);
        m_module = std::make_unique<CLoadedModule>();
    }

    LONG Import(int entry, const std::string& payload) const {
        return Module().Entry<PFN_BRIGHTWORK_IMPORT>(entry)(
            0, reinterpret_cast<const BYTE*>(payload.data()), static_cast<LONG>(payload.size()));
    }
    CExported Export(int entry) const {
        CExported out{1, 77, {}};
        BYTE* buffer = nullptr;
        out.result = Module().Entry<PFN_BRIGHTWORK_EXPORT>(entry)(0, &buffer, &out.count);
        if (buffer != nullptr) out.bytes.assign(reinterpret_cast<char*>(buffer), out.count + 1);
        Module().Entry<PFN_BRIGHTWORK_RELEASEBUFFER>(EntryReleaseBuffer)(0, buffer);
        return out;
    }

    // The payload that a block holds as committed.
    std::string Payload(LONG block) const {
        return PayloadOf(m_driver.CommittedImage(block), block);
    }
    // The driver calls since the journal was cleared but the block reads (a rewrite's preliminary
    // reads among them), as "method arguments|" each.
    std::string JournalText() const {
        std::string text;
        for (const auto& call : m_driver.Journal()) {
            if (call.method == "ReadBlock") continue;
            text += call.method;
            for (LONG argument : call.arguments) text += " " + std::to_string(argument);
            text += "|";
        }
        return text;
    }
    void WriteDataFiles(const std::string& xml, const std::string& dds,
                        const std::string& mac) const {
        CTempDirectory::WriteFile(DataFile("NornData.xml"), xml);
        CTempDirectory::WriteFile(DataFile("NornData.dds"), dds);
        CTempDirectory::WriteFile(DataFile("NornData.mac"), mac);
    }

    std::unique_ptr<CLoadedModule> m_module;
};

}  // namespace norn::test
