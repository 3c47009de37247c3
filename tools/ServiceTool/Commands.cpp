// The service tool's commands that read or change one thing: status, the identification, the
// payloads, the batch, the log, and the demo cycle; the dispatch of every command.
#include "Commands.h"

#include <norn/firmware/Hex.h>
#include <sys/stat.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>
#include <iostream>

#include "InstrumentData.h"
#include "SafeFiles.h"

namespace norn::tool {

namespace {

using namespace norn::eeprom;

// An erased block has no length and no payload.
QJsonObject BlockJson(const CBlockView& view, const std::string& payload) {
    return QJsonObject{{"header", view.header.c_str()},
                       {"erased", view.erased},
                       {"length", view.erased ? QJsonValue() : QJsonValue(qint64(view.length))},
                       {"payload", view.erased ? QJsonValue() : QJsonValue(payload.c_str())}};
}

std::string FilesLine(const CCommandContext& context, QJsonObject& json) {
    std::string line;
    for (const char* name : kServiceDataFiles) {
        struct stat info {};
        const bool there = lstat(context.instrument.DataFile(name).c_str(), &info) == 0;
        const std::string shown = there ? std::to_string(info.st_size) + " bytes" : "missing";
        line += std::string(line.empty() ? "" : ", ") + name + " " + shown;
        json.insert(name, there ? QJsonValue(qint64(info.st_size)) : QJsonValue());
    }
    return line;
}

int Status(CCommandContext& context, QJsonValue& json) {
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
    if (dds.erased) {
        out.Line("  payload  erased (length field a5a5a5a5)");
    } else {
        out.Payload("  payload  " + std::to_string(dds.length) + " bytes: ", dds.payload);
    }
    out.Line("mac block  22002 header " + mac.header);
    out.Line(mac.erased ? "  payload  erased (all a5)"
                        : "  payload  " + firmware::ToHex(mac.payload, ":"));
    QJsonObject files;
    out.Line("files      " + FilesLine(context, files) + " in " +
             context.instrument.XmlDirectory());

    json = QJsonObject{{"serial", serialResult == 0 ? JsonText(serial) : QJsonValue()},
                       {"material", materialResult == 0 ? JsonText(material) : QJsonValue()},
                       {"dds", BlockJson(dds, firmware::ToHex(dds.payload))},
                       {"mac", BlockJson(mac, firmware::ToHex(mac.payload, ":"))},
                       {"files", files}};
    return serialResult == 0 && materialResult == 0 ? 0 : 1;
}

// Shows the change and asks; false when the run must stop here (the result is then in `result`).
bool Approve(CCommandContext& context, const CInstrumentData& after, int& result) {
    ShowChanges(ReadInstrumentData(context.host), after, context.output);
    bool declined = false;
    const bool go = ConfirmChanges(context.options, context.output, declined);
    result = declined ? 1 : 0;
    return go;
}

int Identity(CCommandContext& context) {
    const bool serial = context.options.command == "serial";
    CServiceHost& host = context.host;
    if (context.input.hasNewValue) {
        const std::string& value = context.input.newValue;
        CInstrumentData after = ReadInstrumentData(host);
        (serial ? after.serial : after.material) = value;
        int refused = 0;
        if (!Approve(context, after, refused)) return refused;
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
    context.output.Set(context.options.command.c_str(), JsonText(text));
    return 0;
}

int ExportPayload(CCommandContext& context, EPayloadKind kind) {
    const bool dds = kind == EPayloadKind::DeviceDataSet;
    std::vector<BYTE> payload;
    const LONG result = context.host.Export(kind, payload);
    context.output.Line(std::string(dds ? "dds export (entry 4): " : "mac export (entry 6): ") +
                        Outcome(result));
    if (result != kBrightworkSucceeded) return 1;
    const std::string hex = firmware::ToHex(payload, dds ? "" : ":");
    context.output.Set("payload", hex.c_str());
    context.output.Set("length", static_cast<qint64>(payload.size()));
    if (!context.input.exportToFile) {
        const std::string title = std::to_string(payload.size()) + " bytes: ";
        if (dds) {
            context.output.Payload(title, std::string(payload.begin(), payload.end()));
        } else {
            context.output.Line(title + hex);
        }
        return 0;
    }
    WriteFileAtomically(
        context.input.exportFile,
        std::string_view(reinterpret_cast<const char*>(payload.data()), payload.size()));
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

// The instrument's data once the imports are in.
CInstrumentData AfterImports(CServiceHost& host, const std::vector<CImport>& imports) {
    CInstrumentData after = ReadInstrumentData(host);
    for (const CImport& import : imports) {
        const std::string bytes(import.bytes.begin(), import.bytes.end());
        if (import.kind == EPayloadKind::DeviceDataSet) {
            after.dds = bytes;
            after.ddsErased = false;
        } else {
            after.mac = bytes;
            after.mac.resize(kMacAddressPayloadSize, static_cast<char>(kErasedByte));
        }
    }
    return after;
}

int Payload(CCommandContext& context) {
    const EPayloadKind kind =
        context.options.command == "dds" ? EPayloadKind::DeviceDataSet : EPayloadKind::MacAddress;
    if (context.input.imports.empty()) return ExportPayload(context, kind);
    int refused = 0;
    if (!Approve(context, AfterImports(context.host, context.input.imports), refused)) {
        return refused;
    }
    return RunImport(context, context.input.imports.front()) == kBrightworkSucceeded ? 0 : 1;
}

// One commit for all the imports, or none: a failed import stops the batch before its end, so
// nothing of it is committed.
int Batch(CCommandContext& context) {
    int refused = 0;
    if (!Approve(context, AfterImports(context.host, context.input.imports), refused)) {
        return refused;
    }
    const HRESULT begun = context.host.BeginBatch();
    context.output.Line(std::string("begin batch (entry 29): ") +
                        (begun == S_OK ? "ok" : "failed"));
    if (begun != S_OK) return 1;
    for (const auto& import : context.input.imports) {
        if (RunImport(context, import) != kBrightworkSucceeded) {
            context.output.Line("batch stopped: the batch is not ended, nothing of it committed");
            return 1;
        }
    }
    const LONG ended = context.host.EndBatch();
    context.output.Line(std::string("end batch (entry 30): ") + Outcome(ended));
    return ended == kBrightworkSucceeded ? 0 : 1;
}

// The demo does not ask: it runs with --yes.
int Demo(CCommandContext& outer) {
    CToolOptions options = outer.options;
    options.yes = true;
    CCommandContext context{outer.host,  outer.instrument, options,
                            outer.input, outer.output,     outer.sets};
    const std::pair<const char*, std::function<int(QJsonValue&)>> steps[] = {
        {"status", [&](QJsonValue& json) { return Status(context, json); }},
        {"backup", [&](QJsonValue&) { return Backup(context); }},
        {"erase", [&](QJsonValue&) { return Erase(context); }},
        {"status", [&](QJsonValue& json) { return Status(context, json); }},
        {"restore", [&](QJsonValue&) { return Restore(context); }},
        {"status", [&](QJsonValue& json) { return Status(context, json); }},
    };
    QJsonArray json;
    int result = 0;
    for (size_t i = 0; i < std::size(steps) && result == 0; ++i) {
        context.output.Line("== step " + std::to_string(i + 1) + ": " + steps[i].first);
        QJsonValue data;
        result = steps[i].second(data);
        context.output.Line("== step " + std::to_string(i + 1) + " " + steps[i].first + ": " +
                            (result == 0 ? "ok" : "FAILED"));
        json.append(QJsonObject{{"step", steps[i].first}, {"result", result}, {"status", data}});
    }
    context.output.Set("steps", json);
    context.output.Line(result == 0 ? "demo: every step succeeded"
                                    : "demo: stopped at the failed step; later steps not run");
    return result;
}

}  // namespace

const char* Outcome(LONG result) {
    return result == kBrightworkSucceeded ? "ok" : "failed";
}

int RunCommand(CCommandContext& context) {
    const std::string& command = context.options.command;
    if (command == "status") {
        QJsonValue json;
        const int result = Status(context, json);
        context.output.Set("status", json);
        return result;
    }
    if (command == "init") {
        context.output.Set("instrument", JsonText(context.instrument.Directory()));
        return 0;
    }
    if (command == "info") return Info(context);
    if (command == "backup") return Backup(context);
    if (command == "backups") return ListBackups(context);
    if (command == "verify") return Verify(context);
    if (command == "restore" || command == "recover") return Restore(context);
    if (command == "erase") return Erase(context);
    if (command == "prune") return Prune(context);
    if (command == "serial" || command == "material") return Identity(context);
    if (command == "dds" || command == "mac") return Payload(context);
    if (command == "batch") return Batch(context);
    return Demo(context);
}

int PrintJournal(const CToolOptions& options, CRunOutput& output) {
    const bool history = options.command == "history";
    if (PathKind(options.instrument) != EPathKind::Directory) {
        output.NoteError("instrument", "no instrument in " + options.instrument);
        std::cerr << "norn-service: no instrument in " << options.instrument << std::endl;
        return 1;
    }
    std::string text;
    try {
        text = ReadRegularFile(options.instrument + (history ? "/history.log" : "/log.txt"),
                               kMaxJournalSize);
    } catch (const CFileError&) {  // none yet
    }
    QJsonArray json;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
        const std::string line = text.substr(start, end - start);
        if (!history) {
            output.Line(line);
            json.append(JsonText(line));
            continue;
        }
        const QJsonObject entry = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        json.append(entry);
        std::string shown = entry.value("time").toString().toStdString() + "  " +
                            entry.value("command").toString().toStdString();
        for (const auto& argument : entry.value("arguments").toArray()) {
            shown += " " + argument.toString().toStdString();
        }
        shown += "  exit " + std::to_string(entry.value("exit_code").toInt());
        for (const char* key : {"backup_set", "from"}) {
            if (entry.contains(key)) shown += "  " + entry.value(key).toString().toStdString();
        }
        for (const auto& change : entry.value("changes").toArray()) {
            shown += "  [" + change.toString().toStdString() + "]";
        }
        output.Line(shown);
    }
    if (json.isEmpty()) output.Line(std::string("nothing recorded for ") + options.instrument);
    output.Set(history ? "history" : "log", json);
    return 0;
}

}  // namespace norn::tool
