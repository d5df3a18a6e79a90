#pragma once

#include "ado/fileengine/access/MdbDatabase.h"

#include <QVariant>
#include <QVector>

namespace ado {

// Reads the rows of one Access table through libmdb, converting each value itself from
// the bytes of the row: numbers, currency, Jet 4 decimals, dates (days since 1899-12-30),
// GUIDs, text and memos in UTF-8, OLE objects as their bytes.
class MdbTableReader {
public:
    struct Column {
        QString name;
        int type = 0;       // libmdb's MDB_* type
        int size = 0;       // bytes as stored
        int precision = 0;
        int scale = 0;
        int index = 0;      // position among libmdb's columns
    };

    // Throws AdoError naming the table when it cannot be read.
    MdbTableReader(const MdbDatabase& database, const QString& table);
    ~MdbTableReader();
    MdbTableReader(const MdbTableReader&) = delete;
    MdbTableReader& operator=(const MdbTableReader&) = delete;

    // The columns whose values can be read (attachment columns of .accdb files are left out).
    const QVector<Column>& Columns() const { return m_columns; }
    bool IsJet3() const;
    // The type the SQL engine declares, chosen for the ADO type code Jet reports.
    QString DeclaredType(const Column& column) const;

    // Moves to the next row; false after the last. Throws AdoError when the table is damaged.
    bool Next();
    qint64 RowNumber() const { return m_rowNumber; }
    // Null is an invalid QVariant.
    QVariant Value(int column);

private:
    struct TableDeleter {
        void operator()(MdbTableDef* table) const;
    };

    void CrackCurrentRow();
    QVariant Decode(const Column& column, const MdbField& field);
    QString Text(const char* data, size_t length);
    QByteArray LongValue(int start, int size);
    QByteArray LongValueRow(quint32 pageRow);
    [[noreturn]] void Damaged() const;

    const MdbDatabase& m_database;
    QString m_name;
    MdbHandlePtr m_mdb;
    std::unique_ptr<MdbTableDef, TableDeleter> m_table;
    QVector<Column> m_columns;
    QVector<MdbField> m_fields; // by libmdb column position
    qint64 m_rowNumber = 0;
    bool m_done = false;
};

} // namespace ado
