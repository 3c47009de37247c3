// The inputs of the three fuzz targets, as cases and their layouts (Describe), shared by the
// targets, which read them, and the seed generator, which writes them.
#pragma once

#include <norn/MeasurementDriver.h>

#include <cstdint>
#include <string>

#include "FuzzDriver.h"
#include "FuzzSupport.h"

namespace norn::fuzz {

// --- fuzz_payload_export: entries 4 and 6 against the service data files -------------------------

enum EPayloadKind : unsigned { PayloadOfFile, PayloadOfFileChanged, PayloadOwn, PayloadKindCount };

// What the simulator's block holds: its header, then a payload taken from the service data
// file (as it is, or with one byte changed) or from the input; the device data set's length
// field holds the payload's length or any value.
struct CBlockSpec {
    std::string header;
    unsigned payloadKind = PayloadOfFile;
    uint32_t changedByte = 0;  // PayloadOfFileChanged: which byte, modulo the payload's length
    std::string payload;       // PayloadOwn
    unsigned explicitLength = 0;
    uint32_t length = 0;  // explicitLength: the length field

    bool operator==(const CBlockSpec& o) const {
        return header == o.header && payloadKind == o.payloadKind && changedByte == o.changedByte &&
               payload == o.payload && explicitLength == o.explicitLength && length == o.length;
    }
};

template <class Stream>
void Describe(Stream& stream, CBlockSpec& block, bool hasLengthField) {
    stream.Bytes(block.header, eeprom::kHeaderSize);
    stream.Choice(block.payloadKind, PayloadKindCount);
    if (block.payloadKind == PayloadOfFileChanged) stream.Number(block.changedByte);
    if (block.payloadKind == PayloadOwn)
        stream.Piece(block.payload, eeprom::kMaxDeviceDataSetPayload);
    if (!hasLengthField) return;
    stream.Choice(block.explicitLength, 2);
    if (block.explicitLength) stream.Number(block.length);
}

// Null arguments of the two exports, as bits.
enum ENullArgument : unsigned {
    NullDeviceDataSetBuffer = 1,
    NullDeviceDataSetCount = 2,
    NullMacAddressBuffer = 4,
    NullMacAddressCount = 8,
    NullArgumentCombinations = 16
};

struct CExportCase {
    unsigned nullArguments = 0;
    CFileSpec deviceDataSetFile, macAddressFile;
    CBlockSpec deviceDataSetBlock, macAddressBlock;

    bool operator==(const CExportCase& o) const {
        return nullArguments == o.nullArguments && deviceDataSetFile == o.deviceDataSetFile &&
               macAddressFile == o.macAddressFile && deviceDataSetBlock == o.deviceDataSetBlock &&
               macAddressBlock == o.macAddressBlock;
    }
};

constexpr size_t kMaxPayloadFile = 2048;

template <class Stream>
void Describe(Stream& stream, CExportCase& c) {
    stream.Choice(c.nullArguments, NullArgumentCombinations);
    Describe(stream, c.deviceDataSetFile, kMaxPayloadFile);
    Describe(stream, c.macAddressFile, kMaxPayloadFile);
    Describe(stream, c.deviceDataSetBlock, true);
    Describe(stream, c.macAddressBlock, false);
}

// --- fuzz_restore_files: export F2 on the three service data files -------------------------------

struct CRestoreCase {
    CFileSpec xml, deviceDataSet, macAddress;

    bool operator==(const CRestoreCase& o) const {
        return xml == o.xml && deviceDataSet == o.deviceDataSet && macAddress == o.macAddress;
    }
};

constexpr size_t kMaxXmlFile = 4096;

template <class Stream>
void Describe(Stream& stream, CRestoreCase& c) {
    Describe(stream, c.xml, kMaxXmlFile);
    Describe(stream, c.deviceDataSet, kMaxPayloadFile);
    Describe(stream, c.macAddress, kMaxPayloadFile);
}

// --- fuzz_driver_answers: operations against CFuzzDriver
// ------------------------------------------

enum EOperation : unsigned {
    OperationDeviceDataSetExport,  // D5
    OperationMacAddressExport,     // D7
    OperationErase,                // F8
    OperationRestore,              // F2
    OperationDeviceDataSetImport,  // D4
    OperationMacAddressImport,     // D6
    OperationCount
};

// The operation, the interfaces the driver refuses, and the service data: the identification
// that NornData.xml carries and the payloads, which are also the imports' host buffers and
// what the driver's well-formed block answers hold. The rest of the input is the driver's.
struct CDriverCase {
    unsigned operation = OperationDeviceDataSetExport;
    unsigned missingInterfaces = 0;
    std::string serialNumber, materialNumber;
    std::string deviceDataSet, macAddress;

    bool operator==(const CDriverCase& o) const {
        return operation == o.operation && missingInterfaces == o.missingInterfaces &&
               serialNumber == o.serialNumber && materialNumber == o.materialNumber &&
               deviceDataSet == o.deviceDataSet && macAddress == o.macAddress;
    }
};

constexpr size_t kMaxIdentification = 32;

template <class Stream>
void Describe(Stream& stream, CDriverCase& c) {
    stream.Choice(c.operation, OperationCount);
    stream.Choice(c.missingInterfaces, MissingInterfaceCombinations);
    stream.Piece(c.serialNumber, kMaxIdentification);
    stream.Piece(c.materialNumber, kMaxIdentification);
    stream.Piece(c.deviceDataSet, eeprom::kMaxDeviceDataSetPayload + 8);
    stream.Piece(c.macAddress, eeprom::kMacAddressPayloadSize + 8);
}

}  // namespace norn::fuzz
