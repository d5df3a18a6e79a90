#pragma once

#include "ado/TableInfo.h"
#include "ado/fileengine/FileTable.h"

#include <QList>
#include <QStringList>
#include <QVariant>
#include <memory>

namespace ado {

// One opened file data source (a folder of DBF files, a workbook, an Access file...):
// what tables it has and how to open each.
class FileFormat {
public:
    virtual ~FileFormat() = default;

    // Every table, with Type "TABLE" (or "SYSTEM TABLE" for a catalogue table).
    virtual QList<TableInfo> Tables() = 0;
    // Other names under which a table is accepted in SQL ("clients.dbf", "clients#csv").
    virtual QStringList Aliases(const QString& table) const { (void)table; return {}; }
    // Throws AdoError naming the table when it cannot be read.
    virtual std::unique_ptr<FileTable> OpenTable(const QString& table) = 0;
    // Connection properties such as "Jet OLEDB:Engine Type"; invalid when unknown.
    virtual QVariant Property(const QString& name) const { (void)name; return {}; }
};

} // namespace ado
