#include "ado/fileengine/access/AccessCursor.h"

namespace ado {

bool AccessCursor::Next()
{
    if (m_row < m_rows->values.size()) {
        ++m_row;
        return true;
    }
    if (m_rows->failure && !m_failed) {
        m_failed = true;
        throw *m_rows->failure;
    }
    return false;
}

QVariant AccessCursor::Value(int column) const
{
    if (m_row < 1 || m_row > m_rows->values.size())
        return {};
    return m_rows->values.at(m_row - 1).value(column);
}

} // namespace ado
