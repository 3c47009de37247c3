#include "InstrumentData.h"

#include <norn/firmware/Hex.h>

#include <QJsonArray>

#include <iostream>

namespace norn::tool {

namespace {

using namespace norn::eeprom;

constexpr uint32_t kErasedLength = 0xA5A5A5A5;

std::string Describe(const CInstrumentData& data, const std::string& item) {
    if (item == "serial") return data.serial.empty() ? "(none)" : data.serial;
    if (item == "material") return data.material.empty() ? "(none)" : data.material;
    if (item == "mac") return firmware::ToHex(data.mac, ":");
    return data.ddsErased ? "erased" : std::to_string(data.dds.size()) + " bytes";
}

// Where two byte strings first differ.
size_t FirstDifference(const std::string& a, const std::string& b) {
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    return i;
}

}  // namespace

CBlockView ViewDeviceDataSet(const std::vector<BYTE>& image) {
    CBlockView view;
    if (image.size() != static_cast<size_t>(kDeviceDataSetImageSize)) return view;
    view.header =
        firmware::ToHex(std::vector<BYTE>(image.begin(), image.begin() + kHeaderSize), " ");
    const BYTE* field = image.data() + kHeaderSize;
    view.length = field[0] | field[1] << 8 | field[2] << 16 | static_cast<uint32_t>(field[3]) << 24;
    view.erased = view.length == kErasedLength;
    if (view.erased) return view;
    const uint32_t shown = std::min<uint32_t>(view.length, kMaxDeviceDataSetPayload);
    view.payload.assign(field + 4, field + 4 + shown);
    return view;
}

CBlockView ViewMacAddress(const std::vector<BYTE>& image) {
    CBlockView view;
    if (image.size() != static_cast<size_t>(kMacAddressImageSize)) return view;
    view.header =
        firmware::ToHex(std::vector<BYTE>(image.begin(), image.begin() + kHeaderSize), " ");
    view.payload.assign(image.begin() + kHeaderSize, image.end());
    view.length = static_cast<uint32_t>(view.payload.size());
    view.erased =
        view.payload.find_first_not_of(static_cast<char>(kErasedByte)) == std::string::npos;
    return view;
}

CInstrumentData ReadInstrumentData(CServiceHost& host) {
    CInstrumentData data;
    if (host.ReadSerial(data.serial) != kBrightworkSucceeded) data.serial.clear();
    if (host.ReadMaterial(data.material) != kBrightworkSucceeded) data.material.clear();
    const CBlockView dds = ViewDeviceDataSet(host.Driver().CommittedImage(kDeviceDataSetBlock));
    data.ddsErased = dds.erased;
    data.dds = dds.payload;
    data.mac = ViewMacAddress(host.Driver().CommittedImage(kMacAddressBlock)).payload;
    return data;
}

CInstrumentData DataOf(const CSetContent& set) {
    CInstrumentData data;
    data.serial = set.serial;
    data.material = set.material;
    data.dds = set.dds;
    // The MAC address block keeps 16 bytes: a shorter file is laid in over erased bytes.
    data.mac = set.mac.substr(0, kMacAddressPayloadSize);
    data.mac.resize(kMacAddressPayloadSize, static_cast<char>(kErasedByte));
    return data;
}

bool SameData(const CInstrumentData& a, const CInstrumentData& b) {
    return a.serial == b.serial && a.material == b.material && a.ddsErased == b.ddsErased &&
           a.dds == b.dds && a.mac == b.mac;
}

bool ShowChanges(const CInstrumentData& before, const CInstrumentData& after, CRunOutput& output) {
    std::vector<std::string> lines;
    for (const char* item : {"serial", "material", "dds", "mac"}) {
        const std::string from = Describe(before, item);
        const std::string to = Describe(after, item);
        const bool ddsSame = before.ddsErased == after.ddsErased && before.dds == after.dds;
        if (item == std::string("dds") ? ddsSame : from == to) continue;
        std::string line = std::string(item) + ": " + from + " -> " + to;
        if (item == std::string("dds") && !before.ddsErased && !after.ddsErased) {
            line += ", first difference at byte " +
                    std::to_string(FirstDifference(before.dds, after.dds));
        }
        lines.push_back(line);
    }
    output.Line(lines.empty() ? "changes: none" : "changes:");
    QJsonArray json;
    for (const std::string& line : lines) {
        output.Line("  " + line);
        json.append(JsonText(line));
    }
    output.Set("changes", json);
    return !lines.empty();
}

bool ConfirmChanges(const CToolOptions& options, CRunOutput& output, bool& declined) {
    declined = false;
    if (options.dryRun) {
        output.Line("dry run: nothing was changed");
        return false;
    }
    if (options.yes) return true;
    std::ostream& prompt = options.json ? std::cerr : std::cout;
    prompt << "Go on? [y/N] " << std::flush;
    std::string answer;
    const bool yes =
        std::getline(std::cin, answer) && (answer == "y" || answer == "Y" || answer == "yes");
    if (!yes) {
        if (std::cin.eof()) prompt << std::endl;
        declined = true;
        output.Line("not confirmed: nothing was changed");
        output.NoteError("not-confirmed", "the change was not confirmed; nothing was changed");
    }
    return yes;
}

}  // namespace norn::tool
