#include "ado/fileengine/excel/SheetLayout.h"

#include <QDateTime>
#include <QSet>

#include <cmath>

namespace ado {

namespace {

constexpr int ShortTextLimit = 255;

SheetLayout::Kind KindOf(const QVariant& cell)
{
    switch (cell.metaType().id()) {
    case QMetaType::Double:
        return SheetLayout::Kind::Number;
    case QMetaType::QDateTime:
        return SheetLayout::Kind::Date;
    case QMetaType::Bool:
        return SheetLayout::Kind::Boolean;
    default:
        return SheetLayout::Kind::Text;
    }
}

QString DeclaredType(SheetLayout::Kind kind, qsizetype longestText)
{
    switch (kind) {
    case SheetLayout::Kind::Number:
        return QStringLiteral("DOUBLE");
    case SheetLayout::Kind::Date:
        return QStringLiteral("DATETIME");
    case SheetLayout::Kind::Boolean:
        return QStringLiteral("BOOLEAN");
    default:
        return longestText > ShortTextLimit ? QStringLiteral("MEMO") : QStringLiteral("VARCHAR(255)");
    }
}

// Jet's column names cannot hold these; it writes them as it does for every Excel sheet.
QString JetColumnName(QString name)
{
    name.replace(u'.', u'#');
    name.replace(u'!', u'_');
    name.replace(u'`', u'_');
    name.replace(u'[', u'(');
    name.replace(u']', u')');
    return name;
}

QDateTime WholeSeconds(const QDateTime& when)
{
    // The engine shows date-times to the second: round rather than let it cut.
    const qint64 ms = when.time().msecsSinceStartOfDay();
    const qint64 rounded = (ms + 500) / 1000 * 1000;
    return QDateTime(when.date(), QTime(0, 0), Qt::UTC).addMSecs(rounded);
}

} // namespace

SheetLayout::SheetLayout(SheetGrid grid, bool firstRowHasNames) : m_grid(std::move(grid))
{
    BuildColumns(firstRowHasNames);
}

QString SheetLayout::AsText(const QVariant& cell)
{
    switch (cell.metaType().id()) {
    case QMetaType::Double: {
        const double v = cell.toDouble();
        if (v == std::trunc(v) && std::fabs(v) < 1e15)
            return QString::number(qint64(v));
        // Excel shows at most 15 significant digits.
        return QString::number(v, 'g', 15);
    }
    case QMetaType::QDateTime: {
        const QDateTime when = WholeSeconds(cell.toDateTime());
        return when.time() == QTime(0, 0) ? when.toString(QStringLiteral("yyyy-MM-dd"))
                                          : when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    case QMetaType::Bool:
        return cell.toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    default:
        return cell.toString();
    }
}

void SheetLayout::BuildColumns(bool firstRowHasNames)
{
    if (m_grid.IsEmpty()) {
        // Jet shows an empty sheet as one empty column.
        m_columns = {FileColumn{QStringLiteral("F1"), DeclaredType(Kind::Empty, 0)}};
        m_kinds = {Kind::Empty};
        return;
    }
    m_firstColumn = m_grid.FirstColumn();
    const int width = m_grid.LastColumn() - m_firstColumn + 1;
    const int headerRow = m_grid.FirstRow();
    m_firstDataRow = firstRowHasNames ? headerRow + 1 : headerRow;
    m_rowCount = std::max(0, m_grid.LastRow() - m_firstDataRow + 1);

    QSet<QString> taken;
    for (int c = 0; c < width; ++c) {
        QString name = firstRowHasNames ? JetColumnName(AsText(m_grid.Cell(headerRow, m_firstColumn + c))) : QString();
        if (name.trimmed().isEmpty())
            name = QStringLiteral("F%1").arg(c + 1);
        // SQL names are case-blind, so "Name" and "NAME" would clash.
        QString unique = name;
        for (int n = 1; taken.contains(unique.toLower()); ++n)
            unique = name + QString::number(n);
        taken.insert(unique.toLower());

        Kind kind = Kind::Empty;
        qsizetype longest = 0;
        for (int r = m_firstDataRow; r < m_firstDataRow + m_rowCount; ++r) {
            const QVariant cell = m_grid.Cell(r, m_firstColumn + c);
            if (!cell.isValid())
                continue;
            const Kind k = KindOf(cell);
            kind = kind == Kind::Empty || kind == k ? k : Kind::Text;
            longest = std::max(longest, AsText(cell).size());
        }
        m_kinds << kind;
        m_columns << FileColumn{unique, DeclaredType(kind, longest)};
    }
}

QVariant SheetLayout::Value(int row, int column) const
{
    if (row < 0 || row >= m_rowCount || column < 0 || column >= m_columns.size())
        return {};
    const QVariant cell = m_grid.Cell(m_firstDataRow + row, m_firstColumn + column);
    if (!cell.isValid())
        return {};
    switch (m_kinds[column]) {
    case Kind::Date:
        return WholeSeconds(cell.toDateTime());
    case Kind::Text:
    case Kind::Empty:
        return AsText(cell);
    default:
        return cell;
    }
}

} // namespace ado
