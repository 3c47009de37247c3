#include "files/ServiceDataDocument.h"

#include <QFile>
#include <QFileInfo>

namespace {
const QString kRootName = QStringLiteral("NornData");
}

bool CServiceDataDocument::WriteText(QFile& file, const QString& text) {
    const QByteArray bytes = text.toLatin1();
    const bool complete = file.write(bytes) == text.length();
    file.close();
    return complete;
}

bool CServiceDataDocument::CreateDocument() {
    QDomDocument document(kRootName);
    document.appendChild(document.createProcessingInstruction(
        QStringLiteral("xml"), QStringLiteral("version='1.0' standalone='yes'")));
    document.appendChild(document.createElement(kRootName));
    const QString text = document.toString();
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return WriteText(file, text);
}

bool CServiceDataDocument::LoadDocument(QDomDocument& document) {
    if (!QFileInfo::exists(m_path)) return false;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    return static_cast<bool>(document.setContent(&file));
}

bool CServiceDataDocument::SaveDocument(QDomDocument document) {
    if (!QFileInfo::exists(m_path)) return false;
    const QString text = document.toString(1);
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) return false;
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
