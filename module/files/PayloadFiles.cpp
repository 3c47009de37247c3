#include "files/PayloadFiles.h"

#include <QFile>

#include "errors/Checks.h"
#include "errors/OperationGuard.h"
#include "files/DataFilePaths.h"

namespace {

constexpr QIODevice::OpenMode kReplaceWhole = QIODevice::WriteOnly | QIODevice::Truncate;

// True when exactly count bytes were written. A payload that cannot be read (a negative count,
// or no bytes behind a count) is not written at all, so it fails the count check without any
// memory outside the caller's buffer being touched.
bool WriteExactly(QFile& file, const BYTE* payload, LONG count) {
    if (count < 0 || (payload == nullptr && count > 0)) return false;
    return file.write(reinterpret_cast<const char*>(payload), count) == count;
}

int WriteDDSFile(const BYTE* payload, LONG count) {
    QFile file(DDSFilePath);
    if (!file.open(kReplaceWhole)) ThrowFail(kModuleSourceFile, 1036);
    if (!WriteExactly(file, payload, count)) ThrowFail(kModuleSourceFile, 1042);
    file.close();
    return 0;
}

bool WriteMACFile(const BYTE* payload, LONG count) {
    QFile file(MACFilePath);
    if (!file.open(kReplaceWhole)) ThrowFail(kModuleSourceFile, 1447);
    if (!WriteExactly(file, payload, count)) ThrowFail(kModuleSourceFile, 1458);
    file.close();
    return true;
}

}  // namespace

int CreateDDSFile(const BYTE* payload, LONG count) {
    return RunGuarded<int>("CreateDDSFile", 1, [&] { return WriteDDSFile(payload, count); });
}

bool CreateMACFile(const BYTE* payload, LONG count) {
    return RunGuarded<bool>("CreateMACFile", false, [&] { return WriteMACFile(payload, count); });
}
