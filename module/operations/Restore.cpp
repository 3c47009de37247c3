#include "operations/Restore.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstring>

#include "driver/DeferredCommit.h"
#include "driver/DriverAccess.h"
#include "driver/EEPROMAccessors.h"
#include "driver/Identification.h"
#include "errors/Checks.h"
#include "files/DataFilePaths.h"
#include "files/ServiceDataDocument.h"

using namespace norn::driver_values;

namespace {

constexpr LONG kSavedValueSize = 200;

// The restore's own batch: DeferredCommit is clear after every call, successful or not, also
// when the host had opened a batch before (that batch then commits nothing).
struct CClearDeferredCommitOnExit {
    ~CClearDeferredCommitOnExit() { SetDeferredCommit(false); }
};

QByteArray ReadPayloadFile(const QString& path, LONG openLine, LONG shortReadLine) {
    // Unbuffered: the one read goes straight to the file instead of through a 16 KiB buffer.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        ThrowFail(kModuleSourceFile, openLine);
    }
    QByteArray bytes(file.size(), '\0');
    const qint64 read = file.read(bytes.data(), bytes.size());
    file.close();  // before the check: a failure is reported with the file closed
    if (read != bytes.size()) ThrowFail(kModuleSourceFile, shortReadLine);
    return bytes;
}

const BYTE* BytesOf(const QByteArray& bytes) {
    return reinterpret_cast<const BYTE*>(bytes.constData());
}

// The identification text for WriteSerialNumber or WriteMaterialNumber (F6, F7), which hand the
// driver a fixed byte count whatever the text's length: a shorter text is padded with zero bytes up
// to that count, so that the driver never reads past the buffer. The text itself, up to its first
// zero byte, is unchanged.
QByteArray IdentificationText(const QString& text, LONG byteCount) {
    QByteArray bytes = text.toLatin1();
    if (bytes.size() < byteCount) bytes.append(QByteArray(byteCount - bytes.size(), '\0'));
    return bytes;
}

}  // namespace

LONG RestoreServiceData() {
    CClearDeferredCommitOnExit clearOnExit;
    ResolveDataFilePaths();
    CServiceDataDocument document(XMLFilePath());
    QString serialNumber, materialNumber;
    if (!document.GetSerialNo(serialNumber)) ThrowFail(kModuleSourceFile, 3240);
    if (!document.GetMaterialNo(materialNumber)) ThrowFail(kModuleSourceFile, 3246);
    const QByteArray deviceDataSet = ReadPayloadFile(DDSFilePath(), 3310, 3328);
    const QByteArray macAddress = ReadPayloadFile(MACFilePath(), 3340, 3358);

    LONG status = 0;
    auto values = GetDriverInterface<IDriverValue>();
    ThrowIfNull(values.Get(), kModuleSourceFile, 3363);
    BYTE saved[kSavedValueSize] = {};
    ThrowIfFailed(values->ReadValue(kItem16, kSubItem, kSavedValueSize, saved, &status),
                  kModuleSourceFile, 3366);
    // A value without a zero byte is cut at the buffer's end, so that the length written back
    // never reaches beyond the 200 bytes saved.
    saved[kSavedValueSize - 1] = 0;

    auto control = GetDriverInterface<IEEPROMControl>();
    ThrowIfNull(control.Get(), kModuleSourceFile, 3369);
    ThrowIfFailed(control->SetEEPROMMode(0, 1, &status), kModuleSourceFile, 3372);
    if (status != 0) ThrowFail(kModuleSourceFile, 3376);

    SetDeferredCommit(true);
    if (!SetDeviceDataSetEEPROM(BytesOf(deviceDataSet), deviceDataSet.size())) {
        ThrowFail(kModuleSourceFile, 3389);
    }
    if (!SetMACEEPROM(BytesOf(macAddress), macAddress.size())) ThrowFail(kModuleSourceFile, 3394);
    const QByteArray serialText = IdentificationText(serialNumber, kSerialNumberWriteCount);
    if (WriteSerialNumber(serialText.constData()) != 0) ThrowFail(kModuleSourceFile, 3404);
    const QByteArray materialText = IdentificationText(materialNumber, kMaterialNumberWriteCount);
    if (WriteMaterialNumber(materialText.constData()) != 0) ThrowFail(kModuleSourceFile, 3409);

    const LONG savedLength = static_cast<LONG>(std::strlen(reinterpret_cast<char*>(saved))) + 1;
    ThrowIfFailed(values->WriteValue(kItem16, kSubItem, savedLength, saved, &status),
                  kModuleSourceFile, 3417);
    ThrowIfFailed(control->SetEEPROMMode(2, 1, &status), kModuleSourceFile, 3428);
    return 0;
}
