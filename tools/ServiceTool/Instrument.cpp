// The instrument directory: layout, lock, state and log.
#include "Instrument.h"

#include <ctime>
#include <filesystem>
#include <fstream>

namespace norn::tool {

namespace {

std::string Timestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

long long FileSize(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<long long>(size);
}

}  // namespace

CInstrument::CInstrument(const CToolOptions& options)
    : m_directory(options.instrument), m_root(options.Root()), m_store(options.instrument) {}

void CInstrument::Open(firmware::CMeasurementDriverSimulator& driver, CRunOutput& output) {
    std::error_code error;
    std::filesystem::create_directories(m_directory, error);
    if (error) throw CInstrumentError("cannot create " + m_directory + ": " + error.message());
    m_lock = std::make_unique<firmware::CInstrumentLock>(m_directory);
    if (!m_lock->Held()) throw CInstrumentError("instrument is in use by another process");
    std::filesystem::create_directories(XmlDirectory(), error);
    if (error) throw CInstrumentError("cannot create " + XmlDirectory() + ": " + error.message());
    try {
        if (m_store.Load(driver)) return;
        m_store.Save(driver);
        output.Line("new instrument in " + m_directory + " with factory data");
    } catch (const std::runtime_error& failure) {
        throw CInstrumentError(m_store.StatePath() + ": " + failure.what());
    }
}

void CInstrument::Save(const firmware::CMeasurementDriverSimulator& driver) {
    try {
        m_store.Save(driver);
    } catch (const std::runtime_error& failure) {
        throw CInstrumentError(failure.what());
    }
}

void CInstrument::AppendLog(const std::string& command, const std::string& line) const {
    std::ofstream(Path("log.txt"), std::ios::app)
        << Timestamp() << " " << command << ": " << line << "\n";
}

CLogTail::CLogTail(std::string path) : m_path(std::move(path)), m_offset(FileSize(m_path)) {}

std::vector<std::string> CLogTail::ReadNew() {
    std::vector<std::string> lines;
    std::ifstream in(m_path, std::ios::binary);
    if (!in || !in.seekg(m_offset)) return lines;
    std::string line;
    while (std::getline(in, line)) {
        if (in.eof()) break;  // an unfinished last line waits for the next call
        m_offset += static_cast<long long>(line.size()) + 1;
        lines.push_back(line);
    }
    return lines;
}

}  // namespace norn::tool
