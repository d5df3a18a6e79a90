#pragma once

#include "ado/fileengine/FileLock.h"
#include "ado/fileengine/UndoableTable.h"

#include <QFile>
#include <memory>
#include <optional>

namespace ado {

class DbfFile;
class DbfMemoFile;
class DbfRecordCodec;

// One .dbf of a folder as a table: reads through DbfCursor, writes in place.
//
// UPDATE rewrites the record where it is, INSERT appends it and then counts it in the
// header, DELETE sets the deletion flag. Memo values go to new blocks written before the
// record; if the record cannot be written the memo file is put back as it was.
//
// The first change of a transaction locks the .dbf and its memo file against other
// programs and connections and reads the header again; each change logs the bytes it
// replaced, so that a rollback puts both files back byte for byte.
class DbfTable : public UndoableTable {
public:
    // Opens the file, its memo file (.dbt/.fpt of the same name) and code page (.cpg);
    // throws AdoError naming the file when it cannot be read.
    explicit DbfTable(const QString& path);
    ~DbfTable() override;

    QVector<FileColumn> Columns() const override;
    std::unique_ptr<FileTableCursor> Scan() override;

    QString ReadOnlyReason() const override;
    qint64 Insert(const QVector<QVariant>& values) override;
    void Update(qint64 rowId, const QVector<QVariant>& values) override;
    void Delete(qint64 rowId) override;
    void Sync() override;

protected:
    void LetGo() override;

private:
    void PrepareWrite();
    QByteArray LiveRecord(qint64 rowId) const;

    QFile m_device;
    QFile m_memoDevice;
    std::optional<FileLock> m_lock;
    std::optional<FileLock> m_memoLock;
    QString m_readOnly;
    std::unique_ptr<DbfFile> m_file;
    std::unique_ptr<DbfMemoFile> m_memo;
    std::unique_ptr<DbfRecordCodec> m_codec;
};

} // namespace ado
