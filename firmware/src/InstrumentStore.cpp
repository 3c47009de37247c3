// The simulated instrument's state file and lock.
#include "norn/firmware/InstrumentStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace norn::firmware {

namespace {

constexpr const char* kMagic = "norn-instrument 1";
constexpr LONG kBlocks[] = {eeprom::kDeviceDataSetBlock, eeprom::kMacAddressBlock};
constexpr LONG kItems[] = {driver_values::kSerialNumberItem, driver_values::kMaterialNumberItem,
                           driver_values::kItem16};

// Owns one POSIX file descriptor.
class CDescriptor {
public:
    explicit CDescriptor(int descriptor) noexcept : m_descriptor(descriptor) {}
    ~CDescriptor() {
        if (m_descriptor >= 0) close(m_descriptor);
    }
    CDescriptor(const CDescriptor&) = delete;
    CDescriptor& operator=(const CDescriptor&) = delete;

    int Get() const noexcept { return m_descriptor; }
    // Closes now and says whether the close succeeded.
    bool Close() noexcept {
        const int descriptor = std::exchange(m_descriptor, -1);
        return descriptor < 0 || close(descriptor) == 0;
    }

private:
    int m_descriptor;
};

template <class Bytes>
std::string ToHex(const Bytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char byte : bytes) {
        hex += digits[byte >> 4];
        hex += digits[byte & 0x0F];
    }
    return hex;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string FromHex(const std::string& hex) {
    if (hex.size() % 2 != 0) throw std::runtime_error("odd number of hex digits");
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]);
        const int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) throw std::runtime_error("not a hex digit");
        bytes += static_cast<char>(high << 4 | low);
    }
    return bytes;
}

bool ReadWholeFile(const std::string& path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

void WriteAll(int descriptor, const std::string& content) {
    size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = write(descriptor, content.data() + written, content.size() - written);
        if (n < 0) throw std::runtime_error("cannot write the instrument state");
        written += static_cast<size_t>(n);
    }
}

void ApplyLine(const std::string& line, CMeasurementDriverSimulator& driver) {
    std::istringstream fields(line);
    std::string kind, hex;
    LONG key = 0;
    if (!(fields >> kind >> key)) throw std::runtime_error("unreadable line: " + line);
    fields >> hex;
    const std::string bytes = FromHex(hex);
    if (kind == "value") return driver.SetValue(key, bytes);
    if (kind != "block") throw std::runtime_error("unknown entry: " + kind);
    try {
        driver.SetCommittedImage(key, std::vector<BYTE>(bytes.begin(), bytes.end()));
    } catch (const std::invalid_argument& error) {
        throw std::runtime_error(std::string("block ") + std::to_string(key) + ": " + error.what());
    }
}

}  // namespace

CInstrumentStore::CInstrumentStore(std::string directory) : m_directory(std::move(directory)) {}

std::string CInstrumentStore::Serialize(const CMeasurementDriverSimulator& driver) {
    std::string text = std::string(kMagic) + "\n";
    for (LONG block : kBlocks) {
        text += "block " + std::to_string(block) + " " + ToHex(driver.CommittedImage(block)) + "\n";
    }
    for (LONG item : kItems) {
        const auto value = driver.Value(item);
        if (value) text += "value " + std::to_string(item) + " " + ToHex(*value) + "\n";
    }
    return text;
}

void CInstrumentStore::Deserialize(const std::string& text, CMeasurementDriverSimulator& driver) {
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != kMagic) {
        throw std::runtime_error("not an instrument state file");
    }
    while (std::getline(lines, line)) {
        if (!line.empty()) ApplyLine(line, driver);
    }
}

bool CInstrumentStore::Load(CMeasurementDriverSimulator& driver) const {
    std::string text;
    if (!ReadWholeFile(StatePath(), text)) return false;
    Deserialize(text, driver);
    return true;
}

bool CInstrumentStore::Save(const CMeasurementDriverSimulator& driver) const {
    const std::string text = Serialize(driver);
    std::string current;
    if (ReadWholeFile(StatePath(), current) && current == text) return false;

    const std::string temporary = StatePath() + ".tmp";
    CDescriptor file(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (file.Get() < 0) throw std::runtime_error("cannot create " + temporary);
    WriteAll(file.Get(), text);
    if (fsync(file.Get()) != 0 || !file.Close()) {
        throw std::runtime_error("cannot flush " + temporary);
    }
    if (std::rename(temporary.c_str(), StatePath().c_str()) != 0) {
        throw std::runtime_error("cannot rename " + temporary);
    }
    CDescriptor directory(open(m_directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.Get() >= 0) fsync(directory.Get());
    return true;
}

CInstrumentLock::CInstrumentLock(const std::string& directory) {
    const std::string path = directory + "/.lock";
    m_descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_descriptor < 0) return;
    m_held = flock(m_descriptor, LOCK_EX | LOCK_NB) == 0;
}

CInstrumentLock::~CInstrumentLock() {
    if (m_descriptor >= 0) close(m_descriptor);
}

}  // namespace norn::firmware
