#pragma once

#include "ado/RecordStore.h"

#include <QVariantList>

namespace ado {

class Backend;

// Writes one row of a recordset back to its base table: INSERT, UPDATE or DELETE, each
// affecting exactly that row or failing with "Row cannot be located for updating".
class RowWriter {
public:
    // ADO's "Update Criteria": which original values the WHERE clause checks.
    enum Criteria { CriteriaKey = 0, CriteriaAllCols = 1, CriteriaUpdCols = 2, CriteriaTimeStamp = 3 };

    RowWriter(Backend& backend, const RecordStore& store);

    // Inserts the columns flagged in `set` in one statement; returns the row as stored
    // (defaults, autoincrement, row id) when the backend can read it back, else the values given.
    QVector<QVariant> Insert(const QVector<QVariant>& values, const QVector<bool>& set);
    // `raw` holds the original values as the database gave them, or is empty. Returns the
    // row as it now is: the values, with a row id that moved updated.
    QVector<QVariant> Update(const QVector<QVariant>& original, const QVector<QVariant>& raw,
                             const QVector<QVariant>& values, const QVector<bool>& changed, int criteria);
    void Delete(const QVector<QVariant>& original, const QVector<QVariant>& raw, int criteria);

    // Throws the read-only failure when the store has no updatable base table.
    static void CheckUpdatable(const RecordStore& store);

private:
    QString Table() const;
    QString Column(int index) const;
    QString Where(const QVector<QVariant>& original, const QVector<QVariant>& raw, const QVector<bool>& changed,
                  int criteria, QVariantList& params) const;
    QString Match(const QVector<int>& columns, const QVector<QVariant>& original, const QVector<QVariant>& raw,
                  QVariantList& params) const;
    qint64 RunLocated(const QString& sql, const QVariantList& params);
    QStringList ReadBackColumns(QVector<int>& indexes) const;
    void Fill(QVector<QVariant>& row, const QVector<int>& indexes, const QVector<QVariant>& read) const;

    Backend& m_backend;
    const RecordStore& m_store;
};

} // namespace ado
