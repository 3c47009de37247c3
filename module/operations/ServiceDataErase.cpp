#include "operations/ServiceDataErase.h"

#include <QFile>

#include "driver/BlockImage.h"
#include "driver/DriverAccess.h"
#include "errors/Checks.h"
#include "files/DataFilePaths.h"

using namespace norn::eeprom;
using norn::CInterfacePtr;

namespace {

// One block's erase: its preliminary read and its write, with their report lines.
struct CEraseLines {
    CReadLines read;
    LONG writeCall;
    LONG writeStatus;
};

constexpr CEraseLines kDeviceDataSetErase = {{2729, 2733}, 2757, 2768};
constexpr CEraseLines kMacAddressErase = {{2780, 2784}, 2808, 2819};

// The commit has report lines of its own, next after the MAC address block's.
constexpr LONG kCommitCallLine = 2830;
constexpr LONG kCommitStatusLine = 2834;

void EraseBlock(IEEPROMBlock* block, LONG blockNumber, LONG imageSize, const CEraseLines& lines) {
    auto image = ReadImageForRewrite(block, blockNumber, imageSize, lines.read);
    WriteImage(block, blockNumber, imageSize, image.get(), lines.writeCall, lines.writeStatus);
}

}  // namespace

LONG EraseServiceData() {
    // One lookup for both interfaces; no file is touched before both are there.
    auto driver = CInterfacePtr<IUnknown>::Attach(GetIfPointer());
    auto block = driver.Query<IEEPROMBlock>();
    auto control = driver.Query<IEEPROMControl>();
    driver.Reset();
    ThrowIfNull(block.Get(), kModuleSourceFile, 2707);
    ThrowIfNull(control.Get(), kModuleSourceFile, 2708);

    ResolveDataFilePaths();
    QFile::remove(XMLFilePath());  // a file that is missing or stays is not an error
    QFile::remove(DDSFilePath());
    QFile::remove(MACFilePath());

    EraseBlock(block.Get(), kDeviceDataSetBlock, kDeviceDataSetImageSize, kDeviceDataSetErase);
    EraseBlock(block.Get(), kMacAddressBlock, kMacAddressImageSize, kMacAddressErase);

    // Committed whatever the batch state: the erase neither reads nor changes the batch flags.
    LONG status = 0;
    ThrowIfFailed(control->SetEEPROMMode(2, 1, &status), kModuleSourceFile, kCommitCallLine);
    if (status != 0) ThrowFail(kModuleSourceFile, kCommitStatusLine);
    return 0;
}
