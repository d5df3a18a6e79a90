#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

namespace ado {

// The memo file of a DBF: dBase III .dbt (512-byte blocks, text ended by 0x1A), dBase IV
// .dbt (blocks starting FF FF 08 00 and a length) or FoxPro .fpt (big-endian header and
// block headers). Writes append new blocks and then move the next-free-block pointer.
class DbfMemoFile {
public:
    enum class Kind { DBase3, DBase4, FoxPro };
    // A point to go back to when a record write that used new blocks fails.
    struct Mark {
        qint64 size = -1;
        QByteArray header;
    };

    // Reads the header; throws AdoError naming the file when it is not a memo file.
    DbfMemoFile(QIODevice* device, Kind kind, QString name);

    Kind MemoKind() const { return m_kind; }
    int BlockSize() const { return m_blockSize; }
    // The bytes of the memo at block; binary is set for FoxPro picture/object blocks.
    QByteArray Read(qint64 block, bool* binary = nullptr) const;
    // Writes the data into new blocks at the end and returns the first block's number.
    qint64 Append(const QByteArray& data, bool binary);

    Mark MakeMark() const;
    void Restore(const Mark& mark);

private:
    void ReadHeader();
    void SetNextFreeBlock(qint64 block);

    QIODevice* m_device;
    Kind m_kind;
    QString m_name;
    int m_blockSize = 512;
};

} // namespace ado
