#pragma once

#include "ado/fileengine/FileLock.h"
#include "ado/fileengine/UndoableTable.h"
#include "ado/fileengine/text/TextColumn.h"
#include "ado/fileengine/text/TextFileLayout.h"
#include "ado/fileengine/text/TextValueCodec.h"

#include <QDateTime>
#include <QFile>
#include <optional>

namespace ado {

class CsvReader;

// One delimited text file as a table: columns from the header line, the Schema.ini
// definitions and the scanned rows; rows read in file order (row id = record number);
// INSERT appends a record; UPDATE and DELETE are refused as the text driver refuses them.
// The first INSERT of a transaction opens the file for writing and locks it against other
// programs and connections; a rollback cuts the file back to its size before.
class TextTable : public UndoableTable {
public:
    // Reads the header and the rows to scan; throws AdoError naming the file.
    TextTable(QString path, TextFileLayout layout);

    QVector<FileColumn> Columns() const override;
    std::unique_ptr<FileTableCursor> Scan() override;
    QString ReadOnlyReason() const override;
    qint64 Insert(const QVector<QVariant>& values) override;
    void Update(qint64 rowId, const QVector<QVariant>& values) override;
    void Delete(qint64 rowId) override;
    void Sync() override;

    const QVector<TextColumn>& TextColumns() const { return m_columns; }
    const TextValueCodec& Values() const { return m_values; }
    // Opens the file and a reader positioned after the header line.
    std::unique_ptr<CsvReader> OpenReader(QFile& file) const;

protected:
    void LetGo() override;
    void Undone() override { m_checked.size = -1; }

private:
    void Describe();
    void PrepareWrite();
    qint64 Append(const QVector<QVariant>& values);
    // Reads the whole file (so that a broken quote is found before anything is appended)
    // unless it is unchanged since the last check; gives the record count.
    qint64 CheckedRowCount();
    struct FileStamp {
        qint64 size = -1;
        QDateTime modified;
        static FileStamp Of(const QString& path);
        bool operator==(const FileStamp&) const = default;
    };
    // Keeps the count for the file as stamped, if exactly its size in bytes was counted.
    void RememberRowCount(const FileStamp& stamp, qint64 bytesCounted, qint64 rows);
    QString FileName() const;

    QString m_path;
    TextFileLayout m_layout;
    QByteArray m_codec; // after the byte-order mark
    QVector<TextColumn> m_columns;
    TextValueCodec m_values;
    FileStamp m_checked; // the file as m_rowCount counted it; size -1 for none
    qint64 m_rowCount = 0;
    QFile m_writer; // open for writing while the transaction holds the lock
    std::optional<FileLock> m_lock;
};

} // namespace ado
