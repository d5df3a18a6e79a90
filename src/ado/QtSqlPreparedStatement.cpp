#include "ado/QtSqlPreparedStatement.h"

#include "ado/AdoError.h"
#include "ado/QtSqlBackend.h"

namespace ado {

QtSqlPreparedStatement::QtSqlPreparedStatement(const QtSqlBackend& backend, const QSqlDatabase& db, const QString& sql)
    : m_backend(backend), m_query(db), m_sql(sql)
{
    m_query.setForwardOnly(true);
    m_backend.Prepare(m_query, sql, {});
}

qint64 QtSqlPreparedStatement::Execute(const QVariantList& params)
{
    for (int i = 0; i < params.size(); ++i)
        m_query.bindValue(i, m_backend.ToStorage(params[i]));
    if (!m_query.exec())
        m_backend.Fail(m_query, m_sql);
    const qint64 affected = m_query.numRowsAffected();
    m_query.finish();
    return affected;
}

} // namespace ado
