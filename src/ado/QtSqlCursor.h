#pragma once

#include "ado/RowCursor.h"

#include <QSqlQuery>

namespace ado {

// Rows of a QSqlQuery that has run, normalized to the ADO types of its columns.
class QtSqlCursor : public RowCursor {
public:
    QtSqlCursor(QSqlQuery query, QVector<ColumnInfo> columns);
    const QVector<ColumnInfo>& Columns() const override { return m_columns; }
    bool Next(QVector<QVariant>& row) override { return Read(row, nullptr); }
    bool NextRaw(QVector<QVariant>& row, QVector<QVariant>& raw) override { return Read(row, &raw); }

private:
    bool Read(QVector<QVariant>& row, QVector<QVariant>* raw);

    QSqlQuery m_query;
    QVector<ColumnInfo> m_columns;
    bool m_done = false;
};

} // namespace ado
