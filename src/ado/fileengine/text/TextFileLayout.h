#pragma once

#include "ado/fileengine/text/TextColumn.h"

#include <QByteArray>
#include <QMap>
#include <QString>

namespace ado {

// How one text file is laid out: its Schema.ini section, or Jet's defaults when it has none
// (comma-separated, names in the first line, 25 rows scanned for types, ANSI).
struct TextFileLayout {
    QChar delimiter = u',';
    QChar textDelimiter = u'"'; // null when fields are never quoted
    bool columnNamesInFirstLine = true;
    int maxScanRows = 25;       // 0 scans every row
    QChar decimalSymbol = u'.';
    QByteArray codec = "windows-1252";
    QMap<int, TextColumn> definedColumns; // ColN= entries, by 0-based position
    bool hasSection = false;
};

} // namespace ado
