#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryFile>

// The file an export writes: text encoded in big chunks into a private temporary file
// beside the target, every write checked, then put in place whole, or removed.
// Made, committed and destroyed on one thread; WriteEncoded and Sync may run on another
// one meanwhile (the temporary file is only written through its descriptor).
class CsvExportFile {
public:
    // Opens the temporary file; 76 when the folder is missing, 75 when it cannot be made.
    explicit CsvExportFile(const QString& path);

    // The text in the locale's encoding; any thread may call it.
    QByteArray Encode(QStringView text) const;
    // Writes what Encode gave after what was written before.
    void WriteEncoded(const QByteArray& bytes);
    // Pushes what was written to the disk.
    void Sync();
    // Puts the synced file in place. rename() replaces whatever is at the path, a link
    // included, rather than writing through it.
    void Commit();

    qint64 BytesWritten() const { return m_written; }

private:
    [[noreturn]] void Fail(const QString& why) const;

    QString m_path;
    QByteArray m_encoding;
    QTemporaryFile m_temp;
    qint64 m_written = 0;
};
