#include "operations/ServiceDataErase.h"

#include <QFile>

#include "driver/BlockImage.h"
#include "driver/DriverAccess.h"
#include "errors/Checks.h"
#include "files/DataFilePaths.h"

using namespace norn::eeprom;
using norn::CInterfacePtr;

namespace {

// EraseServiceData's failure points: the interfaces and the one commit at the end.
constexpr struct {
    CFailurePoint blockInterface = ModuleLine(2707);
    CFailurePoint controlInterface = ModuleLine(2708);
    CFailurePoint commitCall = ModuleLine(2830);
    CFailurePoint commitStatus = ModuleLine(2834);
} kErase{};

// The rewrite of the device data set block: its preliminary read and its write.
constexpr struct {
    CFailurePoint readCall = ModuleLine(2729);
    CFailurePoint readSize = ModuleLine(2733);
    CFailurePoint writeCall = ModuleLine(2757);
    CFailurePoint writeStatus = ModuleLine(2768);
} kDeviceDataSetErase{};

// The rewrite of the MAC address block.
constexpr struct {
    CFailurePoint readCall = ModuleLine(2780);
    CFailurePoint readSize = ModuleLine(2784);
    CFailurePoint writeCall = ModuleLine(2808);
    CFailurePoint writeStatus = ModuleLine(2819);
} kMacAddressErase{};

template <class ErasePoints>
void EraseBlock(IEEPROMBlock* block, LONG blockNumber, LONG imageSize, const ErasePoints& at) {
    auto image = ReadImageForRewrite(block, blockNumber, imageSize, at.readCall, at.readSize);
    WriteImage(block, blockNumber, imageSize, image.get(), at.writeCall, at.writeStatus);
}

}  // namespace

LONG EraseServiceData() {
    // One lookup for both interfaces; no file is touched before both are there.
    auto driver = CInterfacePtr<IUnknown>::Attach(GetIfPointer());
    auto block = driver.Query<IEEPROMBlock>();
    auto control = driver.Query<IEEPROMControl>();
    driver.Reset();
    ThrowIfNull(block.Get(), kErase.blockInterface);
    ThrowIfNull(control.Get(), kErase.controlInterface);

    ResolveDataFilePaths();
    QFile::remove(XMLFilePath());  // a file that is missing or stays is not an error
    QFile::remove(DDSFilePath());
    QFile::remove(MACFilePath());

    EraseBlock(block.Get(), kDeviceDataSetBlock, kDeviceDataSetImageSize, kDeviceDataSetErase);
    EraseBlock(block.Get(), kMacAddressBlock, kMacAddressImageSize, kMacAddressErase);

    // Committed whatever the batch state: the erase neither reads nor changes the batch flags.
    LONG status = 0;
    ThrowIfCallFailed(CommitBlockWrites(control.Get(), &status), status, kErase.commitCall,
                      kErase.commitStatus);
    return 0;
}
