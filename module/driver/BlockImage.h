// Reading a block image that is about to be rewritten: the writers and the erase keep the
// block's 8-byte header exactly as the driver returns it and fill everything behind it with
// 0xA5 before laying in their payload.
#pragma once

#include <norn/MeasurementDriver.h>

#include <memory>

#include "errors/Checks.h"

// What one ReadBlock answered. The buffer stays the driver's: copied, never freed.
struct CBlockRead {
    LONG size = 0;
    BYTE* buffer = nullptr;
    LONG status = 0;
};

// Calls ReadBlock; a failed call is raised at readCall.
CBlockRead ReadBlockImage(IEEPROMBlock* block, LONG blockNumber, CFailurePoint readCall);

// Reads the block and returns a new image of the block's size: the header as read, then 0xA5.
// A failed call is raised at readCall. A failed preliminary read is accepted as long as its size
// is right; a nonzero status with a wrong size fails at readSize. A read that returns less than a
// whole header, or no buffer, also fails at readSize: the header could not be kept. Never copies
// more than the driver returned, nor more than the image holds.
std::unique_ptr<BYTE[]> ReadImageForRewrite(IEEPROMBlock* block, LONG blockNumber, LONG imageSize,
                                            CFailurePoint readCall, CFailurePoint readSize);

// Writes the whole image back; a failed call fails at writeCall, a nonzero status at writeStatus.
void WriteImage(IEEPROMBlock* block, LONG blockNumber, LONG imageSize, BYTE* image,
                CFailurePoint writeCall, CFailurePoint writeStatus);
