#include "BackupSets.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cstdio>
#include <ctime>

#include "SafeFiles.h"
#include "norn/firmware/Sha256.h"

namespace norn::tool {

namespace {

constexpr const char* kManifest = "manifest.json";
constexpr int kManifestFormat = 1;
constexpr size_t kMaxManifestSize = 64 * kKibibyte;
constexpr const char* kNewPrefix = ".new-";
constexpr const char* kOldPrefix = ".old-";

QString Text(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Text(const QJsonValue& value) {
    return value.toString().toStdString();
}

std::string UtcNow(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof(text), format, &utc);
    return text;
}

// The serial number as it may stand in a folder name.
std::string NamePart(const std::string& serial) {
    std::string part;
    for (char c : serial) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        part += plain ? c : '_';
    }
    return part.empty() ? "unknown" : part;
}

const std::string& FileOf(const CSetContent& content, const std::string& name) {
    if (name == "NornData.xml") return content.xml;
    if (name == "NornData.dds") return content.dds;
    return content.mac;
}

std::string& FileOf(CSetContent& content, const std::string& name) {
    return const_cast<std::string&>(FileOf(static_cast<const CSetContent&>(content), name));
}

QByteArray ManifestText(const CSetContent& content, const std::string& created,
                        const std::string& toolVersion, const std::string& moduleVersion) {
    QJsonObject files;
    for (const char* name : kServiceDataFiles) {
        const std::string& bytes = FileOf(content, name);
        files.insert(name, QJsonObject{{"size", static_cast<qint64>(bytes.size())},
                                       {"sha256", Text(firmware::Sha256Hex(bytes))}});
    }
    const QJsonObject manifest{
        {"format", kManifestFormat},
        {"created", Text(created)},
        {"serial", Text(content.serial)},
        {"material", Text(content.material)},
        {"files", files},
        {"blocks",
         QJsonObject{{"22001", Text(content.ddsHeader)}, {"22002", Text(content.macHeader)}}},
        {"tool_version", Text(toolVersion)},
        {"module_version", Text(moduleVersion)},
    };
    return QJsonDocument(manifest).toJson(QJsonDocument::Indented);
}

}  // namespace

CBackupSets::CBackupSets(std::string directory) : m_directory(std::move(directory)) {}

std::string CBackupSets::Create(const CSetContent& content, const std::string& toolVersion,
                                const std::string& moduleVersion) {
    MakeDirectory(m_directory);
    RemoveLeftovers();
    const std::string stamp = UtcNow("%Y%m%dT%H%M%SZ");
    std::string name = stamp + "-" + NamePart(content.serial);
    for (int n = 2; PathKind(Path(name)) != EPathKind::Missing; ++n) {
        name = stamp + "-" + NamePart(content.serial) + "-" + std::to_string(n);
    }
    const std::string building = Path(kNewPrefix + name);
    MakeDirectory(building);
    for (const char* file : kServiceDataFiles) {
        WriteNewFile(building + "/" + file, FileOf(content, file));
    }
    const QByteArray manifest =
        ManifestText(content, UtcNow("%Y-%m-%dT%H:%M:%SZ"), toolVersion, moduleVersion);
    WriteNewFile(building + "/" + kManifest,
                 std::string_view(manifest.constData(), manifest.size()));
    SyncDirectory(building);
    if (std::rename(building.c_str(), Path(name).c_str()) != 0) {
        throw CFileError("cannot put the backup set in place: " + Path(name));
    }
    SyncDirectory(m_directory);
    return name;
}

std::vector<CBackupSet> CBackupSets::List() const {
    std::vector<CBackupSet> sets;
    const std::vector<std::string> names = DirectoryEntries(m_directory);
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (!it->empty() && (*it)[0] != '.') sets.push_back(Check(*it));
    }
    return sets;
}

CBackupSet CBackupSets::Check(const std::string& name) const {
    return CheckInto(name, nullptr);
}

CSetContent CBackupSets::Read(const std::string& name) const {
    CSetContent content;
    const CBackupSet set = CheckInto(name, &content);
    if (!set.verified) throw CFileError("backup set " + name + " does not verify: " + set.problem);
    return content;
}

CBackupSet CBackupSets::CheckInto(const std::string& name, CSetContent* content) const {
    CBackupSet set;
    set.name = name;
    const bool plainName = !name.empty() && name[0] != '.' && name.find('/') == std::string::npos;
    if (!plainName || PathKind(Path(name)) != EPathKind::Directory) {
        set.problem = "no such backup set";
        return set;
    }
    try {
        const std::string text = ReadRegularFile(Path(name) + "/" + kManifest, kMaxManifestSize);
        const QJsonObject manifest =
            QJsonDocument::fromJson(QByteArray(text.data(), static_cast<qsizetype>(text.size())))
                .object();
        if (manifest.value("format").toInt() != kManifestFormat) {
            set.problem = "manifest missing or unreadable";
            return set;
        }
        set.created = Text(manifest.value("created"));
        set.serial = Text(manifest.value("serial"));
        set.material = Text(manifest.value("material"));
        const QJsonObject files = manifest.value("files").toObject();
        CSetContent read;
        for (const char* file : kServiceDataFiles) {
            const QJsonObject entry = files.value(file).toObject();
            const std::string bytes = ReadRegularFile(Path(name) + "/" + file, kMaxDataFileSize);
            set.sizes[file] = static_cast<long long>(bytes.size());
            if (entry.value("size").toInteger(-1) != static_cast<qint64>(bytes.size()) ||
                Text(entry.value("sha256")) != firmware::Sha256Hex(bytes)) {
                set.problem = std::string(file) + " differs from the manifest";
                return set;
            }
            FileOf(read, file) = bytes;
        }
        read.serial = set.serial;
        read.material = set.material;
        read.ddsHeader = Text(manifest.value("blocks").toObject().value("22001"));
        read.macHeader = Text(manifest.value("blocks").toObject().value("22002"));
        if (content != nullptr) *content = std::move(read);
        set.verified = true;
    } catch (const CFileError& error) {
        set.problem = error.what();
    }
    return set;
}

std::vector<std::string> CBackupSets::Prune(size_t keep) {
    std::vector<std::string> removed;
    const std::vector<CBackupSet> sets = List();
    size_t verifiedNewer = 0;
    for (size_t i = 0; i < sets.size(); ++i) {
        if (verifiedNewer < keep) {
            if (sets[i].verified) ++verifiedNewer;
            continue;
        }
        // Out of the listing first, in one rename: a run killed while removing leaves a hidden
        // leftover, never a half set that looks like a set.
        const std::string hidden = Path(kOldPrefix + sets[i].name);
        if (std::rename(Path(sets[i].name).c_str(), hidden.c_str()) != 0) {
            throw CFileError("cannot remove backup set " + sets[i].name);
        }
        SyncDirectory(m_directory);
        RemoveDirectoryOfFiles(hidden);
        removed.push_back(sets[i].name);
    }
    return removed;
}

void CBackupSets::RemoveLeftovers() const {
    for (const std::string& name : DirectoryEntries(m_directory)) {
        if (name.rfind(kNewPrefix, 0) == 0 || name.rfind(kOldPrefix, 0) == 0) {
            RemoveDirectoryOfFiles(Path(name));
        }
    }
}

}  // namespace norn::tool
