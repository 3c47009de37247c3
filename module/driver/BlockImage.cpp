#include "driver/BlockImage.h"

#include <algorithm>
#include <cstring>

using namespace norn::eeprom;

namespace {

// The arguments ReadBlock and WriteBlock take besides the block: a reserved 0, and the write's
// flag 1.
constexpr LONG kReserved = 0;
constexpr LONG kWriteFlag = 1;

}  // namespace

CBlockRead ReadBlockImage(IEEPROMBlock* block, LONG blockNumber, CFailurePoint readCall) {
    CBlockRead read;
    ThrowIfFailed(block->ReadBlock(kReserved, blockNumber, &read.size, &read.buffer, &read.status),
                  readCall);
    return read;
}

std::unique_ptr<BYTE[]> ReadImageForRewrite(IEEPROMBlock* block, LONG blockNumber, LONG imageSize,
                                            CFailurePoint readCall, CFailurePoint readSize) {
    const CBlockRead read = ReadBlockImage(block, blockNumber, readCall);
    if (read.status != 0 && read.size != imageSize) ThrowFail(readSize);
    if (read.buffer == nullptr || read.size < kHeaderSize) ThrowFail(readSize);

    std::unique_ptr<BYTE[]> image(new BYTE[imageSize]);
    std::memset(image.get(), kErasedByte, imageSize);
    std::memcpy(image.get(), read.buffer, kHeaderSize);
    return image;
}

void WriteImage(IEEPROMBlock* block, LONG blockNumber, LONG imageSize, BYTE* image,
                CFailurePoint writeCall, CFailurePoint writeStatus) {
    LONG status = 0;
    BYTE* imageRef = image;
    ThrowIfCallFailed(
        block->WriteBlock(kReserved, blockNumber, kWriteFlag, imageSize, image, &imageRef, &status),
        status, writeCall, writeStatus);
}
