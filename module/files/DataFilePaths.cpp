#include "files/DataFilePaths.h"

#include <io.h>
#include <atlexcept.h>
#include <windows.h>

#include <QFileInfo>
#include <memory>
#include <optional>
#include <string>

#include "errors/Strings.h"

namespace {

// The module-wide paths: empty until the first operation resolves them.
struct CDataFilePaths {
    QString xml;
    QString mac;
    QString dds;
    bool resolved = false;
};

CDataFilePaths g_paths;

// The one place where the platforms' separators differ.
#if defined(_WIN32)
constexpr char kXmlSuffix[] = "\\eeprom\\xml\\NornData.xml";
constexpr char kMacSuffix[] = "\\eeprom\\xml\\NornData.mac";
constexpr char kDdsSuffix[] = "\\eeprom\\xml\\NornData.dds";
#else
constexpr char kXmlSuffix[] = "/eeprom/xml/NornData.xml";
constexpr char kMacSuffix[] = "/eeprom/xml/NornData.mac";
constexpr char kDdsSuffix[] = "/eeprom/xml/NornData.dds";
#endif

// The root may have at most 99 characters: it is read into 100 UTF-16 code units.
constexpr DWORD kRootCapacity = 100;

// The root as 8-bit text in the ANSI code page, exactly as the environment holds it: a variable
// that is set but empty gives an empty root, and the paths then begin at "/eeprom". None when it
// is unset, too long or cannot be converted: then no file is ever named.
std::optional<QString> ReadRoot() {
    std::unique_ptr<WCHAR[]> buffer(new WCHAR[kRootCapacity]);
    SetLastError(ERROR_SUCCESS);
    const DWORD length =
        GetEnvironmentVariableW(OLESTR("TARVO_SYSTEM_ROOT_RW"), buffer.get(), kRootCapacity);
    if (length == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return QString();
    }
    if (length >= kRootCapacity) return std::nullopt;
    try {
        return QString::fromLocal8Bit(AnsiFromWide(buffer.get()));
    } catch (const CAtlException&) {
        return std::nullopt;
    }
}

// Clears a read-only attribute (here: a missing owner write bit; root may write anything, so
// access checks would not tell). The result is not examined: a later open fails on its own.
// The owner bit is asked for first: its one stat also tells whether the file exists, where
// exists() first and the full permissions() would add an access() call each, on every operation.
void MakeWritableIfReadOnly(const QString& path) {
    if (path.isEmpty()) return;
    const QFileInfo info(path);
    if (info.permission(QFileDevice::WriteOwner) || !info.exists()) return;
    _chmod(path.toLocal8Bit().constData(), _S_IREAD | _S_IWRITE);
}

}  // namespace

const QString& XMLFilePath() noexcept {
    return g_paths.xml;
}

const QString& MACFilePath() noexcept {
    return g_paths.mac;
}

const QString& DDSFilePath() noexcept {
    return g_paths.dds;
}

bool DataFilePathsResolved() noexcept {
    return g_paths.resolved;
}

void ResolveDataFilePaths() {
    if (!g_paths.resolved) {
        if (const std::optional<QString> root = ReadRoot()) {
            g_paths.xml = *root + QLatin1String(kXmlSuffix);
            g_paths.mac = *root + QLatin1String(kMacSuffix);
            g_paths.dds = *root + QLatin1String(kDdsSuffix);
        }
        g_paths.resolved = true;
    }
    MakeWritableIfReadOnly(g_paths.xml);
    MakeWritableIfReadOnly(g_paths.mac);
    MakeWritableIfReadOnly(g_paths.dds);
}

void ResetDataFilePathsForTests() {
    g_paths = CDataFilePaths();
}
