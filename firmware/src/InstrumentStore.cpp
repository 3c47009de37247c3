// The simulated instrument's state file and lock.
#include "norn/firmware/InstrumentStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

#include "norn/ScopedFileDescriptor.h"
#include "norn/firmware/Hex.h"
#include "norn/firmware/Sha256.h"

namespace norn::firmware {

namespace {

constexpr const char* kMagic = "norn-instrument 2";
constexpr const char* kChecksumKey = "checksum ";
// Far above a real state (about 3 KiB): a larger file is damaged, and is not read whole.
constexpr off_t kMaxStateSize = 64 * 1024;
constexpr LONG kBlocks[] = {eeprom::kDeviceDataSetBlock, eeprom::kMacAddressBlock};
constexpr LONG kItems[] = {driver_values::kSerialNumberItem, driver_values::kMaterialNumberItem,
                           driver_values::kItem16};

using CDescriptor = norn::CScopedFileDescriptor;

std::string SystemError(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

// The state file's content; false when there is none. A link, anything but a regular file, or a
// file too large to be a state is refused: nothing is followed or read past what a state holds.
bool ReadStateFile(const std::string& path, std::string& content) {
    CDescriptor file(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.Get() < 0) {
        if (errno == ENOENT) return false;
        throw std::runtime_error(SystemError("cannot open", errno));
    }
    struct stat info {};
    if (fstat(file.Get(), &info) != 0) throw std::runtime_error(SystemError("cannot stat", errno));
    if (!S_ISREG(info.st_mode)) throw std::runtime_error("not a regular file");
    if (info.st_size > kMaxStateSize) throw std::runtime_error("damaged: far too large");
    content.resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = read(file.Get(), content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error(SystemError("cannot read", n < 0 ? errno : EIO));
        done += static_cast<size_t>(n);
    }
    return true;
}

void WriteAll(int descriptor, const std::string& content, const std::string& path) {
    size_t written = 0;
    while (written < content.size()) {
        const ssize_t n = write(descriptor, content.data() + written, content.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            throw std::runtime_error(SystemError("cannot write " + path, n < 0 ? errno : ENOSPC));
        written += static_cast<size_t>(n);
    }
}

// The lines a state holds, in this order: the blocks, then the values.
std::vector<std::string> ExpectedKeys() {
    std::vector<std::string> keys;
    for (LONG block : kBlocks) keys.push_back("block " + std::to_string(block));
    for (LONG item : kItems) keys.push_back("value " + std::to_string(item));
    return keys;
}

// One "block N HEX" or "value N HEX" line whose key is `key`.
void ApplyLine(const std::string& line, const std::string& key,
               CMeasurementDriverSimulator& driver) {
    if (line.rfind(key + " ", 0) != 0) throw std::runtime_error("damaged: expected " + key);
    const std::string bytes = FromHex(line.substr(key.size() + 1));
    const LONG number = std::stol(key.substr(key.find(' ') + 1));
    if (key.rfind("value", 0) == 0) return driver.SetValue(number, bytes);
    try {
        driver.SetCommittedImage(number, std::vector<BYTE>(bytes.begin(), bytes.end()));
    } catch (const std::invalid_argument& error) {
        throw std::runtime_error("damaged: " + key + ": " + error.what());
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
        text +=
            "value " + std::to_string(item) + " " + ToHex(driver.Value(item).value_or("")) + "\n";
    }
    return text + kChecksumKey + Sha256Hex(text) + "\n";
}

void CInstrumentStore::Deserialize(const std::string& text, CMeasurementDriverSimulator& driver) {
    const size_t checksumAt = text.rfind(kChecksumKey);
    if (checksumAt == std::string::npos || (checksumAt > 0 && text[checksumAt - 1] != '\n') ||
        text.compare(checksumAt, std::string::npos,
                     kChecksumKey + Sha256Hex(text.substr(0, checksumAt)) + "\n") != 0) {
        throw std::runtime_error("damaged: checksum does not match");
    }
    std::istringstream lines(text.substr(0, checksumAt));
    std::string line;
    if (!std::getline(lines, line) || line != kMagic) {
        throw std::runtime_error("damaged: not an instrument state file of this version");
    }
    CMeasurementDriverSimulator parsed;
    for (const std::string& key : ExpectedKeys()) {
        if (!std::getline(lines, line)) throw std::runtime_error("damaged: " + key + " missing");
        ApplyLine(line, key, parsed);
    }
    if (std::getline(lines, line)) throw std::runtime_error("damaged: unexpected line");
    // Only a complete state reaches the driver.
    for (LONG block : kBlocks) driver.SetCommittedImage(block, parsed.CommittedImage(block));
    for (LONG item : kItems) driver.SetValue(item, parsed.Value(item).value_or(""));
}

bool CInstrumentStore::Load(CMeasurementDriverSimulator& driver) const {
    std::string text;
    if (!ReadStateFile(StatePath(), text)) return false;
    Deserialize(text, driver);
    return true;
}

bool CInstrumentStore::Save(const CMeasurementDriverSimulator& driver) const {
    const std::string text = Serialize(driver);
    std::string current;
    try {
        if (ReadStateFile(StatePath(), current) && current == text) return false;
    } catch (const std::runtime_error&) {  // replaced below as a whole
    }
    const std::string temporary = StatePath() + ".tmp";
    unlink(
        temporary.c_str());  // a leftover of a run that was killed; a link is removed, not followed
    CDescriptor file(
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (file.Get() < 0) throw std::runtime_error(SystemError("cannot create " + temporary, errno));
    WriteAll(file.Get(), text, temporary);
    if (fsync(file.Get()) != 0 || !file.Close()) {
        const int error = errno;
        unlink(temporary.c_str());
        throw std::runtime_error(SystemError("cannot write " + temporary, error));
    }
    if (std::rename(temporary.c_str(), StatePath().c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        throw std::runtime_error(SystemError("cannot rename " + temporary, error));
    }
    CDescriptor directory(open(m_directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.Get() < 0 || fsync(directory.Get()) != 0) {
        throw std::runtime_error(SystemError("cannot flush " + m_directory, errno));
    }
    return true;
}

CInstrumentLock::CInstrumentLock(const std::string& directory) {
    const std::string path = directory + "/.lock";
    m_descriptor = CDescriptor(open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (m_descriptor.Get() < 0) {
        m_openError = errno;
        return;
    }
    TryAgain();
}

bool CInstrumentLock::TryAgain() {
    if (m_held || m_descriptor.Get() < 0) return m_held;
    m_held = flock(m_descriptor.Get(), LOCK_EX | LOCK_NB) == 0;
    return m_held;
}

// The kernel's list of locks names the process behind each flock, with the file's device and
// inode: "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF".
long CInstrumentLock::HolderProcessId() const {
    struct stat info {};
    if (m_descriptor.Get() < 0 || fstat(m_descriptor.Get(), &info) != 0) return 0;
    char file[64];
    std::snprintf(file, sizeof(file), "%02x:%02x:%llu", major(info.st_dev), minor(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, where;
        long pid = 0;
        if (fields >> number >> kind >> mode >> access >> pid >> where && kind == "FLOCK" &&
            where == file) {
            return pid;
        }
    }
    return 0;
}
}  // namespace norn::firmware
