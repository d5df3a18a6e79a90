#include "ado/fileengine/text/TextTableCursor.h"

#include "ado/fileengine/text/CsvReader.h"
#include "ado/fileengine/text/TextTable.h"

namespace ado {

TextTableCursor::TextTableCursor(const TextTable& table) : m_table(table)
{
    m_reader = m_table.OpenReader(m_file);
}

TextTableCursor::~TextTableCursor() = default;

bool TextTableCursor::Next()
{
    if (!m_reader->Next(m_fields, &m_quoted))
        return false;
    ++m_rowId;
    return true;
}

QVariant TextTableCursor::Value(int column) const
{
    const auto& columns = m_table.TextColumns();
    if (column < 0 || column >= columns.size() || column >= m_fields.size())
        return {};
    return m_table.Values().Parse(m_fields[column], m_quoted[column], columns[column]);
}

void TextTableCursor::Put(int column, FileValueSink& sink) const
{
    const auto& columns = m_table.TextColumns();
    if (column < 0 || column >= columns.size() || column >= m_fields.size()) {
        sink.Null();
        return;
    }
    m_table.Values().Put(m_fields[column], m_quoted[column], columns[column], sink);
}

} // namespace ado
