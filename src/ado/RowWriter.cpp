#include "ado/RowWriter.h"

#include "ado/AdoError.h"
#include "ado/AdoType.h"
#include "ado/Backend.h"

#include <QStringList>

namespace ado {

namespace {

const QString RowNotFound = QStringLiteral("Row cannot be located for updating. Some values may have been changed since it was last read.");

// Rolls back unless committed, so a failed check never leaves a change behind.
class TransactionGuard {
public:
    explicit TransactionGuard(Backend& backend) : m_backend(backend) { m_backend.BeginTransaction(); }
    ~TransactionGuard()
    {
        if (!m_done) {
            try {
                m_backend.Rollback();
            } catch (...) {
            }
        }
    }
    void Commit()
    {
        m_backend.Commit();
        m_done = true;
    }

private:
    Backend& m_backend;
    bool m_done = false;
};

} // namespace

RowWriter::RowWriter(Backend& backend, const RecordStore& store) : m_backend(backend), m_store(store)
{
    CheckUpdatable(store);
}

void RowWriter::CheckUpdatable(const RecordStore& store)
{
    if (store.location == RowLocation::ReadOnly)
        throw AdoError(err::Unspecified,
                       QStringLiteral("Insufficient base table information for updating or refreshing.")
                           + (store.readOnlyReason.isEmpty() ? QString() : u' ' + store.readOnlyReason));
}

QString RowWriter::Table() const
{
    const SqlDialect d = m_backend.Dialect();
    return m_store.baseSchema.isEmpty() ? d.quoteIdentifier(m_store.baseTable)
                                        : d.quoteIdentifier(m_store.baseSchema) + u'.' + d.quoteIdentifier(m_store.baseTable);
}

QString RowWriter::Column(int index) const
{
    // The row id is a pseudo-column: quoted, SQLite would take a real column of that name.
    if (index == m_store.rowIdColumn)
        return m_backend.RowIdColumn();
    return m_backend.Dialect().quoteIdentifier(m_store.Column(index).baseColumn);
}

QString RowWriter::Match(const QVector<int>& columns, const QVector<QVariant>& original, const QVector<QVariant>& raw,
                         QVariantList& params) const
{
    QStringList terms;
    for (int c : columns) {
        // What the database stored: a normalized date or boolean may not compare equal.
        const QVariant& v = raw.isEmpty() ? original.value(c) : raw.value(c);
        if (!v.isValid() || v.isNull()) {
            terms << Column(c) + QStringLiteral(" IS NULL");
        } else {
            terms << m_backend.Comparison(Column(c), m_store.Column(c).type);
            params << v;
        }
    }
    return terms.isEmpty() ? QStringLiteral("1 = 1") : terms.join(QStringLiteral(" AND "));
}

QString RowWriter::Where(const QVector<QVariant>& original, const QVector<QVariant>& raw, const QVector<bool>& changed,
                         int criteria, QVariantList& params) const
{
    QVector<int> all;
    for (int i = 0; i < m_store.columns.size(); ++i)
        if (!m_store.columns[i].baseColumn.isEmpty())
            all << i;

    if (m_store.location == RowLocation::Key || m_store.location == RowLocation::RowId) {
        for (int k : m_store.keyColumns) {
            const QVariant& v = original.value(k);
            if (!v.isValid() || v.isNull())
                throw AdoError(err::Unspecified, QStringLiteral("Insufficient base table information for updating or refreshing. "
                                                                "The row has no key value to be found by."));
        }
        QVector<int> columns = m_store.keyColumns;
        for (int i : all) {
            const bool extra = criteria == CriteriaAllCols || criteria == CriteriaTimeStamp
                || (criteria == CriteriaUpdCols && changed.value(i));
            if (extra && !columns.contains(i))
                columns << i;
        }
        QVariantList keyParams;
        QString where = Match(columns.mid(0, m_store.keyColumns.size()), original, {}, keyParams);
        const QVector<int> extras = columns.mid(m_store.keyColumns.size());
        if (!extras.isEmpty())
            where += QStringLiteral(" AND ") + Match(extras, original, raw, keyParams);
        params += keyParams;
        return where;
    }
    return Match(all, original, raw, params);
}

qint64 RowWriter::RunLocated(const QString& sql, const QVariantList& params)
{
    if (m_store.location == RowLocation::AllColumns) {
        // Identical rows cannot be told apart: change one only, or nothing.
        TransactionGuard guard(m_backend);
        const qint64 affected = m_backend.Execute(sql, params);
        if (affected == 0)
            throw AdoError(err::RowNotFound, RowNotFound, sql);
        if (affected > 1)
            throw AdoError(err::Unspecified,
                           QStringLiteral("Key column information is insufficient or incorrect. Too many rows were affected by update."), sql);
        guard.Commit();
        return affected;
    }
    const qint64 affected = m_backend.Execute(sql, params);
    if (affected == 0)
        throw AdoError(err::RowNotFound, RowNotFound, sql);
    return affected;
}

QStringList RowWriter::ReadBackColumns(QVector<int>& indexes) const
{
    QStringList names;
    for (int i = 0; i < m_store.Width(); ++i) {
        if (!m_store.Column(i).baseColumn.isEmpty()) {
            indexes << i;
            names << Column(i);
        }
    }
    return names;
}

void RowWriter::Fill(QVector<QVariant>& row, const QVector<int>& indexes, const QVector<QVariant>& read) const
{
    for (int k = 0; k < indexes.size() && k < read.size(); ++k)
        row[indexes[k]] = AdoType::Normalize(read[k], m_store.Column(indexes[k]).type);
}

QVector<QVariant> RowWriter::Insert(const QVector<QVariant>& values, const QVector<bool>& set)
{
    QStringList names;
    QStringList marks;
    QVariantList params;
    for (int i = 0; i < m_store.columns.size(); ++i) {
        if (!set.value(i) || m_store.columns[i].baseColumn.isEmpty())
            continue;
        names << Column(i);
        marks << QStringLiteral("?");
        params << values.value(i);
    }
    QString sql = QStringLiteral("INSERT INTO ") + Table();
    sql += names.isEmpty() ? QStringLiteral(" DEFAULT VALUES")
                           : QStringLiteral(" (") + names.join(QStringLiteral(", ")) + QStringLiteral(") VALUES (")
                                 + marks.join(QStringLiteral(", ")) + u')';

    QVector<QVariant> stored = values;
    stored.resize(m_store.Width());
    QVector<int> readBack;
    const QStringList readNames = ReadBackColumns(readBack);
    QVector<QVariant> row;
    if (m_backend.SupportsReturning(m_store.baseTable) && !readBack.isEmpty()) {
        sql += QStringLiteral(" RETURNING ") + readNames.join(QStringLiteral(", "));
        auto cursor = m_backend.Query(sql, params);
        if (cursor->Next(row))
            Fill(stored, readBack, row);
        while (cursor->Next(row)) {
        }
        return stored;
    }
    m_backend.Execute(sql, params);
    // Without RETURNING, the new row is read again by the row id it was given.
    const QVariant rowId = m_backend.LastInsertId();
    if (m_backend.RowIdColumn().isEmpty() || !rowId.isValid() || readBack.isEmpty())
        return stored;
    auto cursor = m_backend.Query(QStringLiteral("SELECT ") + readNames.join(QStringLiteral(", ")) + QStringLiteral(" FROM ")
                                      + Table() + QStringLiteral(" WHERE ") + m_backend.RowIdColumn() + QStringLiteral(" = ?"),
                                  {rowId});
    if (cursor->Next(row))
        Fill(stored, readBack, row);
    while (cursor->Next(row)) {
    }
    if (m_store.rowIdColumn >= 0)
        stored[m_store.rowIdColumn] = rowId;
    return stored;
}

QVector<QVariant> RowWriter::Update(const QVector<QVariant>& original, const QVector<QVariant>& raw,
                                    const QVector<QVariant>& values, const QVector<bool>& changed, int criteria)
{
    QStringList assignments;
    QVariantList params;
    for (int i = 0; i < m_store.columns.size(); ++i) {
        if (!changed.value(i))
            continue;
        if (m_store.columns[i].baseColumn.isEmpty())
            throw AdoError(err::Unspecified,
                           QStringLiteral("The field '%1' is computed and cannot be updated.").arg(m_store.columns[i].name));
        assignments << Column(i) + QStringLiteral(" = ?");
        params << values.value(i);
    }
    if (assignments.isEmpty())
        return values;
    const QString where = Where(original, raw, changed, criteria, params);
    const QString sql = QStringLiteral("UPDATE ") + Table() + QStringLiteral(" SET ") + assignments.join(QStringLiteral(", "))
        + QStringLiteral(" WHERE ") + where;
    if (m_store.location != RowLocation::RowId || !m_backend.SupportsReturning(m_store.baseTable)) {
        RunLocated(sql, params);
        return values;
    }
    // A PostgreSQL row moves on every update: read where it went.
    auto cursor = m_backend.Query(sql + QStringLiteral(" RETURNING ") + m_backend.RowIdColumn(), params);
    QVector<QVariant> stored = values;
    QVector<QVariant> row;
    int count = 0;
    while (cursor->Next(row)) {
        if (count++ == 0 && !row.isEmpty())
            stored[m_store.rowIdColumn] = AdoType::Normalize(row.front(), m_store.Column(m_store.rowIdColumn).type);
    }
    if (count == 0)
        throw AdoError(err::RowNotFound, RowNotFound, sql);
    return stored;
}

void RowWriter::Delete(const QVector<QVariant>& original, const QVector<QVariant>& raw, int criteria)
{
    QVariantList params;
    const QString where = Where(original, raw, {}, criteria, params);
    RunLocated(QStringLiteral("DELETE FROM ") + Table() + QStringLiteral(" WHERE ") + where, params);
}

} // namespace ado
