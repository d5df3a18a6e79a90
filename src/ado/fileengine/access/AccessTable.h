#pragma once

#include "ado/fileengine/FileTable.h"

#include <memory>

namespace ado {

class MdbDatabase;

// A table of an Access file. Read only: libmdb's writing is not safe enough to trust
// with a user's database.
class AccessTable : public FileTable {
public:
    // Throws AdoError naming the table when it cannot be read.
    AccessTable(std::shared_ptr<const MdbDatabase> database, const QString& name);

    QVector<FileColumn> Columns() const override { return m_columns; }
    std::unique_ptr<FileTableCursor> Scan() override;

private:
    std::shared_ptr<const MdbDatabase> m_database;
    QString m_name;
    QVector<FileColumn> m_columns;
};

} // namespace ado
