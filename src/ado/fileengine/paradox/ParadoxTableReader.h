#pragma once

#include "ado/fileengine/paradox/ParadoxBlobFile.h"

#include <QBitArray>
#include <QFile>
#include <QStringDecoder>
#include <QVariant>
#include <QVector>
#include <memory>

namespace ado {

// Reads a Paradox table (.db) from its documented layout: a header with the record size,
// block size, record count, field types and names, then a chain of data blocks, each with
// its next and previous block numbers and the offset of its last record. Numbers are
// big-endian with the sign bit inverted; an all-zero field is null.
class ParadoxTableReader {
public:
    enum FieldType : quint8 {
        Alpha = 0x01, Date = 0x02, Short = 0x03, Long = 0x04, Currency = 0x05, Number = 0x06,
        Logical = 0x09, Memo = 0x0C, Blob = 0x0D, FormattedMemo = 0x0E, Ole = 0x0F, Graphic = 0x10,
        Time = 0x14, Timestamp = 0x15, AutoInc = 0x16, Bcd = 0x17, Bytes = 0x18,
    };

    struct Field {
        QString name;
        quint8 type = 0;
        int size = 0;      // bytes in the record
        int decimals = 0;  // BCD only
        int offset = 0;    // within the record
    };

    // Throws AdoError naming the file when it is not a readable Paradox table.
    explicit ParadoxTableReader(const QString& path);

    const QVector<Field>& Fields() const { return m_fields; }
    qint64 RecordCount() const { return m_recordCount; }

    // Moves to the next record in block order; false after the last. Throws AdoError
    // when the blocks do not hold what the header says.
    bool Next();
    qint64 RowNumber() const { return m_rowNumber; }
    // Null is an invalid QVariant.
    QVariant Value(int field);

private:
    void ReadHeader();
    void LoadBlock(int block);
    QString Decode(const QByteArray& bytes) const;
    QVariant BlobValue(const Field& field, const char* p, bool text);
    [[noreturn]] void Damaged(const QString& why) const;

    QFile m_file;
    std::unique_ptr<ParadoxBlobFile> m_blobs;
    QString m_codec;
    QVector<Field> m_fields;
    int m_recordSize = 0;
    int m_headerSize = 0;
    int m_blockSize = 0;
    qint64 m_recordCount = 0;
    int m_fileBlocks = 0;
    int m_firstBlock = 0;

    QByteArray m_block;
    int m_nextBlock = 0;
    QBitArray m_visited;
    int m_recordsInBlock = 0;
    int m_indexInBlock = 0;
    qint64 m_rowNumber = 0;
    bool m_started = false;
};

} // namespace ado
