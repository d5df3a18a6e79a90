#include "ado/fileengine/text/CsvReader.h"

#include "ado/AdoError.h"

#include <QIODevice>

namespace ado {

namespace {

constexpr qint64 ChunkSize = 256 * 1024;

QByteArray CodecFromMark(QIODevice* device, const QByteArray& codec)
{
    const QByteArray head = device->peek(3);
    if (head.startsWith("\xEF\xBB\xBF"))
        return "UTF-8";
    if (head.startsWith("\xFF\xFE"))
        return "UTF-16LE";
    if (head.startsWith("\xFE\xFF"))
        return "UTF-16BE";
    return codec;
}

} // namespace

CsvReader::CsvReader(QIODevice* device, const QByteArray& codec, QChar delimiter, QChar textDelimiter, QString source)
    : m_device(device), m_codec(CodecFromMark(device, codec)), m_decoder(m_codec.constData()), m_delimiter(delimiter),
      m_quote(textDelimiter), m_source(std::move(source))
{
    if (!m_decoder.isValid())
        throw AdoError(err::Unspecified, QStringLiteral("The character set '%1' of '%2' is not available.")
                                             .arg(QString::fromLatin1(m_codec), m_source));
}

bool CsvReader::Fill()
{
    while (!m_eof) {
        // An empty read is the end, whatever size the file has by now: another program may
        // be appending to it. Only -1 is a failure.
        m_chunk.resize(ChunkSize);
        const qint64 got = m_device->read(m_chunk.data(), ChunkSize);
        if (got < 0)
            throw AdoError(err::Unspecified, QStringLiteral("Cannot read '%1': %2").arg(m_source, m_device->errorString()));
        if (got == 0) {
            m_eof = true;
            break;
        }
        m_buffer = m_decoder.decode(QByteArrayView(m_chunk.constData(), got));
        m_pos = 0;
        if (!m_buffer.isEmpty())
            return true;
    }
    m_buffer.clear();
    m_pos = 0;
    return false;
}

void CsvReader::SkipLineEnd()
{
    // At a CR or LF: one line end, CR LF counting once.
    const QChar c = m_buffer.at(m_pos++);
    ++m_line;
    if (c == u'\r' && !AtEnd() && m_buffer.at(m_pos) == u'\n')
        ++m_pos;
}

void CsvReader::ReadQuoted(QString& field)
{
    const qint64 openedOn = m_line;
    ++m_pos; // the opening quote
    for (;;) {
        if (AtEnd())
            throw AdoError(err::Unspecified, QStringLiteral("The text file '%1' has a quoted field opened on line %2 "
                                                            "that is never closed.")
                                                 .arg(m_source)
                                                 .arg(openedOn));
        const qsizetype quote = m_buffer.indexOf(m_quote, m_pos);
        const qsizetype end = quote < 0 ? m_buffer.size() : quote;
        for (qsizetype i = m_pos; i < end; ++i) {
            const QChar c = m_buffer.at(i);
            if (c == u'\n' || c == u'\r' && (i + 1 >= m_buffer.size() || m_buffer.at(i + 1) != u'\n'))
                ++m_line;
        }
        field.append(QStringView(m_buffer).mid(m_pos, end - m_pos));
        m_pos = end;
        if (quote < 0)
            continue;
        ++m_pos;
        if (!AtEnd() && m_buffer.at(m_pos) == m_quote) {
            field.append(m_quote);
            ++m_pos;
            continue;
        }
        return;
    }
}

bool CsvReader::Next(QStringList& fields, QList<bool>* quoted)
{
    for (;;) {
        if (AtEnd()) {
            fields.clear();
            if (quoted)
                quoted->clear();
            return false;
        }
        const QChar c = m_buffer.at(m_pos);
        if (c != u'\n' && c != u'\r')
            break;
        SkipLineEnd(); // blank line
    }
    m_recordLine = m_line;
    // The strings of the last record are emptied and filled again: their buffers serve once more.
    qsizetype count = 0;
    for (;;) {
        if (count == fields.size())
            fields.emplaceBack();
        QString& field = fields[count++];
        field.resize(0);
        bool wasQuoted = false;
        if (!AtEnd() && !m_quote.isNull() && m_buffer.at(m_pos) == m_quote) {
            ReadQuoted(field);
            wasQuoted = true;
        }
        // Unquoted text, or whatever follows a closing quote up to the separator.
        bool endOfRecord = true;
        while (!AtEnd()) {
            const QChar* data = m_buffer.constData();
            const qsizetype size = m_buffer.size();
            qsizetype i = m_pos;
            while (i < size && data[i] != m_delimiter && data[i] != u'\n' && data[i] != u'\r')
                ++i;
            field.append(QStringView(m_buffer).mid(m_pos, i - m_pos));
            m_pos = i;
            if (i == size)
                continue;
            if (data[i] == m_delimiter) {
                ++m_pos;
                endOfRecord = false;
            } else {
                SkipLineEnd();
            }
            break;
        }
        if (quoted) {
            if (quoted->size() < count)
                quoted->append(wasQuoted);
            else
                quoted->data()[count - 1] = wasQuoted;
        }
        if (endOfRecord) {
            fields.resize(count);
            if (quoted)
                quoted->resize(count);
            return true;
        }
    }
}

} // namespace ado
