#pragma once

#include "ado/QtSqlBackend.h"

namespace ado {

class ConnectionString;

// Any ODBC data source through QODBC; the pairs other than Provider go to the driver
// manager unchanged.
class OdbcBackend : public QtSqlBackend {
public:
    explicit OdbcBackend(const ConnectionString& cs);

    QString ProviderName() const override { return QStringLiteral("MSDASQL"); }
    SqlDialect Dialect() const override { return m_dialect; }
    QVariant Property(const QString& name) const override;

protected:
    QVector<ColumnInfo> DescribeColumns(const QSqlQuery& query) const override;

private:
    QString m_dbmsName;
    SqlDialect m_dialect;
};

} // namespace ado
