// norn-fuzz-seeds <corpus directory>: writes the seed inputs of the fuzz targets into
// <directory>/<target>/. The service data files in them are the module's own: a backup (F3) of
// the driver simulator's factory blocks, with the identification then set through the module's
// document class. Each seed is read back with its target's layout before it is written, so a
// seed always means what it says.
#include <norn/firmware/MeasurementDriverSimulator.h>
#include <norn/firmware/RotRegistration.h>

#include <QString>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "FuzzCases.h"
#include "files/ServiceDataDocument.h"

using namespace norn::eeprom;
using namespace norn::fuzz;

extern "C" LONG F3();

namespace {

// The service data files as the module writes them.
struct CServiceData {
    std::string backupXml;  // as the backup leaves it: no identification
    std::string xml;        // with SerialNo and MaterialNo
    std::string deviceDataSet, macAddress;
    std::string deviceDataSetHeader, macAddressHeader;
};

CServiceData WriteServiceData() {
    BeginIteration();
    norn::firmware::CMeasurementDriverSimulator driver;
    norn::firmware::CRotRegistration registration(driver.Unknown(), OLESTR("TarvoMeasDriver"));
    NORN_FUZZ_CHECK(registration.Succeeded());
    NORN_FUZZ_CHECK(F3() == 0);
    CServiceData data;
    data.backupXml = ReadWholeFile(XmlFile());
    CServiceDataDocument document(QString::fromStdString(XmlFile()));
    NORN_FUZZ_CHECK(document.SetSerialNo(QStringLiteral("SN12345678")));
    NORN_FUZZ_CHECK(document.SetMaterialNo(QStringLiteral("1234.5678.90")));
    data.xml = ReadWholeFile(XmlFile());
    data.deviceDataSet = ReadWholeFile(DdsFile());
    data.macAddress = ReadWholeFile(MacFile());
    const auto ddsImage = driver.CommittedImage(kDeviceDataSetBlock);
    const auto macImage = driver.CommittedImage(kMacAddressBlock);
    data.deviceDataSetHeader.assign(ddsImage.begin(), ddsImage.begin() + kHeaderSize);
    data.macAddressHeader.assign(macImage.begin(), macImage.begin() + kHeaderSize);
    return data;
}

// Encodes the case, checks that the target reads it back as laid out (the case read back encodes
// to the same input, and nothing is left over), and writes it as <directory>/<name>.
template <class Case>
void WriteSeed(const std::filesystem::path& directory, const char* name, Case c) {
    CSeedWriter writer;
    Describe(writer, c);
    const std::string seed = writer.Build();
    FuzzedDataProvider provider(reinterpret_cast<const uint8_t*>(seed.data()), seed.size());
    CInputReader reader(provider);
    Case readBack;
    Describe(reader, readBack);
    CSeedWriter again;
    Describe(again, readBack);
    NORN_FUZZ_CHECK(again.Build() == seed && provider.remaining_bytes() == 0);
    std::filesystem::create_directories(directory);
    std::ofstream(directory / name, std::ios::binary | std::ios::trunc) << seed;
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
    longer.deviceDataSetBlock.payloadKind = PayloadOwn;
    longer.deviceDataSetBlock.payload = data.deviceDataSet;
    longer.macAddressBlock.payloadKind = PayloadOwn;
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
    CRestoreCase complete;
    complete.xml = {FileRegular, data.xml};
    complete.deviceDataSet = {FileRegular, data.deviceDataSet};
    complete.macAddress = {FileRegular, data.macAddress};
    WriteSeed(directory, "backup-with-identification", complete);

    CRestoreCase backup = complete;
    backup.xml.content = data.backupXml;
    WriteSeed(directory, "backup-without-identification", backup);

    CRestoreCase longPayloads = complete;
    longPayloads.deviceDataSet.content.resize(kMaxDeviceDataSetPayload + 1, 'd');
    WriteSeed(directory, "device-data-set-too-long", longPayloads);

    CRestoreCase longMac = complete;
    longMac.macAddress.content.resize(kMacAddressPayloadSize + 1, 'm');
    WriteSeed(directory, "mac-address-too-long", longMac);

    CRestoreCase noXml = complete;
    noXml.xml = {FileAbsent, {}};
    WriteSeed(directory, "no-xml", noXml);
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
