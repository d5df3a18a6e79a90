#include "ado/fileengine/access/AccessTable.h"

#include "ado/fileengine/access/AccessCursor.h"

namespace ado {

AccessTable::AccessTable(QString file, QString name, QVector<FileColumn> columns)
    : m_file(std::move(file)), m_name(std::move(name)), m_columns(std::move(columns))
{
}

std::unique_ptr<FileTableCursor> AccessTable::Scan()
{
    std::shared_ptr<const AccessReader::Rows> rows = m_rows.lock();
    if (!rows) {
        rows = std::make_shared<const AccessReader::Rows>(AccessReader::ReadRows(m_file, m_name));
        m_rows = rows;
    }
    return std::make_unique<AccessCursor>(std::move(rows));
}

} // namespace ado
