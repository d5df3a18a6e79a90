#pragma once

#include "ado/Backend.h"

#include <QSqlQuery>

namespace ado {

class QtSqlBackend;

// A statement a Qt driver prepared once and runs again with each new set of values: a
// server that prepares statements (PostgreSQL) then parses and plans it only once.
class QtSqlPreparedStatement : public PreparedStatement {
public:
    // Throws AdoError when the driver refuses the statement.
    QtSqlPreparedStatement(const QtSqlBackend& backend, const QSqlDatabase& db, const QString& sql);

    qint64 Execute(const QVariantList& params) override;

private:
    const QtSqlBackend& m_backend;
    QSqlQuery m_query;
    QString m_sql;
};

} // namespace ado
