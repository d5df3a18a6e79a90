#pragma once

#include "ado/fileengine/text/TextFileLayout.h"

#include <QList>
#include <QPair>
#include <QStringList>

namespace ado {

// The "Schema.ini" of a text folder: one section per file, named after it with its
// extension. Sections are read when asked for, so that a bad entry only breaks its own file.
//
// Keys understood: Format (CSVDelimited, TabDelimited, Delimited(x)), ColNameHeader,
// MaxScanRows, DecimalSymbol, CharacterSet, TextDelimiter and the ColN= column definitions.
class SchemaIni {
public:
    // Reads the folder's Schema.ini (the name compared without case); none gives no sections.
    static SchemaIni Load(const QString& folder);
    static SchemaIni Parse(const QString& text);

    // The section names in file order.
    QStringList FileNames() const;
    bool HasSection(const QString& fileName) const;
    // The layout of a file; Jet's defaults when it has no section. Throws AdoError naming the
    // file and the entry when the section holds something that cannot be honoured.
    TextFileLayout LayoutFor(const QString& fileName) const;

    // The codec for a CharacterSet value (ANSI, OEM, UNICODE, UTF-8 or a code page number);
    // empty when it is unknown.
    static QByteArray CodecFor(const QString& characterSet);

private:
    struct Section {
        QString name;
        QList<QPair<QString, QString>> entries;
    };
    const Section* Find(const QString& fileName) const;

    QList<Section> m_sections;
};

} // namespace ado
