// Reading a block image that is about to be rewritten: the writers and the erase keep the
// block's 8-byte header exactly as the driver returns it and fill everything behind it with
// 0xA5 before laying in their payload.
#pragma once

#include <norn/MeasurementDriver.h>

#include <memory>

// What one ReadBlock answered. The buffer stays the driver's: copied, never freed.
struct CBlockRead {
    LONG size = 0;
    BYTE* buffer = nullptr;
    LONG status = 0;
};

// Calls ReadBlock; a failed call is raised with callLine.
CBlockRead ReadBlockImage(IEEPROMBlock* block, LONG blockNumber, LONG callLine);

// The report lines of one rewrite's preliminary read: the call, and a nonzero status together
// with a wrong size.
struct CReadLines {
    LONG call;
    LONG size;
};

// Reads the block and returns a new image of the block's size: the header as read, then 0xA5.
// A failed preliminary read is accepted as long as its size is right. A read that returns less
// than a whole header, or no buffer, also fails with the size line: the header could not be
// kept. Never copies more than the driver returned, nor more than the image holds.
std::unique_ptr<BYTE[]> ReadImageForRewrite(IEEPROMBlock* block, LONG blockNumber, LONG imageSize,
                                            const CReadLines& lines);

// Writes the whole image back; a failed call or a nonzero status fails with its line.
void WriteImage(IEEPROMBlock* block, LONG blockNumber, LONG imageSize, BYTE* image, LONG callLine,
                LONG statusLine);
