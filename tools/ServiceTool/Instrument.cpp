// The instrument directory: layout, lock, state and log.
#include "Instrument.h"

#include <sys/stat.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

#include "BackupSets.h"
#include "SafeFiles.h"

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
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? info.st_size : 0;
}

std::string RecoveryHint(const std::string& directory) {
    return "; nothing was changed. To recover, put the newest verified backup set back on a "
           "fresh instrument: norn-service --instrument " +
           directory + " recover (the damaged file is kept as instrument.state.damaged)";
}

}  // namespace

CInstrument::CInstrument(const CToolOptions& options)
    : m_options(options),
      m_directory(options.instrument),
      m_root(options.Root()),
      m_store(options.instrument) {}

void CInstrument::CheckLayout() const {
    for (const char* name : {"instrument.state", "instrument.state.tmp", ".lock", "log.txt",
                             "history.log", "events.log", "kxdiag.log"}) {
        RequireFileOrMissing(Path(name));
    }
    for (const char* name : kServiceDataFiles) RequireFileOrMissing(DataFile(name));
    const EPathKind backups = PathKind(BackupsDirectory());
    if (backups != EPathKind::Missing && backups != EPathKind::Directory) {
        throw CFileError(BackupsDirectory() + " is not a folder; refused");
    }
}

void CInstrument::Open(firmware::CMeasurementDriverSimulator& driver, CRunOutput& output,
                       EOpen mode) {
    const EPathKind kind = PathKind(m_directory);
    const bool exists = kind != EPathKind::Missing;
    if (!exists && (mode == EOpen::Existing || mode == EOpen::Recover)) {
        throw CInstrumentError("no instrument in " + m_directory +
                               " (make one with: norn-service --instrument " + m_directory +
                               " init)");
    }
    try {
        if (exists) CheckLayout();
        MakeDirectory(m_directory);
        TakeLock();
        CheckLayout();
        for (const std::string& folder : {m_root, m_root + "/eeprom", XmlDirectory()}) {
            MakeDirectory(folder);
        }
    } catch (const CFileError& error) {
        throw CInstrumentError(error.what());
    }
    LoadOrCreate(driver, output, mode);
}

// The lock, waited for as long as --wait says; the message names the process that holds it.
void CInstrument::TakeLock() {
    m_lock = std::make_unique<firmware::CInstrumentLock>(m_directory);
    if (m_lock->OpenError() != 0) {
        throw CInstrumentError("cannot use " + m_directory + ": " +
                               std::strerror(m_lock->OpenError()) +
                               (m_lock->OpenError() == EACCES || m_lock->OpenError() == EROFS
                                    ? " (no permission to write there)"
                                    : ""));
    }
    const auto started = std::chrono::steady_clock::now();
    while (!m_lock->Held() && m_options.wait >= 0) {
        const double waited =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (m_options.wait > 0 && waited >= m_options.wait) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        m_lock->TryAgain();
    }
    if (m_lock->Held()) return;
    const long holder = m_lock->HolderProcessId();
    std::string who = "another process";
    if (holder > 0) {
        std::string name;
        try {
            name = ReadRegularFile("/proc/" + std::to_string(holder) + "/comm", 256);
        } catch (const CFileError&) {
        }
        if (!name.empty() && name.back() == '\n') name.pop_back();
        who = "process " + std::to_string(holder) + (name.empty() ? "" : " (" + name + ")");
    }
    throw CInstrumentError("instrument is in use by " + who +
                           (m_options.wait > 0
                                ? "; waited " + std::to_string(long(m_options.wait)) + " s"
                                : "; --wait waits for it"));
}

void CInstrument::LoadOrCreate(firmware::CMeasurementDriverSimulator& driver, CRunOutput& output,
                               EOpen mode) {
    bool loaded = false;
    try {
        loaded = m_store.Load(driver);
    } catch (const std::runtime_error& failure) {
        if (mode != EOpen::Recover) {
            throw CInstrumentError(m_store.StatePath() + ": " + failure.what() +
                                   RecoveryHint(m_directory));
        }
        // Kept, never overwritten: a second recovery keeps its damaged state beside the first.
        std::string aside = m_store.StatePath() + ".damaged";
        for (int n = 2; PathKind(aside) != EPathKind::Missing; ++n) {
            aside = m_store.StatePath() + ".damaged-" + std::to_string(n);
        }
        if (std::rename(m_store.StatePath().c_str(), aside.c_str()) != 0) {
            throw CInstrumentError("cannot keep the damaged state aside as " + aside);
        }
        // A damaged state never reaches the driver: it still holds its factory data.
        output.Line("kept the damaged state aside as " + aside + "; starting from factory data");
    }
    if (loaded && mode == EOpen::Create) {
        throw CInstrumentError("there is already an instrument in " + m_directory);
    }
    if (loaded) return;
    if (mode == EOpen::Existing) {
        throw CInstrumentError("no instrument state in " + m_directory +
                               " (make one with: norn-service --instrument " + m_directory +
                               " init)");
    }
    Save(driver);
    if (mode != EOpen::Recover) {
        output.Line("new instrument in " + m_directory + " with factory data");
    }
}

void CInstrument::Save(const firmware::CMeasurementDriverSimulator& driver) {
    try {
        m_store.Save(driver);
    } catch (const std::runtime_error& failure) {
        throw CInstrumentError(m_store.StatePath() + ": " + failure.what());
    }
}

void CInstrument::AppendLog(const std::string& command, const std::string& line) const {
    AppendToFile(Path("log.txt"), Timestamp() + " " + command + ": " + line + "\n");
}

void CInstrument::RecordHistory(int exitCode, const CRunOutput& output) const {
    QJsonArray arguments;
    for (const std::string& argument : m_options.arguments) arguments.append(JsonText(argument));
    QJsonObject entry{{"time", Timestamp().c_str()},
                      {"command", m_options.command.c_str()},
                      {"arguments", arguments},
                      {"exit_code", exitCode}};
    for (const char* key : {"backup_set", "from", "changes"}) {
        const QJsonValue value = output.Get(key);
        if (!value.isUndefined() && !value.isNull()) entry.insert(key, value);
    }
    const QByteArray line = QJsonDocument(entry).toJson(QJsonDocument::Compact) + "\n";
    AppendToFile(Path("history.log"), std::string_view(line.constData(), line.size()));
}

CLogTail::CLogTail(std::string path) : m_path(std::move(path)), m_offset(FileSize(m_path)) {}

std::vector<std::string> CLogTail::ReadNew() {
    std::vector<std::string> lines;
    std::string text;
    try {
        text = ReadRegularFile(m_path, kMaxJournalSize);
    } catch (const CFileError&) {
        return lines;
    }
    if (static_cast<long long>(text.size()) <= m_offset) return lines;
    size_t start = static_cast<size_t>(m_offset);
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    m_offset = static_cast<long long>(start);  // an unfinished last line waits for the next call
    return lines;
}

}  // namespace norn::tool
