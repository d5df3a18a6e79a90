#include "ado/fileengine/text/TextTable.h"

#include "ado/AdoError.h"
#include "ado/fileengine/FileIo.h"
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
    const FileStamp before = FileStamp::Of(m_path);
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        throw AdoError(err::Unspecified, QStringLiteral("Cannot open the text file '%1': %2").arg(m_path, file.errorString()));
    CsvReader reader(&file, m_layout.codec, m_layout.delimiter, m_layout.textDelimiter, FileName());
    m_codec = reader.Codec();
    QStringList names;
    if (m_layout.columnNamesInFirstLine)
        reader.Next(names);
    TextTypeGuesser guesser(m_layout.decimalSymbol);
    QStringList fields;
    bool readAll = false;
    while (m_layout.maxScanRows == 0 || guesser.RowCount() < m_layout.maxScanRows) {
        if (!reader.Next(fields)) {
            readAll = true;
            break;
        }
        guesser.Add(fields);
    }
    // Having read every row, the count serves the first INSERT.
    if (readAll)
        RememberRowCount(before, file.pos(), guesser.RowCount());

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
    const FileStamp stamp = FileStamp::Of(m_path);
    if (stamp == m_checked)
        return m_rowCount;
    QFile file;
    auto reader = OpenReader(file);
    QStringList fields;
    qint64 rows = 0;
    while (reader->Next(fields))
        ++rows;
    RememberRowCount(stamp, file.pos(), rows);
    return rows;
}

TextTable::FileStamp TextTable::FileStamp::Of(const QString& path)
{
    const QFileInfo info(path);
    return {info.size(), info.lastModified()};
}

void TextTable::RememberRowCount(const FileStamp& stamp, qint64 bytesCounted, qint64 rows)
{
    // A program that does not lock may have appended while the rows were counted; then the
    // count fits neither size, and the next check counts again.
    m_checked = stamp;
    if (bytesCounted != stamp.size)
        m_checked.size = -1;
    m_rowCount = rows;
}

void TextTable::PrepareWrite()
{
    if (m_lock)
        return;
    m_writer.setFileName(m_path);
    if (!m_writer.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        throw AdoError(err::Unspecified, QStringLiteral("Cannot write to the text file '%1': %2").arg(m_path, m_writer.errorString()));
    try {
        m_lock.emplace(m_writer.handle(), FileName());
    } catch (const AdoError&) {
        m_writer.close();
        throw;
    }
}

void TextTable::Sync()
{
    if (m_lock && !Log().IsEmpty())
        FileIo::Sync(&m_writer, FileName());
}

void TextTable::LetGo()
{
    m_lock.reset();
    m_writer.close();
}

qint64 TextTable::Insert(const QVector<QVariant>& values)
{
    return Change([&] { return Append(values); });
}

qint64 TextTable::Append(const QVector<QVariant>& values)
{
    QList<QVariant> fields;
    for (int i = 0; i < m_columns.size(); ++i)
        fields.append(m_values.Format(i < values.size() ? values[i] : QVariant(), m_columns[i], FileName()));
    const CsvWriter writer(m_layout.delimiter, m_layout.textDelimiter);
    QString line = writer.FormatLine(fields);
    if (line.isEmpty()) // a blank line would be skipped when read back
        line = writer.FormatField(QString());
    PrepareWrite();
    // Under the lock: rows another program appended before it count.
    const qint64 rows = CheckedRowCount();

    const QString name = FileName();
    const qint64 originalSize = FileIo::Size(&m_writer);
    const QByteArray lf = Encode(m_codec, QStringLiteral("\n"), name);
    const QByteArray cr = Encode(m_codec, QStringLiteral("\r"), name);
    // Follow the file's own line ends; CR LF for a file that has none yet.
    const QByteArray head = FileIo::ReadSomeAt(&m_writer, 0, 64 * 1024, name);
    const qsizetype firstLf = head.indexOf(lf);
    const bool crlf = firstLf < 0 || (firstLf >= cr.size() && head.mid(firstLf - cr.size(), cr.size()) == cr);
    QString text;
    const QString eol = crlf ? QStringLiteral("\r\n") : QStringLiteral("\n");
    bool lineEnded = originalSize == 0;
    if (!lineEnded) {
        const QByteArray tail = FileIo::ReadSomeAt(&m_writer, qMax<qint64>(0, originalSize - lf.size()), lf.size(), name);
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
    const QByteArray bytes = Encode(m_codec, text, name);

    try {
        FileIo::WriteAt(&m_writer, originalSize, bytes, name);
    } catch (const AdoError& e) {
        // A part of a line would read back as a wrong row: cut it off again.
        try {
            FileIo::Resize(&m_writer, originalSize, name);
        } catch (const AdoError& repair) {
            throw AdoError(e.Number(), e.Description() + QStringLiteral(" The file could not be put back as it was: ")
                                           + repair.Description());
        }
        throw;
    }
    Log().Add([this, originalSize, name] {
        FileIo::Resize(&m_writer, originalSize, name);
        FileIo::Sync(&m_writer, name);
    });
    RememberRowCount(FileStamp::Of(m_path), originalSize + bytes.size(), rows + 1);
    return m_rowCount;
}

} // namespace ado
