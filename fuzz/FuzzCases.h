// The inputs of the three fuzz targets, as cases and their layouts (Describe), which the targets
// read and the seed writer writes. A layout changes only with the corpus: the seeds and the
// inputs found are kept in it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"

namespace norn::fuzz {

// --- fuzz_payload_export: entries 4 and 6 against the service data files -------------------------

// What the simulator's block holds: its header, then a payload taken from the service data file
// (as it is, or with one byte changed) or from the input; the device data set's length field
// holds the payload's length or any value.
enum EPayloadKind : unsigned { PayloadOfFile, PayloadOfFileChanged, PayloadOwn, PayloadKindCount };
struct CBlockSpec {
    std::string header;
    unsigned payloadKind = PayloadOfFile;
    uint32_t changedByte = 0;  // PayloadOfFileChanged: which byte, modulo the payload's length
    std::string payload;       // PayloadOwn
    unsigned explicitLength = 0;
    uint32_t length = 0;  // explicitLength: the length field
};

template <class Stream>
void Describe(Stream& stream, CBlockSpec& block, bool hasLengthField) {
    stream.Bytes(block.header, kHeaderSize);
    stream.Choice(block.payloadKind, PayloadKindCount);
    if (block.payloadKind == PayloadOfFileChanged) stream.Number(block.changedByte);
    if (block.payloadKind == PayloadOwn) stream.Piece(block.payload, kMaxDeviceDataSetPayload);
    if (!hasLengthField) return;
    stream.Choice(block.explicitLength, 2);
    if (block.explicitLength) stream.Number(block.length);
}

// Null arguments of the two exports, as bits (16 combinations).
enum ENullArgument : unsigned {
    NullDeviceDataSetBuffer = 1,
    NullDeviceDataSetCount = 2,
    NullMacAddressBuffer = 4,
    NullMacAddressCount = 8,
};

struct CExportCase {
    unsigned nullArguments = 0;
    CFileSpec deviceDataSetFile, macAddressFile;
    CBlockSpec deviceDataSetBlock, macAddressBlock;
};

constexpr size_t kMaxPayloadFile = 2048;

template <class Stream>
void Describe(Stream& stream, CExportCase& c) {
    stream.Choice(c.nullArguments, 16);
    Describe(stream, c.deviceDataSetFile, kMaxPayloadFile);
    Describe(stream, c.macAddressFile, kMaxPayloadFile);
    Describe(stream, c.deviceDataSetBlock, true);
    Describe(stream, c.macAddressBlock, false);
}

// --- fuzz_restore_files: export F2 on the three service data files -------------------------------

struct CRestoreCase {
    CFileSpec xml, deviceDataSet, macAddress;
};

template <class Stream>
void Describe(Stream& stream, CRestoreCase& c) {
    Describe(stream, c.xml, 4096);
    Describe(stream, c.deviceDataSet, kMaxPayloadFile);
    Describe(stream, c.macAddress, kMaxPayloadFile);
}

// --- fuzz_driver_answers: operations against the driver simulator's fault plan ------------------

enum EOperation : unsigned {
    OperationDeviceDataSetExport,  // D5
    OperationMacAddressExport,     // D7
    OperationErase,                // F8
    OperationRestore,              // F2
    OperationDeviceDataSetImport,  // D4
    OperationMacAddressImport,     // D6
    OperationCount
};

// Bits of the driver interfaces that QueryInterface refuses (8 combinations).
enum EMissingInterface : unsigned { MissingBlock = 1, MissingControl = 2, MissingValue = 4 };

// What a block of the simulator holds: its header from the input and the case's payload (as the
// module writes it), or bytes from the input.
enum EImageKind : unsigned { ImageWellFormed, ImageRaw, ImageKindCount };

// How a call's HRESULT and status word are answered: one of these results or any value; the
// status word the simulator's own (0 when the call is in order), any value, or left alone.
const HRESULT kAnswerResults[] = {S_OK,          S_FALSE,      E_FAIL,      E_POINTER,
                                  E_OUTOFMEMORY, E_UNEXPECTED, E_INVALIDARG};
constexpr unsigned kAnswerResultCount = sizeof(kAnswerResults) / sizeof(kAnswerResults[0]);
enum EStatusAnswer : unsigned { StatusAsSet, StatusAny, StatusLeftAlone, StatusAnswerCount };

// How a block read hands out its buffer: the block's image; a buffer of the input's bytes with
// any declared size, as long as the size says (at most kMaxHandedOut bytes: well beyond both
// blocks, so that a module copying by the declared size would read past it); or none, with the
// block's size or any declared size.
enum EBlockAnswer : unsigned {
    BlockModelImage,
    BlockAnySize,
    BlockNullBuffer,
    BlockNullAnySize,
    BlockAnswerCount
};
constexpr size_t kMaxHandedOut = 4096;

// One planned answer of the driver.
struct CAnswer {
    unsigned result = 0;  // an index of kAnswerResults, or kAnswerResultCount for anyResult
    uint32_t anyResult = 0;
    unsigned status = StatusAsSet;
    uint32_t anyStatus = 0;
    unsigned block = BlockModelImage;  // block reads only
    uint32_t declared = 0;
    std::string bytes;

    HRESULT Result() const {
        return result < kAnswerResultCount ? kAnswerResults[result]
                                           : static_cast<HRESULT>(anyResult);
    }
};

template <class Stream>
void Describe(Stream& stream, CAnswer& answer, bool blockRead) {
    stream.Choice(answer.result, kAnswerResultCount + 1);
    if (answer.result == kAnswerResultCount) stream.Number(answer.anyResult);
    stream.Choice(answer.status, StatusAnswerCount);
    if (answer.status == StatusAny) stream.Number(answer.anyStatus);
    if (!blockRead) return;
    stream.Choice(answer.block, BlockAnswerCount);
    if (answer.block != BlockAnySize && answer.block != BlockNullAnySize) return;
    stream.Number(answer.declared);
    if (answer.block == BlockNullAnySize) return;
    const LONG declared = std::max(static_cast<LONG>(answer.declared), LONG{0});
    stream.Bytes(answer.bytes, std::min<size_t>(declared, kMaxHandedOut));
}

// The methods the operations call whose first kAnsweredCalls calls the input answers (ReadBlock,
// the first, with a buffer too); later calls are answered as the simulator answers them.
constexpr const char* kAnsweredMethods[] = {"ReadBlock", "WriteBlock", "SetEEPROMMode",
                                            "WriteValue", "ReadValue"};
constexpr size_t kAnsweredMethodCount = sizeof(kAnsweredMethods) / sizeof(kAnsweredMethods[0]);
constexpr size_t kAnsweredCalls = 3;

// The operation, the interfaces the driver refuses, and the service data: the identification
// that NornData.xml carries and the payloads, which are also the imports' host buffers and what
// well-formed blocks hold. Then the blocks' images, driver value 16 (which ReadValue delivers
// with its zero byte, or, with no zero byte anywhere, filling the whole buffer), and the answers.
// The leading fields keep an older layout, so that the corpus's minimised crash input still
// means what it meant.
struct CDriverCase {
    unsigned operation = OperationDeviceDataSetExport;
    unsigned missingInterfaces = 0;
    std::string serialNumber, materialNumber;
    std::string deviceDataSet, macAddress;
    unsigned deviceDataSetImage = ImageWellFormed, macAddressImage = ImageWellFormed;
    std::string deviceDataSetBytes, macAddressBytes;  // the header, or the whole raw image
    std::string value16;
    unsigned value16Unterminated = 0;
    CAnswer answers[kAnsweredMethodCount][kAnsweredCalls];
};

template <class Stream>
void Describe(Stream& stream, CDriverCase& c) {
    stream.Choice(c.operation, OperationCount);
    stream.Choice(c.missingInterfaces, 8);
    stream.Piece(c.serialNumber, 32);
    stream.Piece(c.materialNumber, 32);
    stream.Piece(c.deviceDataSet, kMaxDeviceDataSetPayload + 8);
    stream.Piece(c.macAddress, kMacAddressPayloadSize + 8);
    stream.Choice(c.deviceDataSetImage, ImageKindCount);
    stream.Bytes(c.deviceDataSetBytes,
                 c.deviceDataSetImage == ImageRaw ? kDeviceDataSetImageSize : kHeaderSize);
    stream.Choice(c.macAddressImage, ImageKindCount);
    stream.Bytes(c.macAddressBytes,
                 c.macAddressImage == ImageRaw ? kMacAddressImageSize : kHeaderSize);
    stream.Piece(c.value16, 250);  // beyond the 200 bytes the restore saves
    stream.Choice(c.value16Unterminated, 2);
    for (size_t m = 0; m < kAnsweredMethodCount; ++m) {
        for (CAnswer& answer : c.answers[m]) Describe(stream, answer, m == 0);
    }
}

}  // namespace norn::fuzz
