// The service procedures around the backup sets: backup, the list of sets, verify, restore (and
// recover), erase and prune. Whatever changes the instrument shows the change and asks first;
// what would destroy data needs a verified way back.
#include <QDomDocument>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include "Commands.h"
#include "InstrumentData.h"
#include "SafeFiles.h"

namespace norn::tool {

namespace {

using namespace norn::eeprom;

std::string ReadDataFile(const CCommandContext& context, const char* name) {
    return ReadRegularFile(context.instrument.DataFile(name), kMaxDataFileSize);
}

// The document's root element, or a null element when the text is not a document.
QDomElement DocumentRoot(QDomDocument& document, const std::string& text) {
    if (!document.setContent(QByteArray(text.data(), static_cast<qsizetype>(text.size())))) {
        return {};
    }
    return document.documentElement();
}

// The host's part of a backup: the identification goes into the document the module wrote, so
// that a later restore can run. The document is replaced whole.
void AddIdentification(const CCommandContext& context, const std::string& serial,
                       const std::string& material) {
    QDomDocument document;
    QDomElement root = DocumentRoot(document, ReadDataFile(context, "NornData.xml"));
    if (root.isNull()) throw CFileError("NornData.xml as the backup wrote it does not parse");
    root.setAttribute(QStringLiteral("SerialNo"), QString::fromLatin1(serial.c_str()));
    root.setAttribute(QStringLiteral("MaterialNo"), QString::fromLatin1(material.c_str()));
    const QByteArray bytes = document.toString(1).toLatin1();
    WriteFileAtomically(context.instrument.DataFile("NornData.xml"),
                        std::string_view(bytes.constData(), bytes.size()));
}

CSetContent ReadLooseFiles(const CCommandContext& context) {
    CSetContent content;
    content.xml = ReadDataFile(context, "NornData.xml");
    content.dds = ReadDataFile(context, "NornData.dds");
    content.mac = ReadDataFile(context, "NornData.mac");
    QDomDocument document;
    const QDomElement root = DocumentRoot(document, content.xml);
    content.serial = root.attribute(QStringLiteral("SerialNo")).toStdString();
    content.material = root.attribute(QStringLiteral("MaterialNo")).toStdString();
    return content;
}

// Lays the set's files into the service data folder and reads them back.
void LayOut(const CCommandContext& context, const CSetContent& content) {
    for (const char* name : kServiceDataFiles) {
        const std::string& bytes = name == std::string("NornData.xml")   ? content.xml
                                   : name == std::string("NornData.dds") ? content.dds
                                                                         : content.mac;
        WriteFileAtomically(context.instrument.DataFile(name), bytes);
        if (ReadDataFile(context, name) != bytes) {
            throw CFileError(context.instrument.DataFile(name) + " does not read back as written");
        }
    }
}

struct CCheck {
    std::string item;
    bool match;
    std::string detail;
};

// The files against the blocks and the identification, then the set (by default the newest)
// against the instrument.
std::vector<CCheck> Checks(CCommandContext& context, std::string setName) {
    std::vector<CCheck> checks;
    CServiceHost& host = context.host;
    std::vector<BYTE> payload;
    checks.push_back({"device data set", host.Export(EPayloadKind::DeviceDataSet, payload) == 0,
                      "NornData.dds and block 22001 (entry 4)"});
    checks.push_back({"MAC address", host.Export(EPayloadKind::MacAddress, payload) == 0,
                      "NornData.mac and block 22002 (entry 6)"});
    const CInstrumentData now = ReadInstrumentData(host);
    std::string xml;
    try {
        xml = ReadDataFile(context, "NornData.xml");
    } catch (const CFileError&) {
    }
    QDomDocument document;
    const QDomElement root = DocumentRoot(document, xml);
    const std::string serial = root.attribute(QStringLiteral("SerialNo")).toStdString();
    const std::string material = root.attribute(QStringLiteral("MaterialNo")).toStdString();
    checks.push_back(
        {"serial number", !now.serial.empty() && now.serial == serial,
         "F4 " + now.serial + ", NornData.xml " + (serial.empty() ? "(none)" : serial)});
    checks.push_back(
        {"material number", !now.material.empty() && now.material == material,
         "F5 " + now.material + ", NornData.xml " + (material.empty() ? "(none)" : material)});
    if (setName.empty()) {
        const std::vector<CBackupSet> sets = context.sets.List();
        if (sets.empty()) {
            checks.push_back({"backup set", false, "there is none"});
            return checks;
        }
        setName = sets.front().name;
    }
    const CBackupSet set = context.sets.Check(setName);
    if (!set.verified) {
        checks.push_back({"backup set", false, set.name + " " + set.problem});
        return checks;
    }
    const bool same = SameData(DataOf(context.sets.Read(set.name)), now);
    checks.push_back({"backup set", same,
                      set.name + (same ? " verifies and holds the instrument's data"
                                       : " verifies but holds other data")});
    return checks;
}

// A verified set that holds the instrument's data, or empty.
std::string SetHolding(CCommandContext& context, const CInstrumentData& data) {
    for (const CBackupSet& set : context.sets.List()) {
        if (set.verified && SameData(DataOf(context.sets.Read(set.name)), data)) return set.name;
    }
    return {};
}

int VerifyAgainst(CCommandContext& context, const std::string& setName) {
    bool all = true;
    QJsonArray json;
    for (const CCheck& check : Checks(context, setName)) {
        all = all && check.match;
        context.output.Line(std::string(check.match ? "match    " : "DIFFERS  ") + check.item +
                            ": " + check.detail);
        json.append(QJsonObject{{"item", check.item.c_str()},
                                {"match", check.match},
                                {"detail", JsonText(check.detail)}});
    }
    context.output.Set("checks", json);
    context.output.Line(all ? "verify: everything matches" : "verify: differences found");
    if (!all) context.output.NoteError("differences", "verify found differences");
    return all ? 0 : 1;
}

}  // namespace

int Backup(CCommandContext& context) {
    CRunOutput& out = context.output;
    const LONG result = context.host.Backup();
    out.Line(std::string("backup (F3): ") + Outcome(result));
    if (result != kBrightworkSucceeded) return 1;
    std::string serial, material;
    if (context.host.ReadSerial(serial) != 0 || context.host.ReadMaterial(material) != 0) {
        out.Line("host: cannot read the serial or material number; no backup set made");
        return 1;
    }
    AddIdentification(context, serial, material);
    out.Line("host: added SerialNo=\"" + serial + "\" and MaterialNo=\"" + material +
             "\" to NornData.xml so that a later restore can run");
    CSetContent content = ReadLooseFiles(context);
    auto& driver = context.host.Driver();
    content.ddsHeader = ViewDeviceDataSet(driver.CommittedImage(kDeviceDataSetBlock)).header;
    content.macHeader = ViewMacAddress(driver.CommittedImage(kMacAddressBlock)).header;
    const std::string name =
        context.sets.Create(content, NORN_TOOL_VERSION, context.host.ModuleVersion());
    out.Line("host: kept backup set " + name + " in " + context.instrument.BackupsDirectory());
    out.Set("serial", JsonText(serial));
    out.Set("material", JsonText(material));
    out.Set("backup_set", JsonText(name));
    return 0;
}

int ListBackups(CCommandContext& context) {
    const std::vector<CBackupSet> sets = context.sets.List();
    QJsonArray json;
    for (const CBackupSet& set : sets) {
        std::string sizes;
        for (const char* file : kServiceDataFiles) {
            const auto size = set.sizes.find(file);
            sizes += std::string(sizes.empty() ? "" : "/") +
                     (size == set.sizes.end() ? "-" : std::to_string(size->second));
        }
        context.output.Line(set.name + "  " + set.created + "  serial " + set.serial +
                            "  material " + set.material + "  xml/dds/mac " + sizes + " bytes  " +
                            (set.verified ? "verified" : "DAMAGED: " + set.problem));
        QJsonObject sizesJson;
        for (const auto& [file, size] : set.sizes) sizesJson.insert(file.c_str(), qint64(size));
        json.append(
            QJsonObject{{"name", JsonText(set.name)},
                        {"created", set.created.empty() ? QJsonValue() : JsonText(set.created)},
                        {"serial", JsonText(set.serial)},
                        {"material", JsonText(set.material)},
                        {"sizes", sizesJson},
                        {"verified", set.verified},
                        {"problem", set.verified ? QJsonValue() : JsonText(set.problem)}});
    }
    if (sets.empty())
        context.output.Line("no backup sets in " + context.instrument.BackupsDirectory());
    context.output.Set("sets", json);
    return 0;
}

int Verify(CCommandContext& context) {
    return VerifyAgainst(context, {});
}

int Restore(CCommandContext& context) {
    const CToolOptions& options = context.options;
    CSetContent content;
    std::string source = options.from;
    std::string setName;  // the set restored from; the closing check compares it
    if (options.looseFiles) {
        content = ReadLooseFiles(context);
        source = "the files in " + context.instrument.XmlDirectory();
    } else {
        if (source.empty()) {
            for (const CBackupSet& set : context.sets.List()) {
                if (set.verified) {
                    source = set.name;
                    break;
                }
            }
        }
        if (source.empty()) {
            throw CRefusal("no verified backup set to restore from; nothing was changed");
        }
        content = context.sets.Read(source);  // a set that does not verify is never used
        setName = source;
        source = "backup set " + source;
    }
    context.output.Line("restore from " + source);
    context.output.Set("from", JsonText(source));
    ShowChanges(ReadInstrumentData(context.host), DataOf(content), context.output);
    bool declined = false;
    if (!ConfirmChanges(options, context.output, declined)) return declined ? 1 : 0;
    if (!options.looseFiles) LayOut(context, content);
    const LONG result = context.host.Restore();
    context.output.Line(std::string("restore (F2): ") + Outcome(result));
    if (result != kBrightworkSucceeded) return 1;
    return VerifyAgainst(context, setName);
}

int Erase(CCommandContext& context) {
    const CInstrumentData now = ReadInstrumentData(context.host);
    const std::string holder = SetHolding(context, now);
    if (holder.empty() && !context.options.force) {
        throw CRefusal(
            "no verified backup set holds this instrument's data, so nothing could "
            "bring it back; run 'norn-service backup' first (or erase --force)");
    }
    context.output.Line(holder.empty() ? "no backup set holds this data (--force)"
                                       : "backup set " + holder + " holds this data");
    if (!holder.empty()) context.output.Set("backup_set", JsonText(holder));
    CInstrumentData after = now;
    after.ddsErased = true;
    after.dds.clear();
    after.mac.assign(kMacAddressPayloadSize, static_cast<char>(kErasedByte));
    ShowChanges(now, after, context.output);
    context.output.Line("  files: NornData.xml, NornData.dds and NornData.mac are removed");
    bool declined = false;
    if (!ConfirmChanges(context.options, context.output, declined)) return declined ? 1 : 0;
    const LONG result = context.host.Erase();
    bool filesGone = true;
    for (const char* name : kServiceDataFiles) {
        filesGone = filesGone && PathKind(context.instrument.DataFile(name)) == EPathKind::Missing;
    }
    const CInstrumentData erased = ReadInstrumentData(context.host);
    const bool blocksErased = erased.ddsErased && erased.mac == after.mac;
    context.output.Line(std::string("erase (F8): ") + Outcome(result) + "; service data files " +
                        (filesGone ? "removed" : "NOT all removed") + ", blocks " +
                        (blocksErased ? "erased" : "NOT both erased"));
    return result == kBrightworkSucceeded ? 0 : 1;
}

int Info(CCommandContext& context) {
    CRunOutput& out = context.output;
    const CInstrumentData data = ReadInstrumentData(context.host);
    const std::vector<CBackupSet> sets = context.sets.List();
    const CBackupSet* newestGood = nullptr;
    for (const CBackupSet& set : sets) {
        if (set.verified && newestGood == nullptr) newestGood = &set;
    }
    std::string last;
    try {
        const std::string history =
            ReadRegularFile(context.instrument.Path("history.log"), kMaxJournalSize);
        const size_t end = history.rfind('\n');
        const size_t start =
            end == std::string::npos ? std::string::npos : history.rfind('\n', end - 1);
        if (end != std::string::npos)
            last = history.substr(start == std::string::npos ? 0 : start + 1,
                                  end - (start == std::string::npos ? 0 : start + 1));
    } catch (const CFileError&) {
    }
    const QJsonObject lastEntry = QJsonDocument::fromJson(QByteArray::fromStdString(last)).object();
    const std::string version = context.host.ModuleVersion();
    out.Line("instrument    " + context.instrument.Directory());
    out.Line("service data  " + context.instrument.XmlDirectory());
    out.Line("module        " + context.host.ModulePath() + " " +
             (version.empty() ? "(no version)" : version));
    out.Line("serial        " + (data.serial.empty() ? "(F4 failed)" : data.serial));
    out.Line("material      " + (data.material.empty() ? "(F5 failed)" : data.material));
    out.Line("backup sets   " + std::to_string(sets.size()) +
             (newestGood != nullptr ? ", newest verified " + newestGood->name : ", none verified"));
    out.Line("last command  " +
             (lastEntry.isEmpty()
                  ? std::string("(none recorded)")
                  : lastEntry.value("time").toString().toStdString() + " " +
                        lastEntry.value("command").toString().toStdString() + ", exit " +
                        std::to_string(lastEntry.value("exit_code").toInt())));
    out.Set("info",
            QJsonObject{
                {"instrument", JsonText(context.instrument.Directory())},
                {"service_data_folder", JsonText(context.instrument.XmlDirectory())},
                {"module", JsonText(context.host.ModulePath())},
                {"module_version", version.empty() ? QJsonValue() : JsonText(version)},
                {"serial", data.serial.empty() ? QJsonValue() : JsonText(data.serial)},
                {"material", data.material.empty() ? QJsonValue() : JsonText(data.material)},
                {"backup_sets", static_cast<qint64>(sets.size())},
                {"newest_verified_set",
                 newestGood != nullptr ? JsonText(newestGood->name) : QJsonValue()},
                {"last_command", lastEntry.isEmpty() ? QJsonValue() : QJsonValue(lastEntry)},
            });
    return 0;
}

int Prune(CCommandContext& context) {
    const std::vector<std::string> removed =
        context.sets.Prune(static_cast<size_t>(context.options.keep));
    QJsonArray json;
    for (const std::string& name : removed) {
        context.output.Line("removed backup set " + name);
        json.append(JsonText(name));
    }
    if (removed.empty()) context.output.Line("nothing to remove");
    context.output.Set("removed", json);
    return 0;
}

}  // namespace norn::tool
