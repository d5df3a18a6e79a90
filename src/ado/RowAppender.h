#pragma once

#include <QVariant>
#include <QVector>
#include <memory>

namespace ado {

class Backend;
class PreparedStatement;
class Recordset;

// Appends new rows to the base table of an open recordset through one INSERT compiled
// once, for imports of many rows: the rows go to the database only, never into the
// recordset, and nothing is read back.
class RowAppender {
public:
    // `columns` are the indexes of the recordset's fields that receive a value, in the
    // order Append gets them. Throws what AddNew would for a recordset that cannot take
    // new rows, or when a field is not a column of the base table.
    RowAppender(Recordset& target, const QVector<int>& columns);
    ~RowAppender();
    RowAppender(const RowAppender&) = delete;
    RowAppender& operator=(const RowAppender&) = delete;

    // Stores one row; each value is first converted to its column's type as a field
    // assignment would (13 on a mismatch).
    void Append(const QVector<QVariant>& values);

    // The session the rows are written through; it lives as long as this object.
    Backend& Session() const { return *m_session; }

private:
    std::shared_ptr<Backend> m_session;
    QVector<int> m_types;
    std::unique_ptr<PreparedStatement> m_insert;
    QVariantList m_params;
};

} // namespace ado
