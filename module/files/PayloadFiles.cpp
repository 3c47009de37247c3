#include "files/PayloadFiles.h"

#include <QFile>

#include "errors/Checks.h"
#include "files/DataFilePaths.h"
#include "reports/OperationGuard.h"

namespace {

// CreateDDSFile's failure points.
constexpr struct {
    CFailurePoint notOpened = ModuleLine(1036);
    CFailurePoint shortWrite = ModuleLine(1042);
} kDDSFileWriter{};

// CreateMACFile's failure points.
constexpr struct {
    CFailurePoint notOpened = ModuleLine(1447);
    CFailurePoint shortWrite = ModuleLine(1458);
} kMACFileWriter{};

int WriteDDSFile(const BYTE* payload, LONG count) {
    const EFileWrite result = ReplaceFileContent(DDSFilePath(), payload, count);
    if (result == EFileWrite::NotOpened) ThrowFail(kDDSFileWriter.notOpened);
    if (result == EFileWrite::ShortWrite) ThrowFail(kDDSFileWriter.shortWrite);
    return 0;
}

bool WriteMACFile(const BYTE* payload, LONG count) {
    const EFileWrite result = ReplaceFileContent(MACFilePath(), payload, count);
    if (result == EFileWrite::NotOpened) ThrowFail(kMACFileWriter.notOpened);
    if (result == EFileWrite::ShortWrite) ThrowFail(kMACFileWriter.shortWrite);
    return true;
}

}  // namespace

EFileWrite ReplaceFileContent(const QString& path, const BYTE* payload, LONG count) {
    // Unbuffered, so that the count written is what reached the file: a buffered write would
    // count what reached Qt's buffer and lose a failure (a full disk) at the close.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        return EFileWrite::NotOpened;
    }
    if (count < 0 || (payload == nullptr && count > 0)) return EFileWrite::ShortWrite;
    const qint64 written = file.write(reinterpret_cast<const char*>(payload), count);
    return written == count ? EFileWrite::Written : EFileWrite::ShortWrite;
}

int CreateDDSFile(const BYTE* payload, LONG count) {
    return RunGuarded<int>("CreateDDSFile", 1, [&] { return WriteDDSFile(payload, count); });
}

bool CreateMACFile(const BYTE* payload, LONG count) {
    return RunGuarded<bool>("CreateMACFile", false, [&] { return WriteMACFile(payload, count); });
}

CFileContent ReadFileContent(const QString& path, CFailurePoint fileOpen, EWholeRead how) {
    // Unbuffered: the one read goes straight to the file instead of through a 16 KiB buffer.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) ThrowFail(fileOpen);
    CFileContent content;
    if (how == EWholeRead::UntilTheEnd) {
        content.bytes = file.readAll();
        content.complete = true;
        return content;
    }
    content.bytes = QByteArray(file.size(), '\0');
    const qint64 read = file.read(content.bytes.data(), content.bytes.size());
    file.close();  // before the caller's checks: a failure is reported with the file closed
    content.complete = read == content.bytes.size();
    if (!content.complete) content.bytes.resize(read > 0 ? read : 0);
    return content;
}
