#pragma once

#include "ado/fileengine/FileTable.h"
#include "ado/fileengine/dbase/DbfValueReader.h"

#include <QByteArray>

namespace ado {

class DbfFile;
class DbfRecordCodec;

// Reads the records of a DBF in file order, a chunk at a time, skipping deleted ones.
// The record count is the one of the moment the scan starts.
class DbfCursor : public FileTableCursor {
public:
    DbfCursor(const DbfFile* file, const DbfRecordCodec* codec);

    bool Next() override;
    qint64 RowId() const override { return m_index + 1; }
    QVariant Value(int column) const override;
    void Put(int column, FileValueSink& sink) const override;

private:
    const char* Record() const;

    const DbfFile* m_file;
    const DbfRecordCodec* m_codec;
    qint64 m_count;
    qint64 m_index = -1;
    qint64 m_chunkFirst = 0;
    qint64 m_chunkRecords = 0;
    QByteArray m_chunk;
    mutable DbfValueReader m_reader; // keeps a buffer for text that needs converting
};

} // namespace ado
