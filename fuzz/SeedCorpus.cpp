// norn-fuzz-seeds <corpus directory>: writes the seed inputs of the fuzz targets into
// <directory>/<target>/. The service data files in them are the module's own: a backup (F3) of
// the driver simulator's factory blocks, with the identification then set through the module's
// document class. Each seed is read back with its target's layout before it is written, so a
// seed always means what it says.
#include <QString>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "FuzzCases.h"
#include "files/ServiceDataDocument.h"

using namespace norn::fuzz;

namespace {

// The service data files as the module writes them.
struct CServiceData {
    std::string backupXml;  // as the backup leaves it: no identification
    std::string xml;        // with SerialNo and MaterialNo
    std::string deviceDataSet, macAddress;
};

// The header of the block's factory image, which the backup leaves as it is.
std::string FactoryHeader(LONG block) {
    const std::vector<BYTE> image = norn::firmware::FactoryImage(block);
    return std::string(image.begin(), image.begin() + kHeaderSize);
}

std::string ReadDataFile(const char* name) {
    std::ifstream in(DataFile(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

CServiceData WriteServiceData() {
    norn::firmware::CMeasurementDriverSimulator driver;
    NORN_FUZZ_CHECK(WithDriver(driver, F3) == 0);
    CServiceData data;
    data.backupXml = ReadDataFile("NornData.xml");
    CServiceDataDocument document(QString::fromStdString(DataFile("NornData.xml")));
    NORN_FUZZ_CHECK(document.SetSerialNo(QStringLiteral("SN12345678")));
    NORN_FUZZ_CHECK(document.SetMaterialNo(QStringLiteral("1234.5678.90")));
    data.xml = ReadDataFile("NornData.xml");
    data.deviceDataSet = ReadDataFile("NornData.dds");
    data.macAddress = ReadDataFile("NornData.mac");
    return data;
}

// Writes the case as <directory>/<name> once it reads back as the same input.
template <class Case>
void WriteSeed(const std::filesystem::path& directory, const char* name, const Case& c) {
    const std::string seed = Encode(c);
    const auto* bytes = reinterpret_cast<const uint8_t*>(seed.data());
    NORN_FUZZ_CHECK(Encode(ReadCase<Case>(bytes, seed.size())) == seed);
    std::filesystem::create_directories(directory);
    std::ofstream(directory / name, std::ios::binary) << seed;
}

void WriteExportSeeds(const std::filesystem::path& directory, const CServiceData& data) {
    CExportCase matching;
    matching.deviceDataSetFile = {FileRegular, data.deviceDataSet};
    matching.macAddressFile = {FileRegular, data.macAddress};
    matching.deviceDataSetBlock.header = FactoryHeader(kDeviceDataSetBlock);
    matching.macAddressBlock.header = FactoryHeader(kMacAddressBlock);
    WriteSeed(directory, "files-match-blocks", matching);

    CExportCase longer = matching;
    longer.deviceDataSetFile.content += "trailing";
    longer.macAddressFile.content += "trailing";
    longer.deviceDataSetBlock.payloadKind = longer.macAddressBlock.payloadKind = PayloadOwn;
    longer.deviceDataSetBlock.payload = data.deviceDataSet;
    longer.macAddressBlock.payload = data.macAddress;
    WriteSeed(directory, "files-longer-than-payloads", longer);

    CExportCase differing = matching;
    differing.deviceDataSetBlock.payloadKind = PayloadOfFileChanged;
    differing.deviceDataSetBlock.changedByte = 5;
    differing.macAddressBlock.payloadKind = PayloadOfFileChanged;
    differing.macAddressBlock.changedByte = 15;
    WriteSeed(directory, "one-byte-differs", differing);

    CExportCase erased = matching;
    erased.deviceDataSetBlock.explicitLength = 1;
    erased.deviceDataSetBlock.length = 0xA5A5A5A5;
    erased.macAddressFile = {FileAbsent, {}};
    WriteSeed(directory, "erased-length-no-mac-file", erased);

    CExportCase unusable = matching;
    unusable.nullArguments = NullDeviceDataSetCount | NullMacAddressBuffer;
    unusable.deviceDataSetFile = {FileDirectory, {}};
    WriteSeed(directory, "null-arguments-directory", unusable);
}

void WriteRestoreSeeds(const std::filesystem::path& directory, const CServiceData& data) {
    const CRestoreCase complete{
        {FileRegular, data.xml}, {FileRegular, data.deviceDataSet}, {FileRegular, data.macAddress}};
    WriteSeed(directory, "backup-with-identification", complete);
    CRestoreCase c = complete;
    c.xml.content = data.backupXml;
    WriteSeed(directory, "backup-without-identification", c);
    c = complete;
    c.deviceDataSet.content.resize(kMaxDeviceDataSetPayload + 1, 'd');
    WriteSeed(directory, "device-data-set-too-long", c);
    c = complete;
    c.macAddress.content.resize(kMacAddressPayloadSize + 1, 'm');
    WriteSeed(directory, "mac-address-too-long", c);
    c = complete;
    c.xml = {FileAbsent, {}};
    WriteSeed(directory, "no-xml", c);
}

void WriteDriverSeeds(const std::filesystem::path& directory, const CServiceData& data) {
    static const char* const kNames[OperationCount] = {
        "device-data-set-export", "mac-address-export", "erase", "restore",
        "device-data-set-import", "mac-address-import"};
    CDriverCase c;
    c.serialNumber = "SN12345678";
    c.materialNumber = "1234.5678.90";
    c.deviceDataSet = data.deviceDataSet;
    c.macAddress = data.macAddress;
    c.deviceDataSetBytes = FactoryHeader(kDeviceDataSetBlock);
    c.macAddressBytes = FactoryHeader(kMacAddressBlock);
    c.value16 = norn::firmware::FactoryValues().at(norn::driver_values::kItem16);
    for (unsigned operation = 0; operation < OperationCount; ++operation) {
        c.operation = operation;
        WriteSeed(directory, kNames[operation], c);
    }
    c.operation = OperationErase;
    c.missingInterfaces = MissingControl;
    WriteSeed(directory, "erase-without-control-interface", c);
    // Shorter than the byte counts that F6 and F7 hand the driver.
    c.operation = OperationRestore;
    c.missingInterfaces = 0;
    c.serialNumber = "SN1";
    c.materialNumber = "M2";
    WriteSeed(directory, "restore-short-identification", c);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: norn-fuzz-seeds <corpus directory>\n");
        return 2;
    }
    const std::filesystem::path corpus = argv[1];
    const CServiceData data = WriteServiceData();
    WriteExportSeeds(corpus / "fuzz_payload_export", data);
    WriteRestoreSeeds(corpus / "fuzz_restore_files", data);
    WriteDriverSeeds(corpus / "fuzz_driver_answers", data);
    return 0;
}
