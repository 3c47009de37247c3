#include "BenchContext.h"

#include <cstdlib>
#include <stdexcept>

#include "PosixFiles.h"

namespace norn::bench {

std::string ModulePath() {
    return NORN_MODULE_PATH;
}

std::string BenchDirectory() {
    const char* directory = std::getenv("NORN_BENCH_DIR");
    return directory != nullptr && *directory != 0 ? directory : NORN_BENCH_DEFAULT_DIR;
}

CBenchContext& CBenchContext::Instance() {
    static CBenchContext context;
    return context;
}

CBenchContext::CBenchContext() : m_firmware(BenchDirectory()) {}

CModuleExports& CBenchContext::Module() {
    if (!m_module) m_module = std::make_unique<CModuleExports>(ModulePath());
    return *m_module;
}

namespace {

// The backup's document with the identification attributes on its root element, in the form
// Qt writes an attribute: the host's step between a backup and a restore.
std::string AddIdentification(const std::string& document) {
    const std::string root = "<NornData";
    const size_t at = document.find(root);
    if (at == std::string::npos) throw std::runtime_error("the backup wrote no NornData root");
    std::string result = document;
    result.insert(at + root.size(), " SerialNo=\"SN12345678\" MaterialNo=\"1234.5678.90\"");
    return result;
}

}  // namespace

const CServiceDataBytes& CBenchContext::Bytes() {
    if (m_bytes) return *m_bytes;
    m_firmware.ResetInstrument();
    if (Module().F3() != kBrightworkSucceeded) throw std::runtime_error("the first backup failed");
    auto bytes = std::make_unique<CServiceDataBytes>();
    bytes->document = posix::ReadWholeFile(DataFile("NornData.xml"));
    bytes->restoreDocument = AddIdentification(bytes->document);
    bytes->deviceDataSet = posix::ReadWholeFile(DataFile("NornData.dds"));
    bytes->macAddress = posix::ReadWholeFile(DataFile("NornData.mac"));
    m_bytes = std::move(bytes);
    return *m_bytes;
}

void CBenchContext::WriteRestoreInput() {
    const CServiceDataBytes& bytes = Bytes();
    posix::WriteWholeFile(DataFile("NornData.xml"), bytes.restoreDocument);
    posix::WriteWholeFile(DataFile("NornData.dds"), bytes.deviceDataSet);
    posix::WriteWholeFile(DataFile("NornData.mac"), bytes.macAddress);
}

}  // namespace norn::bench
