#pragma once

#include "ado/fileengine/FileTable.h"
#include "ado/fileengine/access/AccessReader.h"

#include <memory>

namespace ado {

// A table of an Access file. Read only: libmdb's writing is not safe enough to trust
// with a user's database.
class AccessTable : public FileTable {
public:
    AccessTable(QString file, QString name, QVector<FileColumn> columns);

    QVector<FileColumn> Columns() const override { return m_columns; }
    // Reads the rows in a child process, unless a scan under way has them already.
    std::unique_ptr<FileTableCursor> Scan() override;

private:
    QString m_file;
    QString m_name;
    QVector<FileColumn> m_columns;
    // The rows of the scans under way: a statement that scans the table again (the inner
    // side of a join) reuses them instead of reading the file once per outer row, and
    // they go when the statement is done with them.
    std::weak_ptr<const AccessReader::Rows> m_rows;
};

} // namespace ado
