// norn-fuzz-seeds <corpus directory>: writes the seed inputs of the fuzz targets into
// <directory>/<target>/. The service data files in them are the module's own: a backup (F3) of
// the driver simulator's factory blocks, with the identification then set through the module's
// document class. Each seed is read back with its target's layout before it is written, so a
// seed always means what it says.
#include <QString>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "FuzzCases.h"
#include "files/ServiceDataDocument.h"

using namespace norn::eeprom;
using namespace norn::fuzz;

extern "C" LONG F3();

namespace {

// The service data files as the module writes them, and the headers of the blocks they hold.
struct CServiceData {
    std::string backupXml;  // as the backup leaves it: no identification
    std::string xml;        // with SerialNo and MaterialNo
    std::string deviceDataSet, macAddress;
    std::string deviceDataSetHeader, macAddressHeader;
};

CServiceData WriteServiceData() {
    BeginIteration();
    norn::firmware::CMeasurementDriverSimulator driver;
    WithDriver(driver, [] { NORN_FUZZ_CHECK(F3() == 0); });
    CServiceData data;
    data.backupXml = ReadWholeFile(DataFile("NornData.xml"));
    CServiceDataDocument document(QString::fromStdString(DataFile("NornData.xml")));
    NORN_FUZZ_CHECK(document.SetSerialNo(QStringLiteral("SN12345678")));
    NORN_FUZZ_CHECK(document.SetMaterialNo(QStringLiteral("1234.5678.90")));
    data.xml = ReadWholeFile(DataFile("NornData.xml"));
    data.deviceDataSet = ReadWholeFile(DataFile("NornData.dds"));
    data.macAddress = ReadWholeFile(DataFile("NornData.mac"));
    const auto header = [&driver](LONG block) {
        const std::vector<BYTE> image = driver.CommittedImage(block);
        return std::string(image.begin(), image.begin() + kHeaderSize);
    };
    data.deviceDataSetHeader = header(kDeviceDataSetBlock);
    data.macAddressHeader = header(kMacAddressBlock);
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
    matching.deviceDataSetBlock.header = data.deviceDataSetHeader;
    matching.macAddressBlock.header = data.macAddressHeader;
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
    c.deviceDataSetBytes = data.deviceDataSetHeader;
    c.macAddressBytes = data.macAddressHeader;
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
