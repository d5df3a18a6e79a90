#include "ado/fileengine/text/TextTable.h"

#include "ado/AdoError.h"
#include "ado/fileengine/text/CsvReader.h"
#include "ado/fileengine/text/CsvWriter.h"
#include "ado/fileengine/text/TextTableCursor.h"
#include "ado/fileengine/text/TextTypeGuesser.h"

#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>
#include <QStringEncoder>

namespace ado {

namespace {

const QString UpdateRefused = QStringLiteral("Updating data in a linked table is not supported by this ISAM.");
const QString DeleteRefused = QStringLiteral("Deleting data in a linked table is not supported by this ISAM.");

QByteArray Encode(const QByteArray& codec, const QString& text, const QString& file)
{
    QStringEncoder encoder(codec.constData());
    const QByteArray bytes = encoder.encode(text);
    // Characters the code page lacks would be written as '?': refuse rather than change them.
    QStringDecoder decoder(codec.constData());
    if (encoder.hasError() || decoder.decode(bytes) != text)
        throw AdoError(err::Unspecified, QStringLiteral("The row cannot be written to '%1': it holds characters that its "
                                                        "character set (%2) cannot represent.")
                                             .arg(file, QString::fromLatin1(codec)));
    return bytes;
}

} // namespace

TextTable::TextTable(QString path, TextFileLayout layout)
    : m_path(std::move(path)), m_layout(std::move(layout)), m_codec(m_layout.codec), m_values(m_layout.decimalSymbol)
{
    Describe();
}

QString TextTable::FileName() const
{
    return QFileInfo(m_path).fileName();
}

std::unique_ptr<CsvReader> TextTable::OpenReader(QFile& file) const
{
    file.setFileName(m_path);
    if (!file.open(QIODevice::ReadOnly))
        throw AdoError(err::Unspecified, QStringLiteral("Cannot open the text file '%1': %2").arg(m_path, file.errorString()));
    auto reader = std::make_unique<CsvReader>(&file, m_layout.codec, m_layout.delimiter, m_layout.textDelimiter, FileName());
    if (m_layout.columnNamesInFirstLine) {
        QStringList header;
        reader->Next(header);
    }
    return reader;
}

void TextTable::Describe()
{
    QFile file(m_path);
    file.setFileName(m_path);
    if (!file.open(QIODevice::ReadOnly))
        throw AdoError(err::Unspecified, QStringLiteral("Cannot open the text file '%1': %2").arg(m_path, file.errorString()));
    CsvReader reader(&file, m_layout.codec, m_layout.delimiter, m_layout.textDelimiter, FileName());
    m_codec = reader.Codec();
    QStringList names;
    if (m_layout.columnNamesInFirstLine)
        reader.Next(names);
    TextTypeGuesser guesser(m_layout.decimalSymbol);
    QStringList fields;
    bool complete = true;
    while (m_layout.maxScanRows == 0 || guesser.RowCount() < m_layout.maxScanRows) {
        if (!reader.Next(fields)) {
            complete = false;
            break;
        }
        guesser.Add(fields);
    }
    // Having read every row, the count serves the first INSERT.
    if (!complete) {
        const QFileInfo info(m_path);
        m_checkedSize = info.size();
        m_checkedTime = info.lastModified();
        m_rowCount = guesser.RowCount();
    }

    int count = int(qMax(names.size(), qsizetype(guesser.ColumnCount())));
    if (!m_layout.definedColumns.isEmpty())
        count = qMax(count, m_layout.definedColumns.lastKey() + 1);
    if (count == 0)
        throw AdoError(err::Unspecified, QStringLiteral("The text file '%1' is empty: it has no columns.").arg(FileName()));
    if (count > 2000)
        throw AdoError(err::Unspecified, QStringLiteral("The text file '%1' has %2 columns; at most 2000 can be read.")
                                             .arg(FileName())
                                             .arg(count));
    QSet<QString> used;
    for (int i = 0; i < count; ++i) {
        const auto defined = m_layout.definedColumns.constFind(i);
        TextColumn column = defined != m_layout.definedColumns.constEnd() ? *defined : guesser.Column(i);
        if (defined == m_layout.definedColumns.constEnd())
            column.name = i < names.size() ? names[i].trimmed() : QString();
        // Blank and repeated names become F1, F2..., after their position, as Jet names them.
        if (column.name.isEmpty() || used.contains(column.name.toLower()))
            column.name = QStringLiteral("F%1").arg(i + 1);
        for (int n = 2; used.contains(column.name.toLower()); ++n)
            column.name = QStringLiteral("F%1_%2").arg(i + 1).arg(n);
        used.insert(column.name.toLower());
        m_columns.append(column);
    }
}

QVector<FileColumn> TextTable::Columns() const
{
    QVector<FileColumn> columns;
    for (const TextColumn& c : m_columns)
        columns.append({c.name, c.DeclaredType()});
    return columns;
}

std::unique_ptr<FileTableCursor> TextTable::Scan()
{
    return std::make_unique<TextTableCursor>(*this);
}

QString TextTable::ReadOnlyReason() const
{
    return UpdateRefused;
}

void TextTable::Update(qint64, const QVector<QVariant>&)
{
    throw AdoError(err::Unspecified, UpdateRefused);
}

void TextTable::Delete(qint64)
{
    throw AdoError(err::Unspecified, DeleteRefused);
}

qint64 TextTable::CheckedRowCount()
{
    const QFileInfo info(m_path);
    if (info.size() == m_checkedSize && info.lastModified() == m_checkedTime)
        return m_rowCount;
    QFile file;
    auto reader = OpenReader(file);
    QStringList fields;
    qint64 rows = 0;
    while (reader->Next(fields))
        ++rows;
    m_checkedSize = info.size();
    m_checkedTime = info.lastModified();
    m_rowCount = rows;
    return rows;
}

qint64 TextTable::Insert(const QVector<QVariant>& values)
{
    QList<QVariant> fields;
    for (int i = 0; i < m_columns.size(); ++i)
        fields.append(m_values.Format(i < values.size() ? values[i] : QVariant(), m_columns[i], FileName()));
    const CsvWriter writer(m_layout.delimiter, m_layout.textDelimiter);
    QString line = writer.FormatLine(fields);
    if (line.isEmpty()) // a blank line would be skipped when read back
        line = writer.FormatField(QString());
    const qint64 rows = CheckedRowCount();

    QFile file(m_path);
    if (!file.open(QIODevice::ReadWrite))
        throw AdoError(err::Unspecified, QStringLiteral("Cannot write to the text file '%1': %2").arg(m_path, file.errorString()));
    const qint64 originalSize = file.size();
    const QByteArray lf = Encode(m_codec, QStringLiteral("\n"), FileName());
    const QByteArray cr = Encode(m_codec, QStringLiteral("\r"), FileName());
    // Follow the file's own line ends; CR LF for a file that has none yet.
    const QByteArray head = file.read(64 * 1024);
    const qsizetype firstLf = head.indexOf(lf);
    const bool crlf = firstLf < 0 || (firstLf >= cr.size() && head.mid(firstLf - cr.size(), cr.size()) == cr);
    QString text;
    const QString eol = crlf ? QStringLiteral("\r\n") : QStringLiteral("\n");
    bool lineEnded = originalSize == 0;
    if (!lineEnded) {
        file.seek(qMax<qint64>(0, originalSize - lf.size()));
        const QByteArray tail = file.read(lf.size());
        // A file holding only its byte-order mark has no line to end either.
        const bool onlyMark = originalSize <= 3 && (head == "\xEF\xBB\xBF" || head == "\xFF\xFE" || head == "\xFE\xFF");
        lineEnded = tail == lf || tail == cr || onlyMark;
    }
    if (!lineEnded)
        text += eol;
    if (originalSize == 0 && m_layout.columnNamesInFirstLine) {
        QList<QVariant> names;
        for (const TextColumn& c : m_columns)
            names.append(c.name);
        text += writer.FormatLine(names) + eol;
    }
    text += line + eol;
    const QByteArray bytes = Encode(m_codec, text, FileName());

    if (!file.seek(originalSize) || file.write(bytes) != bytes.size() || !file.flush()) {
        const QString why = file.errorString();
        file.resize(originalSize);
        throw AdoError(err::Unspecified, QStringLiteral("Cannot write to the text file '%1': %2").arg(m_path, why));
    }
    file.close();
    const QFileInfo info(m_path);
    m_checkedSize = info.size();
    m_checkedTime = info.lastModified();
    m_rowCount = rows + 1;
    return m_rowCount;
}

} // namespace ado
