// The service tool's host side: COM, Running Object Table, environment, module calls, reports.
#include "ServiceHost.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "norn/FirmwareNames.h"

namespace norn::tool {

namespace {

// The largest byte count that F6 or F7 hands the driver.
constexpr size_t kWriteTextMinimum = 13;
constexpr const char* kExports[] = {"F2", "F3", "F4", "F5", "F6", "F7", "F8"};
constexpr int kEntries[] = {EntryDeviceDataSetImport, EntryDeviceDataSetExport,
                            EntryMacAddressImport,    EntryMacAddressExport,
                            EntryReleaseBuffer,       EntryBeginDeferredCommit,
                            EntryEndDeferredCommit};

// Gives a buffer that entry 4 or 6 handed out back through entry 21.
class CExportedBuffer {
public:
    explicit CExportedBuffer(PFN_BRIGHTWORK_RELEASEBUFFER release) : m_release(release) {}
    ~CExportedBuffer() {
        if (m_buffer != nullptr) m_release(0, m_buffer);
    }
    CExportedBuffer(const CExportedBuffer&) = delete;
    CExportedBuffer& operator=(const CExportedBuffer&) = delete;

    BYTE** Receive() noexcept { return &m_buffer; }
    const BYTE* Get() const noexcept { return m_buffer; }

private:
    PFN_BRIGHTWORK_RELEASEBUFFER m_release;
    BYTE* m_buffer = nullptr;
};

}  // namespace

CModuleLibrary::CModuleLibrary(const std::string& path)
    : m_handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}

CModuleLibrary::~CModuleLibrary() {
    if (m_handle != nullptr) dlclose(m_handle);
}

void* CModuleLibrary::Symbol(const char* name) const {
    return dlsym(m_handle, name);
}

CServiceHost::CServiceHost(const CToolOptions& options, const CInstrument& instrument,
                           CRunOutput& output)
    : m_options(options),
      m_instrument(instrument),
      m_output(output),
      m_events(instrument.Path("events.log")),
      m_diagnostics(instrument.Path("kxdiag.log")) {}

CServiceHost::~CServiceHost() {
    Stop();
}

void CServiceHost::Start() {
    for (const auto& fault : m_options.faults) m_driver.AddFault(fault);
    setenv("TARVO_SYSTEM_ROOT_RW", m_instrument.Root().c_str(), 1);
    setenv("NORN_EVENT_LOG", m_instrument.Path("events.log").c_str(), 1);
    setenv("NORN_KXDIAG_LOG", m_instrument.Path("kxdiag.log").c_str(), 1);
    if (FAILED(m_apartment.Result())) throw CInstrumentError("cannot join COM");
    m_driverRegistration =
        std::make_unique<firmware::CRotRegistration>(m_driver.Unknown(), names::kMeasurementDriver);
    if (!m_driverRegistration->Succeeded()) throw CInstrumentError("cannot register the driver");
    if (m_options.errorManager) {
        m_managerRegistration =
            std::make_unique<firmware::CRotRegistration>(&m_manager, names::kErrorManager);
        if (!m_managerRegistration->Succeeded()) {
            throw CInstrumentError("cannot register the error manager");
        }
    }
    m_modulePath = m_options.modulePath.empty() ? DefaultModulePath() : m_options.modulePath;
    m_module = std::make_unique<CModuleLibrary>(m_modulePath);
    if (!m_module->Loaded()) throw CInstrumentError(std::string("cannot load: ") + dlerror());
    auto getTable = reinterpret_cast<PFN_GETMETHODTABLE>(m_module->Symbol("GetMethodTable"));
    m_table = getTable != nullptr ? getTable() : nullptr;
    if (m_table == nullptr) throw CInstrumentError("the module has no method table");
    for (const char* name : kExports) {
        if (Export(name) == nullptr) throw CInstrumentError(std::string("no export ") + name);
    }
    for (int index : kEntries) {
        if (Entry(index) == nullptr) {
            throw CInstrumentError("no method table entry " + std::to_string(index));
        }
    }
}

void CServiceHost::Stop() {
    m_table = nullptr;
    m_module.reset();
    m_managerRegistration.reset();
    m_driverRegistration.reset();
}

void* CServiceHost::Export(const char* name) const {
    return m_module->Symbol(name);
}

void* CServiceHost::Entry(int index) const {
    return reinterpret_cast<void*>(m_table->entries[index]);
}

LONG CServiceHost::Call(const char* name) {
    const LONG result = reinterpret_cast<PFN_BRIGHTWORK_OPERATION>(Export(name))();
    Collect();
    return result;
}

LONG CServiceHost::ReadText(const char* name, size_t bufferSize, std::string& text) {
    std::vector<char> buffer(bufferSize, '\0');
    const LONG result = reinterpret_cast<PFN_BRIGHTWORK_READTEXT>(Export(name))(buffer.data());
    Collect();
    text.assign(buffer.data(), strnlen(buffer.data(), bufferSize));
    return result;
}

LONG CServiceHost::WriteText(const char* name, const std::string& text) {
    // F6 and F7 hand the driver 11 and 13 bytes whatever the text's length: a shorter text is
    // padded with zero bytes so that the driver never reads past it.
    std::string padded = text;
    padded.resize(std::max<size_t>(text.size(), kWriteTextMinimum), '\0');
    const LONG result = reinterpret_cast<PFN_BRIGHTWORK_WRITETEXT>(Export(name))(padded.c_str());
    Collect();
    return result;
}

LONG CServiceHost::Import(const CImport& import) {
    const int index = import.kind == EPayloadKind::DeviceDataSet ? EntryDeviceDataSetImport
                                                                 : EntryMacAddressImport;
    const auto entry = reinterpret_cast<PFN_BRIGHTWORK_IMPORT>(Entry(index));
    const LONG result = entry(0, import.bytes.data(), static_cast<LONG>(import.bytes.size()));
    Collect();
    return result;
}

LONG CServiceHost::Export(EPayloadKind kind, std::vector<BYTE>& payload) {
    const int index =
        kind == EPayloadKind::DeviceDataSet ? EntryDeviceDataSetExport : EntryMacAddressExport;
    const auto entry = reinterpret_cast<PFN_BRIGHTWORK_EXPORT>(Entry(index));
    CExportedBuffer buffer(reinterpret_cast<PFN_BRIGHTWORK_RELEASEBUFFER>(Entry(21)));
    ULONG count = 0;
    const LONG result = entry(0, buffer.Receive(), &count);
    Collect();
    payload.clear();
    if (result == kBrightworkSucceeded && buffer.Get() != nullptr) {
        payload.assign(buffer.Get(), buffer.Get() + count);
    }
    return result;
}

HRESULT CServiceHost::BeginBatch() {
    const HRESULT hr =
        reinterpret_cast<PFN_BRIGHTWORK_BEGINDEFERREDCOMMIT>(Entry(EntryBeginDeferredCommit))();
    Collect();
    return hr;
}

LONG CServiceHost::EndBatch() {
    const LONG result =
        reinterpret_cast<PFN_BRIGHTWORK_ENDDEFERREDCOMMIT>(Entry(EntryEndDeferredCommit))();
    Collect();
    return result;
}

std::string ModuleFileVersion(const std::string& modulePath) {
    // The path as wide text, through the layer's ANSI code page (UTF-8).
    const int wide = MultiByteToWideChar(CP_UTF8, 0, modulePath.c_str(), -1, nullptr, 0);
    if (wide <= 0) return {};
    std::vector<WCHAR> path(static_cast<size_t>(wide));
    MultiByteToWideChar(CP_UTF8, 0, modulePath.c_str(), -1, path.data(), wide);
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.data(), &handle);
    if (size == 0) return {};
    std::vector<BYTE> block(size);
    WCHAR* text = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path.data(), handle, size, block.data()) ||
        !VerQueryValueW(block.data(), OLESTR("\\StringFileInfo\\040904B0\\FileVersion"),
                        reinterpret_cast<void**>(&text), &length) ||
        text == nullptr) {
        return {};
    }
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string version(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, version.data(), bytes, nullptr, nullptr);
    version.pop_back();
    return version;
}

void CServiceHost::Collect() {
    const auto reports = m_manager.Reports();
    for (; m_reportsSeen < reports.size(); ++m_reportsSeen) {
        m_output.Report(reports[m_reportsSeen]);
        m_instrument.AppendLog(m_options.command,
                               "report " + firmware::FormatReport(reports[m_reportsSeen]));
    }
    for (const auto& [tail, log] :
         {std::pair{&m_events, "event-log"}, std::pair{&m_diagnostics, "diagnostics"}}) {
        for (const auto& line : tail->ReadNew()) {
            m_output.Event(log, line);
            m_instrument.AppendLog(m_options.command, "event " + line);
        }
    }
}

}  // namespace norn::tool
