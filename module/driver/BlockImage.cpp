#include "driver/BlockImage.h"

#include <algorithm>
#include <cstring>

#include "errors/Checks.h"

using namespace norn::eeprom;

CBlockRead ReadBlockImage(IEEPROMBlock* block, LONG blockNumber, LONG callLine) {
    CBlockRead read;
    ThrowIfFailed(block->ReadBlock(0, blockNumber, &read.size, &read.buffer, &read.status),
                  kModuleSourceFile, callLine);
    return read;
}

std::unique_ptr<BYTE[]> ReadImageForRewrite(IEEPROMBlock* block, LONG blockNumber, LONG imageSize,
                                            const CReadLines& lines) {
    const CBlockRead read = ReadBlockImage(block, blockNumber, lines.call);
    if (read.status != 0 && read.size != imageSize) ThrowFail(kModuleSourceFile, lines.size);
    if (read.buffer == nullptr || read.size < kHeaderSize) ThrowFail(kModuleSourceFile, lines.size);

    std::unique_ptr<BYTE[]> image(new BYTE[imageSize]);
    std::memset(image.get(), kErasedByte, imageSize);
    std::memcpy(image.get(), read.buffer, kHeaderSize);
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
