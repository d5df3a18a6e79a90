#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

namespace ado {

// Positioned reads and writes that throw AdoError naming the file, and a durable flush.
class DbfIo {
public:
    // Reads exactly length bytes at pos; fails on a short read.
    static QByteArray ReadAt(QIODevice* device, qint64 pos, qint64 length, const QString& name);
    // Reads up to length bytes at pos (fewer at the end of the file).
    static QByteArray ReadSomeAt(QIODevice* device, qint64 pos, qint64 length, const QString& name);
    static void WriteAt(QIODevice* device, qint64 pos, const QByteArray& bytes, const QString& name);
    // Pushes the writes to the disk (fsync for a file; nothing for a memory buffer).
    static void Sync(QIODevice* device, const QString& name);
    // Shrinks or grows the file; nothing for devices that cannot.
    static void Resize(QIODevice* device, qint64 size, const QString& name);
    static qint64 Size(QIODevice* device);
};

} // namespace ado
