#include "driver/BlockImage.h"

#include <algorithm>
#include <cstring>

#include "errors/Checks.h"

using namespace norn::eeprom;

std::unique_ptr<BYTE[]> ReadImageForRewrite(IEEPROMBlock* block, LONG blockNumber, LONG imageSize,
                                            const CReadLines& lines) {
    LONG size = 0;
    BYTE* buffer = nullptr;  // stays the driver's
    LONG status = 0;
    ThrowIfFailed(block->ReadBlock(0, blockNumber, &size, &buffer, &status), kModuleSourceFile,
                  lines.call);
    if (status != 0 && size != imageSize) ThrowFail(kModuleSourceFile, lines.size);
    if (buffer == nullptr || size < kHeaderSize) ThrowFail(kModuleSourceFile, lines.size);

    std::unique_ptr<BYTE[]> image(new BYTE[imageSize]);
    std::memset(image.get(), kErasedByte, imageSize);
    std::memcpy(image.get(), buffer, kHeaderSize);
    return image;
}

void WriteImage(IEEPROMBlock* block, LONG blockNumber, LONG imageSize, BYTE* image, LONG callLine,
                LONG statusLine) {
    LONG status = 0;
    BYTE* imageRef = image;
    ThrowIfFailed(block->WriteBlock(0, blockNumber, 1, imageSize, image, &imageRef, &status),
                  kModuleSourceFile, callLine);
    if (status != 0) ThrowFail(kModuleSourceFile, statusLine);
}
