#pragma once

#include "ado/fileengine/dbase/DbfCodePage.h"
#include "ado/fileengine/dbase/DbfField.h"

#include <QByteArray>
#include <QString>
#include <QVector>

class QIODevice;

namespace ado {

// The header and records of a .dbf file (dBase II to 7, FoxPro, Visual FoxPro) over an
// open device. No SQL here: the table glue turns records into values (DbfRecordCodec).
//
// Writes keep the file consistent at every step: a record is written before the header
// counts it, each step is synced, and a failure puts back the bytes it changed.
class DbfFile {
public:
    // Parses and checks the header; throws AdoError naming the file when it is not a
    // DBF or its header does not fit the file (a truncated file, a lying record count).
    // codePage overrides the language-driver byte when not empty (from a .cpg file).
    DbfFile(QIODevice* device, QString name, const QByteArray& codePage = {});

    const QString& Name() const { return m_name; }
    quint8 Version() const { return m_version; }
    bool IsVisualFoxPro() const { return m_version == 0x30 || m_version == 0x31 || m_version == 0x32; }
    bool IsLevel7() const { return (m_version & 0x07) == 4; }
    bool IsDBase2() const { return m_version == 0x02; }
    bool HasMemoFlag() const;
    const DbfCodePage& CodePage() const { return m_codePage; }
    const QVector<DbfField>& Fields() const { return m_fields; }
    int NullFlagsField() const { return m_nullFlagsField; }
    qint64 RecordCount() const { return m_recordCount; }
    int RecordLength() const { return m_recordLength; }
    int HeaderLength() const { return m_headerLength; }
    // Why the table cannot be written; empty when it can.
    QString WriteRefusal() const;

    // Reads the record count again (another program may have appended) and checks it.
    void Refresh();
    // count raw records from first (0-based); fewer at the end of the table.
    QByteArray ReadRecords(qint64 first, qint64 count) const;
    QByteArray ReadRecord(qint64 index) const;
    // A new record: not deleted, every field blank.
    QByteArray BlankRecord() const;

    // What an append changed, to put it back.
    struct Appended {
        qint64 size = -1;  // the file's size before
        qint64 pos = 0;    // where the record went
        QByteArray header; // the header before
        QByteArray tail;   // the bytes that were at pos
    };

    void WriteRecord(qint64 index, const QByteArray& record);
    // Appends after the last record and counts it; returns its 0-based index.
    qint64 AppendRecord(const QByteArray& record, Appended* undo = nullptr);
    // Puts the file back as it was before the append.
    void UndoAppend(const Appended& undo);
    void MarkDeleted(qint64 index);
    // Visual FoxPro autoincrement: the value for a new record; the header keeps the next
    // one until AppendRecord writes it.
    qint64 TakeAutoIncrement(int field);

private:
    void ParseHeader(const QByteArray& codePage);
    // Returns the raw field names, decoded once the code page is known.
    QVector<QByteArray> ParseFields(const QByteArray& header, int start, int size);
    QByteArray TextSample(const QVector<QByteArray>& rawNames) const;
    void AssignNames(const QVector<QByteArray>& rawNames);
    void AssignNullBits();
    void CheckSize() const;
    QByteArray UpdatedHeader(qint64 count) const;

    QIODevice* m_device;
    QString m_name;
    quint8 m_version = 0;
    qint64 m_recordCount = 0;
    int m_headerLength = 0;
    int m_recordLength = 0;
    QByteArray m_header; // the whole header as read, for rewriting count, date, autoincrement
    DbfCodePage m_codePage;
    QVector<DbfField> m_fields;
    int m_nullFlagsField = -1;
};

} // namespace ado
