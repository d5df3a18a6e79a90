#include "ado/fileengine/access/AccessTable.h"

#include "ado/fileengine/access/AccessCursor.h"
#include "ado/fileengine/access/MdbTableReader.h"

namespace ado {

namespace {

// Declared types chosen for the ADO type codes Jet reports for each column type.
QString DeclaredType(const MdbTableReader::Column& c, bool jet3)
{
    switch (c.type) {
    case MDB_BOOL:
        return QStringLiteral("BOOLEAN");
    case MDB_BYTE:
        return QStringLiteral("TINYINT");
    case MDB_INT:
        return QStringLiteral("SMALLINT");
    case MDB_LONGINT:
        return QStringLiteral("INTEGER");
    case MDB_MONEY:
        return QStringLiteral("CURRENCY");
    case MDB_FLOAT:
        return QStringLiteral("REAL");
    case MDB_DOUBLE:
        return QStringLiteral("DOUBLE");
    case MDB_DATETIME:
        return QStringLiteral("DATETIME");
    case MDB_BINARY:
        return QStringLiteral("BINARY(%1)").arg(c.size);
    case MDB_TEXT:
        // Jet 4 stores text as UCS-2: the size is in bytes.
        return QStringLiteral("VARCHAR(%1)").arg(jet3 ? c.size : c.size / 2);
    case MDB_MEMO:
        return QStringLiteral("MEMO");
    case MDB_OLE:
        return QStringLiteral("BLOB");
    case MDB_REPID:
        return QStringLiteral("GUID");
    case MDB_NUMERIC:
        return QStringLiteral("NUMERIC(%1,%2)").arg(c.precision).arg(c.scale);
    default:
        return QStringLiteral("TEXT");
    }
}

} // namespace

AccessTable::AccessTable(std::shared_ptr<const MdbDatabase> database, const QString& name)
    : m_database(std::move(database)), m_name(name)
{
    const MdbTableReader reader(*m_database, name);
    for (const MdbTableReader::Column& c : reader.Columns())
        m_columns.append({c.name, DeclaredType(c, reader.IsJet3())});
}

std::unique_ptr<FileTableCursor> AccessTable::Scan()
{
    return std::make_unique<AccessCursor>(std::make_unique<MdbTableReader>(*m_database, m_name));
}

} // namespace ado
