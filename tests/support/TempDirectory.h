// CTempDirectory: a fresh directory below /tmp, removed with everything in it when the object
// goes. ServiceDataRoot() lays out a service data root with its eeprom/xml folder, as the
// firmware does (the module never creates it).
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace norn::test {

class CTempDirectory {
public:
    explicit CTempDirectory(const std::string& name = "norn") {
        std::string pattern = "/tmp/" + name + "-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) m_path = pattern;
    }
    ~CTempDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    CTempDirectory(const CTempDirectory&) = delete;
    CTempDirectory& operator=(const CTempDirectory&) = delete;

    const std::string& Path() const { return m_path; }

    // path/eeprom/xml, created.
    static std::string MakeServiceDataDirectory(const std::string& root) {
        const std::string directory = root + "/eeprom/xml";
        std::filesystem::create_directories(directory);
        return directory;
    }

    static void WriteFile(const std::string& path, const std::string& content, mode_t mode = 0644) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        chmod(path.c_str(), mode);
    }
    static mode_t Mode(const std::string& path) {
        struct stat info {};
        if (stat(path.c_str(), &info) != 0) return 0;
        return info.st_mode & 07777;
    }

private:
    std::string m_path;
};

}  // namespace norn::test
