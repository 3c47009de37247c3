// CBackupSets: the backup sets of an instrument, <instrument>/backups/<UTC time>-<serial>/, each
// holding the three service data files as a backup left them and manifest.json. A set is written
// whole into a hidden folder, every file and the folder flushed, the manifest last, then renamed
// into place; once there it is never changed, and only Prune removes one. A set is used only when
// its manifest verifies: each file's size and SHA-256 as recorded.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace norn::tool {

// What a set keeps: the files' bytes and what the manifest records beside them.
struct CSetContent {
    std::string xml, dds, mac;  // NornData.xml, NornData.dds, NornData.mac
    std::string serial, material;
    std::string ddsHeader, macHeader;  // the blocks' headers, hex
};

// One set as listed: what its manifest says, and whether it verifies.
struct CBackupSet {
    std::string name;
    bool verified = false;
    std::string problem;  // why it does not verify
    std::string created, serial, material;
    std::map<std::string, long long> sizes;
};

class CBackupSets {
public:
    // `directory` is <instrument>/backups; nothing is touched until a set is made or removed.
    explicit CBackupSets(std::string directory);

    // Writes a new set and returns its name. Throws CFileError.
    std::string Create(const CSetContent& content, const std::string& toolVersion,
                       const std::string& moduleVersion);
    // Every set, newest first, each checked.
    std::vector<CBackupSet> List() const;
    // One set by name, checked; a name that is not a set gives problem "no such backup set".
    CBackupSet Check(const std::string& name) const;
    // The content of a set that verifies; throws CFileError for one that does not.
    CSetContent Read(const std::string& name) const;
    // Keeps the newest `keep` sets that verify and every set newer than the last of them;
    // removes the rest and returns their names. A damaged set never takes a good one's place.
    std::vector<std::string> Prune(size_t keep);

    std::string Path(const std::string& name) const { return m_directory + "/" + name; }

private:
    CBackupSet CheckInto(const std::string& name, CSetContent* content) const;
    void RemoveLeftovers() const;

    std::string m_directory;
};

// The most a service data file may hold to be read: far above what the module writes.
constexpr size_t kMaxDataFileSize = size_t{1024} * 1024;

// The data files a set holds, in the order they are written.
constexpr const char* kServiceDataFiles[] = {"NornData.xml", "NornData.dds", "NornData.mac"};

}  // namespace norn::tool
