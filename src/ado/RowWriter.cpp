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
    return m_backend.Dialect().quoteIdentifier(m_store.columns[index].baseColumn);
}

QString RowWriter::Match(const QVector<int>& columns, const QVector<QVariant>& original, QVariantList& params) const
{
    QStringList terms;
    for (int c : columns) {
        const QVariant& v = original.value(c);
        if (!v.isValid() || v.isNull()) {
            terms << Column(c) + QStringLiteral(" IS NULL");
        } else {
            terms << Column(c) + QStringLiteral(" = ?");
            params << v;
        }
    }
    return terms.isEmpty() ? QStringLiteral("1 = 1") : terms.join(QStringLiteral(" AND "));
}

QString RowWriter::Where(const QVector<QVariant>& original, const QVector<bool>& changed, int criteria,
                         QVariantList& params) const
{
    QVector<int> all;
    for (int i = 0; i < m_store.columns.size(); ++i)
        if (!m_store.columns[i].baseColumn.isEmpty())
            all << i;

    if (m_store.location == RowLocation::Key) {
        QVector<int> columns = m_store.keyColumns;
        for (int i : all) {
            const bool extra = criteria == CriteriaAllCols || criteria == CriteriaTimeStamp
                || (criteria == CriteriaUpdCols && changed.value(i));
            if (extra && !columns.contains(i))
                columns << i;
        }
        return Match(columns, original, params);
    }
    const QString match = Match(all, original, params);
    if (m_store.location == RowLocation::RowId) {
        const QString rowid = m_backend.RowIdColumn();
        return rowid + QStringLiteral(" = (SELECT ") + rowid + QStringLiteral(" FROM ") + Table()
            + QStringLiteral(" WHERE ") + match + QStringLiteral(" LIMIT 1)");
    }
    return match;
}

void RowWriter::RunLocated(const QString& sql, const QVariantList& params)
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
        return;
    }
    const qint64 affected = m_backend.Execute(sql, params);
    if (affected == 0)
        throw AdoError(err::RowNotFound, RowNotFound, sql);
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

    QVector<int> readBack;
    for (int i = 0; i < m_store.columns.size(); ++i)
        if (!m_store.columns[i].baseColumn.isEmpty())
            readBack << i;
    if (!m_backend.SupportsReturning(m_store.baseTable) || readBack.isEmpty()) {
        m_backend.Execute(sql, params);
        return values;
    }
    QStringList returning;
    for (int i : readBack)
        returning << Column(i);
    sql += QStringLiteral(" RETURNING ") + returning.join(QStringLiteral(", "));
    auto cursor = m_backend.Query(sql, params);
    QVector<QVariant> stored = values;
    QVector<QVariant> row;
    if (cursor->Next(row)) {
        for (int k = 0; k < readBack.size() && k < row.size(); ++k)
            stored[readBack[k]] = AdoType::Normalize(row[k], m_store.columns[readBack[k]].type);
    }
    while (cursor->Next(row)) {
    }
    return stored;
}

void RowWriter::Update(const QVector<QVariant>& original, const QVector<QVariant>& values, const QVector<bool>& changed,
                       int criteria)
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
        return;
    const QString where = Where(original, changed, criteria, params);
    RunLocated(QStringLiteral("UPDATE ") + Table() + QStringLiteral(" SET ") + assignments.join(QStringLiteral(", "))
                   + QStringLiteral(" WHERE ") + where,
               params);
}

void RowWriter::Delete(const QVector<QVariant>& original, int criteria)
{
    QVariantList params;
    const QString where = Where(original, {}, criteria, params);
    RunLocated(QStringLiteral("DELETE FROM ") + Table() + QStringLiteral(" WHERE ") + where, params);
}

} // namespace ado
