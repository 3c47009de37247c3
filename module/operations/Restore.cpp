#include "operations/Restore.h"

#include <QByteArray>
#include <QString>
#include <cstring>
#include <limits>
#include <utility>

#include "driver/DeferredCommit.h"
#include "driver/DriverAccess.h"
#include "driver/EEPROMAccessors.h"
#include "driver/Identification.h"
#include "errors/Checks.h"
#include "files/DataFilePaths.h"
#include "files/PayloadFiles.h"
#include "files/ServiceDataDocument.h"

using namespace norn::driver_values;

namespace {

// RestoreServiceData's failure points (F2), in the order the restore passes them.
constexpr struct {
    CFailurePoint serialNumberMissing = ModuleLine(3240);
    CFailurePoint materialNumberMissing = ModuleLine(3246);
    CFailurePoint ddsFileOpen = ModuleLine(3310);
    CFailurePoint ddsFileShortRead = ModuleLine(3328);
    CFailurePoint macFileOpen = ModuleLine(3340);
    CFailurePoint macFileShortRead = ModuleLine(3358);
    CFailurePoint valueInterface = ModuleLine(3363);
    CFailurePoint savedValueRead = ModuleLine(3366);
    CFailurePoint controlInterface = ModuleLine(3369);
    CFailurePoint openForWriteCall = ModuleLine(3372);
    CFailurePoint openForWriteStatus = ModuleLine(3376);
    CFailurePoint deviceDataSetWrite = ModuleLine(3389);
    CFailurePoint macAddressWrite = ModuleLine(3394);
    CFailurePoint serialNumberWrite = ModuleLine(3404);
    CFailurePoint materialNumberWrite = ModuleLine(3409);
    CFailurePoint savedValueWrite = ModuleLine(3417);
    CFailurePoint commitCall = ModuleLine(3428);
} kRestore{};

constexpr LONG kSavedValueSize = 200;

// The restore's own batch: DeferredCommit is clear after every call, successful or not, also
// when the host had opened a batch before (that batch then commits nothing).
struct CClearDeferredCommitOnExit {
    ~CClearDeferredCommitOnExit() { SetDeferredCommit(false); }
};

QByteArray ReadPayloadFile(const QString& path, CFailurePoint fileOpen, CFailurePoint shortRead) {
    CFileContent content = ReadFileContent(path, fileOpen, EWholeRead::OneReadOfItsSize);
    if (!content.complete) ThrowFail(shortRead);
    return std::move(content.bytes);
}

const BYTE* BytesOf(const QByteArray& bytes) {
    return reinterpret_cast<const BYTE*>(bytes.constData());
}

// A payload file's size as a block writer's count (LONG or ULONG). A size beyond the count's
// range becomes the range's largest value, which the writer refuses as too long at its own
// failure point, instead of wrapping round to a count that might pass.
template <class Count>
Count PayloadCount(const QByteArray& bytes) {
    constexpr Count kLargest = std::numeric_limits<Count>::max();
    if (static_cast<unsigned long long>(bytes.size()) > kLargest) return kLargest;
    return static_cast<Count>(bytes.size());
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
    if (!document.GetSerialNo(serialNumber)) ThrowFail(kRestore.serialNumberMissing);
    if (!document.GetMaterialNo(materialNumber)) ThrowFail(kRestore.materialNumberMissing);
    const QByteArray deviceDataSet =
        ReadPayloadFile(DDSFilePath(), kRestore.ddsFileOpen, kRestore.ddsFileShortRead);
    const QByteArray macAddress =
        ReadPayloadFile(MACFilePath(), kRestore.macFileOpen, kRestore.macFileShortRead);

    LONG status = 0;
    auto values = GetDriverInterface<IDriverValue>();
    ThrowIfNull(values.Get(), kRestore.valueInterface);
    BYTE saved[kSavedValueSize] = {};
    ThrowIfFailed(values->ReadValue(kItem16, kSubItem, kSavedValueSize, saved, &status),
                  kRestore.savedValueRead);
    // A value without a zero byte is cut at the buffer's end, so that the length written back
    // never reaches beyond the 200 bytes saved.
    saved[kSavedValueSize - 1] = 0;

    auto control = GetDriverInterface<IEEPROMControl>();
    ThrowIfNull(control.Get(), kRestore.controlInterface);
    ThrowIfCallFailed(OpenBlockWrites(control.Get(), &status), status, kRestore.openForWriteCall,
                      kRestore.openForWriteStatus);

    SetDeferredCommit(true);
    if (!SetDeviceDataSetEEPROM(BytesOf(deviceDataSet), PayloadCount<LONG>(deviceDataSet))) {
        ThrowFail(kRestore.deviceDataSetWrite);
    }
    if (!SetMACEEPROM(BytesOf(macAddress), PayloadCount<ULONG>(macAddress))) {
        ThrowFail(kRestore.macAddressWrite);
    }
    const QByteArray serialText = IdentificationText(serialNumber, kSerialNumberWriteCount);
    if (WriteSerialNumber(serialText.constData()) != 0) ThrowFail(kRestore.serialNumberWrite);
    const QByteArray materialText = IdentificationText(materialNumber, kMaterialNumberWriteCount);
    if (WriteMaterialNumber(materialText.constData()) != 0) ThrowFail(kRestore.materialNumberWrite);

    const LONG savedLength = static_cast<LONG>(std::strlen(reinterpret_cast<char*>(saved))) + 1;
    ThrowIfFailed(values->WriteValue(kItem16, kSubItem, savedLength, saved, &status),
                  kRestore.savedValueWrite);
    ThrowIfFailed(CommitBlockWrites(control.Get(), &status), kRestore.commitCall);
    return 0;
}
