// CServiceDataDocument: the service data XML document NornData.xml, which carries the
// instrument's serial number and material number as the attributes SerialNo and MaterialNo of
// its root element NornData. Holds only the path: every operation works on the file on disk, and
// each attribute operation is a whole load-change-save cycle. Nothing here reports or raises; a
// false result is the caller's to raise.
#pragma once

#include <QDomDocument>
#include <QFile>
#include <QString>

class CServiceDataDocument {
public:
    explicit CServiceDataDocument(const QString& path) : m_path(path) {}

    // Replaces the file (creating it) with a new document: declaration, document type NornData
    // and an empty root element.
    [[nodiscard]] bool CreateDocument();
    // True when the file exists, opens and parses.
    [[nodiscard]] bool LoadDocument(QDomDocument& document);
    // Writes the document into the existing file; never creates it.
    [[nodiscard]] bool SaveDocument(const QDomDocument& document);

    [[nodiscard]] bool SetSerialNo(const QString& value) {
        return SetAttribute(QStringLiteral("SerialNo"), value);
    }
    [[nodiscard]] bool SetMaterialNo(const QString& value) {
        return SetAttribute(QStringLiteral("MaterialNo"), value);
    }
    // True when the document loaded and the attribute is not empty; the value is left as it was
    // when the document does not load.
    [[nodiscard]] bool GetSerialNo(QString& value) {
        return GetAttribute(QStringLiteral("SerialNo"), value);
    }
    [[nodiscard]] bool GetMaterialNo(QString& value) {
        return GetAttribute(QStringLiteral("MaterialNo"), value);
    }

private:
    [[nodiscard]] bool SetAttribute(const QString& name, const QString& value);
    [[nodiscard]] bool GetAttribute(const QString& name, QString& value);
    // The text one byte per character (Latin-1) in one write into the file opened unbuffered;
    // true only when every byte reached the file.
    [[nodiscard]] static bool WriteText(QFile& file, const QString& text);

    QString m_path;
};
