#include "ado/QtSqlCursor.h"

#include "ado/AdoError.h"
#include "ado/AdoType.h"

#include <QSqlError>

namespace ado {

QtSqlCursor::QtSqlCursor(QSqlQuery query, QVector<ColumnInfo> columns)
    : m_query(std::move(query)), m_columns(std::move(columns))
{
}

bool QtSqlCursor::Read(QVector<QVariant>& row, QVector<QVariant>* raw)
{
    if (m_done)
        return false;
    if (!m_query.next()) {
        m_done = true;
        if (m_query.lastError().isValid() && m_query.lastError().type() != QSqlError::NoError)
            throw AdoError(err::Unspecified, m_query.lastError().text(), m_query.lastQuery());
        m_query.finish();
        return false;
    }
    const int n = int(m_columns.size());
    row.resize(n);
    if (raw)
        raw->resize(n);
    for (int i = 0; i < n; ++i) {
        const QVariant v = m_query.value(i);
        row[i] = AdoType::Normalize(v, m_columns[i].type);
        if (raw)
            (*raw)[i] = v.isNull() ? QVariant() : v;
    }
    return true;
}

} // namespace ado
