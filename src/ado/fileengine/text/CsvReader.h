#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

class QIODevice;

namespace ado {

// Splits delimited text into records, reading the device in chunks. Quoted fields may hold
// separators, doubled quotes and line breaks (kept as written); a quote inside an unquoted
// field is an ordinary character. Lines end with CR LF, LF or a lone CR; blank lines are
// skipped. A byte-order mark chooses UTF-8 or UTF-16 whatever the codec said.
// No SQLite in here: the table over it converts the fields.
class CsvReader {
public:
    // source names the file in messages; textDelimiter null reads no field as quoted.
    CsvReader(QIODevice* device, const QByteArray& codec, QChar delimiter, QChar textDelimiter, QString source);

    // Reads the next record; false at the end. Throws AdoError naming the file and the line
    // of a quoted field that is never closed.
    bool Next(QStringList& fields, QList<bool>* quoted = nullptr);
    // The line on which the record last read starts (1-based).
    qint64 RecordLine() const { return m_recordLine; }
    // The codec really used (after the byte-order mark).
    QByteArray Codec() const { return m_codec; }

private:
    bool Fill();
    bool AtEnd() { return m_pos >= m_buffer.size() && !Fill(); }
    void ReadQuoted(QString& field);
    void SkipLineEnd();

    QIODevice* m_device;
    QByteArray m_codec;
    QStringDecoder m_decoder;
    QChar m_delimiter;
    QChar m_quote;
    QString m_source;
    QByteArray m_chunk; // the bytes of the last read, kept for its capacity
    QString m_buffer;
    qsizetype m_pos = 0;
    qint64 m_line = 1;
    qint64 m_recordLine = 0;
    bool m_eof = false;
};

} // namespace ado
