#pragma once

#include "ado/RowCursor.h"

#include <QSqlQuery>

namespace ado {

// Rows of a QSqlQuery that has run, normalized to the ADO types of its columns.
class QtSqlCursor : public RowCursor {
public:
    QtSqlCursor(QSqlQuery query, QVector<ColumnInfo> columns);
    const QVector<ColumnInfo>& Columns() const override { return m_columns; }
    bool Next(QVector<QVariant>& row) override;

private:
    QSqlQuery m_query;
    QVector<ColumnInfo> m_columns;
    bool m_done = false;
};

} // namespace ado
