#include "files/ServiceDataDocument.h"

#include <QFile>
#include <QFileInfo>

namespace {

const QString kRootName = QStringLiteral("NornData");

// The new document as the DOM writer prints it. The document is the same on every call, so it
// is printed once per load: the writer compiles a regular expression for the declaration each
// time it prints one, and that was a fifth of a backup.
QString NewDocumentText() {
    QDomDocument document(kRootName);
    document.appendChild(document.createProcessingInstruction(
        QStringLiteral("xml"), QStringLiteral("version='1.0' standalone='yes'")));
    document.appendChild(document.createElement(kRootName));
    return document.toString();
}

}  // namespace

// The file is open unbuffered, so that the count compared is what reached the file: a buffered
// write counts what reached Qt's buffer, and a full disk would only show at the close, unseen.
bool CServiceDataDocument::WriteText(QFile& file, const QString& text) {
    const QByteArray bytes = text.toLatin1();
    const bool complete = file.write(bytes) == bytes.size();
    file.close();
    return complete;
}

bool CServiceDataDocument::CreateDocument() {
    static const QString text = NewDocumentText();
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        return false;
    }
    return WriteText(file, text);
}

bool CServiceDataDocument::LoadDocument(QDomDocument& document) {
    if (!QFileInfo::exists(m_path)) return false;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return false;
    // The whole file in one read of its size, then parsed: the parser reading the file itself
    // (or readAll) asks it for its size and end again for every chunk. The parser sees the same
    // bytes either way.
    return static_cast<bool>(document.setContent(file.read(file.size())));
}

bool CServiceDataDocument::SaveDocument(const QDomDocument& document) {
    if (!QFileInfo::exists(m_path)) return false;
    const QString text = document.toString(1);
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
    return WriteText(file, text);
}

bool CServiceDataDocument::SetAttribute(const QString& name, const QString& value) {
    QDomDocument document;
    if (!LoadDocument(document)) return false;
    document.documentElement().setAttribute(name, value);
    return SaveDocument(document);
}

bool CServiceDataDocument::GetAttribute(const QString& name, QString& value) {
    QDomDocument document;
    if (!LoadDocument(document)) return false;
    value = document.documentElement().attribute(name, QString());
    return !value.isEmpty();
}
