#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace ado {

// The .MB file next to a Paradox table: memo and BLOB values too long for the record.
// 4 KiB blocks; a block holds either one value (type 2) or up to 64 small ones
// (type 3, with a table of 5-byte entries after its 12-byte header).
class ParadoxBlobFile {
public:
    explicit ParadoxBlobFile(const QString& path);

    bool IsOpen() const { return m_file.isOpen(); }
    // The value at a record's blob pointer; throws AdoError when the pointer leads
    // outside the file or to a block that does not hold it.
    QByteArray Read(quint32 pointer, quint32 length);

private:
    QByteArray ReadAt(qint64 offset, qint64 length);

    QFile m_file;
};

} // namespace ado
