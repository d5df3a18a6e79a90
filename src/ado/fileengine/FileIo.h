#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

namespace ado {

// Positioned reads and writes of the file engine that throw AdoError naming the file and,
// for a file, the system's reason ("No space left on device"). An open file goes through
// its descriptor (pread, pwrite, ftruncate, fsync): nothing waits in a buffer to be written
// later, and a short write is a failure. Other devices (memory buffers) go through QIODevice.
class FileIo {
public:
    // Reads exactly length bytes at pos; fails on a short read.
    static QByteArray ReadAt(QIODevice* device, qint64 pos, qint64 length, const QString& name);
    // Reads up to length bytes at pos (fewer at the end of the file).
    static QByteArray ReadSomeAt(QIODevice* device, qint64 pos, qint64 length, const QString& name);
    // Writes all the bytes at pos or throws; what a failed write left is the caller's to undo.
    static void WriteAt(QIODevice* device, qint64 pos, const QByteArray& bytes, const QString& name);
    // Pushes the writes to the disk (fsync for a file; nothing for a memory buffer).
    static void Sync(QIODevice* device, const QString& name);
    // Shrinks or grows the file, or throws.
    static void Resize(QIODevice* device, qint64 size, const QString& name);
    static qint64 Size(QIODevice* device);
    // Puts the file from in the place of to (rename(2): to is replaced whole, a link at to
    // included), or throws.
    static void Rename(const QString& from, const QString& to, const QString& name);

    // For tests: files may grow by this many more bytes in all before a write fails as on a
    // full disk (the bytes that fit are written, then ENOSPC); negative lifts the limit.
    static void SetGrowthLimitForTesting(qint64 bytes);

    // For tests, in the manner of I/O-error testing: the callNumber-th write, sync, resize or
    // rename of a file from now on fails once with EIO; a Short fault first writes half of the
    // bytes, as a device that stops part way. 0 lifts it. The calls are counted from here.
    enum class Fault { Fail, Short };
    static void SetFaultForTesting(int callNumber, Fault kind = Fault::Fail);
    // The writes, syncs, resizes and renames of files since the last SetFaultForTesting.
    static int WriteCallsForTesting();
};

} // namespace ado
