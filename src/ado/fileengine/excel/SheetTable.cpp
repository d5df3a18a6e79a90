#include "ado/fileengine/excel/SheetTable.h"

namespace ado {

namespace {

class SheetCursor : public FileTableCursor {
public:
    explicit SheetCursor(const SheetLayout& layout) : m_layout(layout) {}

    bool Next() override { return ++m_row < m_layout.RowCount(); }
    qint64 RowId() const override { return m_row + 1; }
    QVariant Value(int column) const override { return m_layout.Value(m_row, column); }

private:
    const SheetLayout& m_layout;
    int m_row = -1;
};

} // namespace

SheetTable::SheetTable(QString name, SheetLayout layout) : m_name(std::move(name)), m_layout(std::move(layout)) {}

std::unique_ptr<FileTableCursor> SheetTable::Scan()
{
    return std::make_unique<SheetCursor>(m_layout);
}

QString SheetTable::ReadOnlyReason() const
{
    return QStringLiteral("Cannot update '%1': Excel workbooks are opened read-only here.").arg(m_name);
}

} // namespace ado
