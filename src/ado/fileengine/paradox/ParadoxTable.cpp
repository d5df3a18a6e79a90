#include "ado/fileengine/paradox/ParadoxTable.h"

#include "ado/fileengine/paradox/ParadoxCursor.h"
#include "ado/fileengine/paradox/ParadoxTableReader.h"

namespace ado {

namespace {

// Declared types chosen for the ADO type codes the Paradox driver reports.
QString DeclaredType(const ParadoxTableReader::Field& f)
{
    using R = ParadoxTableReader;
    switch (f.type) {
    case R::Alpha:
        return QStringLiteral("VARCHAR(%1)").arg(f.size);
    case R::Date:
        return QStringLiteral("DATE");
    case R::Short:
        return QStringLiteral("SMALLINT");
    case R::Long:
    case R::AutoInc:
        return QStringLiteral("INTEGER");
    case R::Currency:
        return QStringLiteral("CURRENCY");
    case R::Number:
        return QStringLiteral("DOUBLE");
    case R::Logical:
        return QStringLiteral("BOOLEAN");
    case R::Memo:
    case R::FormattedMemo:
        return QStringLiteral("MEMO");
    case R::Blob:
    case R::Ole:
    case R::Graphic:
        return QStringLiteral("BLOB");
    case R::Time:
        return QStringLiteral("TIME");
    case R::Timestamp:
        return QStringLiteral("DATETIME");
    case R::Bcd:
        return QStringLiteral("NUMERIC(32,%1)").arg(f.decimals);
    case R::Bytes:
        return QStringLiteral("BINARY(%1)").arg(f.size);
    default:
        return QStringLiteral("BLOB");
    }
}

} // namespace

ParadoxTable::ParadoxTable(const QString& path)
    : m_path(path)
{
    const ParadoxTableReader reader(path);
    for (const ParadoxTableReader::Field& f : reader.Fields())
        m_columns.append({f.name, DeclaredType(f)});
}

std::unique_ptr<FileTableCursor> ParadoxTable::Scan()
{
    return std::make_unique<ParadoxCursor>(std::make_unique<ParadoxTableReader>(m_path));
}

} // namespace ado
