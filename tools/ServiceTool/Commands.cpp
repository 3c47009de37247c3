// The service tool's commands.
#include "Commands.h"

#include <QtCore/QFile>
#include <QtXml/QDomDocument>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

namespace norn::tool {

namespace {

using namespace norn::eeprom;

constexpr const char* kDataFiles[] = {"NornData.xml", "NornData.dds", "NornData.mac"};
constexpr uint32_t kErasedLength = 0xA5A5A5A5;

std::string Hex(const BYTE* bytes, size_t count, const char* separator = "") {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) hex += separator;
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 0x0F];
    }
    return hex;
}

std::string Hex(const std::vector<BYTE>& bytes, const char* separator = "") {
    return Hex(bytes.data(), bytes.size(), separator);
}

const char* Outcome(LONG result) {
    return result == kBrightworkSucceeded ? "ok" : "failed";
}

// One block as status shows it: the header, and the payload unless the block is erased.
struct CBlockView {
    std::string header;
    bool erased = true;
    uint32_t length = 0;
    std::vector<BYTE> payload;
};

CBlockView ViewDeviceDataSet(const std::vector<BYTE>& image) {
    CBlockView view;
    if (image.size() != static_cast<size_t>(kDeviceDataSetImageSize)) return view;
    view.header = Hex(image.data(), kHeaderSize, " ");
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
    view.header = Hex(image.data(), kHeaderSize, " ");
    view.payload.assign(image.begin() + kHeaderSize, image.end());
    view.length = static_cast<uint32_t>(view.payload.size());
    view.erased = true;
    for (BYTE byte : view.payload) view.erased = view.erased && byte == kErasedByte;
    return view;
}

std::string BlockJson(const CBlockView& view, const std::string& payload) {
    return "{\"header\":" + JsonString(view.header) +
           ",\"erased\":" + (view.erased ? "true" : "false") +
           ",\"length\":" + std::to_string(view.length) + ",\"payload\":" + JsonString(payload) +
           "}";
}

std::string FilesLine(const CCommandContext& context, std::string& json) {
    std::string line;
    json = "{";
    for (const char* name : kDataFiles) {
        std::error_code error;
        const auto size =
            std::filesystem::file_size(context.instrument.XmlDirectory() + "/" + name, error);
        const std::string shown = error ? "missing" : std::to_string(size) + " bytes";
        line += std::string(line.empty() ? "" : ", ") + name + " " + shown;
        json += std::string(json.size() > 1 ? "," : "") + JsonString(name) + ":" +
                (error ? "null" : std::to_string(size));
    }
    json += "}";
    return line;
}

int Status(CCommandContext& context, std::string& json) {
    CRunOutput& out = context.output;
    std::string serial, material;
    const LONG serialResult = context.host.ReadSerial(serial);
    const LONG materialResult = context.host.ReadMaterial(material);
    out.Line("serial     " + (serialResult == 0 ? serial : "(F4 failed)"));
    out.Line("material   " + (materialResult == 0 ? material : "(F5 failed)"));

    auto& driver = context.host.Driver();
    const CBlockView dds = ViewDeviceDataSet(driver.CommittedImage(kDeviceDataSetBlock));
    const CBlockView mac = ViewMacAddress(driver.CommittedImage(kMacAddressBlock));
    out.Line("dds block  22001 header " + dds.header);
    out.Line(dds.erased
                 ? "  payload  erased (length field a5a5a5a5)"
                 : "  payload  " + std::to_string(dds.length) + " bytes: " + Hex(dds.payload));
    out.Line("mac block  22002 header " + mac.header);
    out.Line(mac.erased ? "  payload  erased (all a5)" : "  payload  " + Hex(mac.payload, ":"));
    std::string files;
    out.Line("files      " + FilesLine(context, files) + " in " +
             context.instrument.XmlDirectory());

    json = "{\"serial\":" + JsonString(serial) + ",\"material\":" + JsonString(material) +
           ",\"dds\":" + BlockJson(dds, Hex(dds.payload)) +
           ",\"mac\":" + BlockJson(mac, Hex(mac.payload, ":")) + ",\"files\":" + files + "}";
    return serialResult == 0 && materialResult == 0 ? 0 : 1;
}

// The host's part of a backup: the identification goes into the document the module wrote.
bool AddIdentification(const std::string& path, const std::string& serial,
                       const std::string& material) {
    QFile file(QString::fromLocal8Bit(path.c_str()));
    if (!file.open(QIODevice::ReadOnly)) return false;
    QDomDocument document;
    if (!document.setContent(file.readAll())) return false;
    file.close();
    QDomElement root = document.documentElement();
    if (root.isNull()) return false;
    root.setAttribute(QStringLiteral("SerialNo"), QString::fromLatin1(serial.c_str()));
    root.setAttribute(QStringLiteral("MaterialNo"), QString::fromLatin1(material.c_str()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const QByteArray bytes = document.toString(1).toLatin1();
    return file.write(bytes) == bytes.size();
}

bool CopyDataFiles(const std::string& from, const std::string& to) {
    std::error_code error;
    std::filesystem::create_directories(to, error);
    for (const char* name : kDataFiles) {
        std::filesystem::copy_file(from + "/" + name, to + "/" + name,
                                   std::filesystem::copy_options::overwrite_existing, error);
        if (error) return false;
    }
    return true;
}

bool AllDataFilesIn(const std::string& directory) {
    for (const char* name : kDataFiles) {
        if (!std::filesystem::exists(directory + "/" + name)) return false;
    }
    return true;
}

int Backup(CCommandContext& context) {
    CRunOutput& out = context.output;
    const LONG result = context.host.Backup();
    out.Line(std::string("backup (F3): ") + Outcome(result));
    if (result != kBrightworkSucceeded) return 1;
    std::string serial, material;
    if (context.host.ReadSerial(serial) != 0 || context.host.ReadMaterial(material) != 0) {
        out.Line("host: cannot read the serial or material number; restore will not run");
        return 1;
    }
    const std::string xml = context.instrument.XmlDirectory() + "/NornData.xml";
    if (!AddIdentification(xml, serial, material)) {
        out.Line("host: cannot add the identification to " + xml);
        return 1;
    }
    out.Line("host: added SerialNo=\"" + serial + "\" and MaterialNo=\"" + material +
             "\" to NornData.xml so that a later restore can run");
    const std::string backup = context.instrument.BackupDirectory();
    if (!CopyDataFiles(context.instrument.XmlDirectory(), backup)) {
        out.Line("host: cannot keep a copy in " + backup);
        return 1;
    }
    out.Line("host: kept a copy of the service data files in " + backup);
    out.Field("serial", serial);
    out.Field("material", material);
    return 0;
}

int Restore(CCommandContext& context) {
    const std::string xml = context.instrument.XmlDirectory();
    const std::string backup = context.instrument.BackupDirectory();
    if (!AllDataFilesIn(xml) && AllDataFilesIn(backup) && CopyDataFiles(backup, xml)) {
        context.output.Line("host: laid out the service data files kept in " + backup);
    }
    const LONG result = context.host.Restore();
    context.output.Line(std::string("restore (F2): ") + Outcome(result));
    return result == kBrightworkSucceeded ? 0 : 1;
}

int Erase(CCommandContext& context) {
    const LONG result = context.host.Erase();
    context.output.Line(std::string("erase (F8): ") + Outcome(result) +
                        (result == 0 ? ", service data files removed, both blocks erased" : ""));
    return result == kBrightworkSucceeded ? 0 : 1;
}

int Identity(CCommandContext& context) {
    const bool serial = context.options.command == "serial";
    CServiceHost& host = context.host;
    if (context.input.hasNewValue) {
        const std::string& value = context.input.newValue;
        const LONG written = serial ? host.WriteSerial(value) : host.WriteMaterial(value);
        context.output.Line(std::string(serial ? "store (F6): " : "store (F7): ") +
                            Outcome(written));
        if (written != kBrightworkSucceeded) return 1;
    }
    std::string text;
    const LONG read = serial ? host.ReadSerial(text) : host.ReadMaterial(text);
    if (read != kBrightworkSucceeded) {
        context.output.Line(serial ? "read (F4): failed" : "read (F5): failed");
        return 1;
    }
    context.output.Line(context.options.command + " " + text);
    context.output.Field(context.options.command, text);
    return 0;
}

int ExportPayload(CCommandContext& context, EPayloadKind kind) {
    const bool dds = kind == EPayloadKind::DeviceDataSet;
    std::vector<BYTE> payload;
    const LONG result = context.host.Export(kind, payload);
    context.output.Line(std::string(dds ? "dds export (entry 4): " : "mac export (entry 6): ") +
                        Outcome(result));
    if (result != kBrightworkSucceeded) return 1;
    const std::string hex = Hex(payload, dds ? "" : ":");
    context.output.Field("payload", hex);
    context.output.RawField("length", std::to_string(payload.size()));
    if (!context.input.exportToFile) {
        context.output.Line(std::to_string(payload.size()) + " bytes: " + hex);
        return 0;
    }
    std::ofstream file(context.input.exportFile, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(payload.data()),
               static_cast<std::streamsize>(payload.size()));
    if (!file.flush()) {
        context.output.Line("cannot write " + context.input.exportFile);
        return 1;
    }
    context.output.Line(std::to_string(payload.size()) + " bytes written to " +
                        context.input.exportFile);
    return 0;
}

LONG RunImport(CCommandContext& context, const CImport& import) {
    const bool dds = import.kind == EPayloadKind::DeviceDataSet;
    const LONG result = context.host.Import(import);
    context.output.Line(std::string(dds ? "dds import (entry 3): " : "mac import (entry 5): ") +
                        std::to_string(import.bytes.size()) + " bytes from " + import.source +
                        ": " + Outcome(result));
    return result;
}

int Payload(CCommandContext& context) {
    const EPayloadKind kind =
        context.options.command == "dds" ? EPayloadKind::DeviceDataSet : EPayloadKind::MacAddress;
    if (context.input.imports.empty()) return ExportPayload(context, kind);
    return RunImport(context, context.input.imports.front()) == kBrightworkSucceeded ? 0 : 1;
}

int Batch(CCommandContext& context) {
    const HRESULT begun = context.host.BeginBatch();
    context.output.Line(std::string("begin batch (entry 29): ") +
                        (begun == S_OK ? "ok" : "failed"));
    if (begun != S_OK) return 1;
    int result = 0;
    for (const auto& import : context.input.imports) {
        if (RunImport(context, import) != kBrightworkSucceeded) result = 1;
    }
    const LONG ended = context.host.EndBatch();
    context.output.Line(std::string("end batch (entry 30): ") + Outcome(ended));
    return ended == kBrightworkSucceeded ? result : 1;
}

int Demo(CCommandContext& context) {
    const std::pair<const char*, std::function<int(std::string&)>> steps[] = {
        {"status", [&](std::string& json) { return Status(context, json); }},
        {"backup", [&](std::string&) { return Backup(context); }},
        {"erase", [&](std::string&) { return Erase(context); }},
        {"status", [&](std::string& json) { return Status(context, json); }},
        {"restore", [&](std::string&) { return Restore(context); }},
        {"status", [&](std::string& json) { return Status(context, json); }},
    };
    int failures = 0;
    std::string json = "[";
    for (size_t i = 0; i < std::size(steps); ++i) {
        context.output.Line("== step " + std::to_string(i + 1) + ": " + steps[i].first);
        std::string data = "null";
        const int result = steps[i].second(data);
        failures += result;
        context.output.Line("== step " + std::to_string(i + 1) + " " + steps[i].first + ": " +
                            (result == 0 ? "ok" : "FAILED"));
        json += std::string(i > 0 ? "," : "") + "{\"step\":" + JsonString(steps[i].first) +
                ",\"result\":" + std::to_string(result) + ",\"status\":" + data + "}";
    }
    context.output.RawField("steps", json + "]");
    context.output.Line(failures == 0 ? "demo: every step succeeded"
                                      : "demo: " + std::to_string(failures) + " step(s) failed");
    return failures == 0 ? 0 : 1;
}

}  // namespace

int RunCommand(CCommandContext& context) {
    const std::string& command = context.options.command;
    if (command == "status") {
        std::string json;
        const int result = Status(context, json);
        context.output.RawField("status", json);
        return result;
    }
    if (command == "backup") return Backup(context);
    if (command == "restore") return Restore(context);
    if (command == "erase") return Erase(context);
    if (command == "serial" || command == "material") return Identity(context);
    if (command == "dds" || command == "mac") return Payload(context);
    if (command == "batch") return Batch(context);
    return Demo(context);
}

int PrintLog(const CToolOptions& options, CRunOutput& output) {
    std::ifstream in(options.instrument + "/log.txt");
    std::vector<std::string> lines;
    std::string json = "[";
    for (std::string line; std::getline(in, line);) {
        output.Line(line);
        json += std::string(json.size() > 1 ? "," : "") + JsonString(line);
        lines.push_back(line);
    }
    if (lines.empty()) output.Line("no reports recorded for " + options.instrument);
    output.RawField("log", json + "]");
    return 0;
}

}  // namespace norn::tool
