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

    // Inserts the columns flagged in `set`; returns the row as stored when the backend
    // can read it back, else the values given.
    QVector<QVariant> Insert(const QVector<QVariant>& values, const QVector<bool>& set);
    void Update(const QVector<QVariant>& original, const QVector<QVariant>& values, const QVector<bool>& changed,
                int criteria);
    void Delete(const QVector<QVariant>& original, int criteria);

    // Throws the read-only failure when the store has no updatable base table.
    static void CheckUpdatable(const RecordStore& store);

private:
    QString Table() const;
    QString Column(int index) const;
    QString Where(const QVector<QVariant>& original, const QVector<bool>& changed, int criteria, QVariantList& params) const;
    QString Match(const QVector<int>& columns, const QVector<QVariant>& original, QVariantList& params) const;
    void RunLocated(const QString& sql, const QVariantList& params);

    Backend& m_backend;
    const RecordStore& m_store;
};

} // namespace ado
