#include "windows/CsvExportFile.h"

#include "ado/AdoError.h"
#include "ado/fileengine/FileIo.h"
#include "windows/CsvExporter.h"

#include <QFileInfo>

namespace {
constexpr long PathFileAccessError = 75;
constexpr qsizetype FlushSize = 1 << 20;
} // namespace

CsvExportFile::CsvExportFile(const QString& path)
    : m_path(path), m_encoding(CsvExporter::EncodingName(CsvExporter::LocaleCodeset())),
      m_temp(QFileInfo(path).absolutePath() + QStringLiteral("/.Export.XXXXXX.tmp")), m_encoder(m_encoding.constData())
{
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (!folder.isDir())
        throw ado::AdoError(ado::err::PathNotFound, QStringLiteral("Path not found: %1").arg(folder.filePath()));
    // QTemporaryFile creates the file exclusively and readable by its owner only.
    if (!m_temp.open())
        throw ado::AdoError(PathFileAccessError,
                            QStringLiteral("Path/File access error: %1 (%2)").arg(path, m_temp.errorString()));
    m_buffer.reserve(FlushSize + FlushSize / 2);
}

void CsvExportFile::Write(QStringView text)
{
    // Straight into the buffer's spare room: no byte array per piece of text.
    const qsizetype used = m_buffer.size();
    m_buffer.resize(used + m_encoder.requiredSpace(text.size()));
    char* end = m_encoder.appendToBuffer(m_buffer.data() + used, text);
    m_buffer.truncate(end - m_buffer.constData());
    if (m_encoder.hasError())
        throw ado::AdoError(PathFileAccessError, QStringLiteral("Cannot encode the text in the locale's encoding"));
    if (m_buffer.size() >= FlushSize)
        Flush();
}

QByteArray CsvExportFile::Encode(QStringView text) const
{
    QStringEncoder encoder(m_encoding.constData());
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        throw ado::AdoError(PathFileAccessError, QStringLiteral("Cannot encode the text in the locale's encoding"));
    return bytes;
}

void CsvExportFile::WriteEncoded(const QByteArray& bytes)
{
    Flush();
    m_buffer = bytes;
    Flush();
}

void CsvExportFile::Sync()
{
    Flush();
    try {
        ado::FileIo::Sync(&m_temp, m_path);
    } catch (const ado::AdoError& e) {
        Fail(e.Description());
    }
}

void CsvExportFile::Commit()
{
    try {
        ado::FileIo::Rename(m_temp.fileName(), m_path, m_path);
    } catch (const ado::AdoError& e) {
        Fail(e.Description());
    }
    m_temp.setAutoRemove(false);
    m_temp.close();
}

void CsvExportFile::Flush()
{
    if (m_buffer.isEmpty())
        return;
    // Straight to the descriptor, every byte checked: a short write is a failure.
    try {
        ado::FileIo::WriteAt(&m_temp, m_written, m_buffer, m_path);
    } catch (const ado::AdoError& e) {
        Fail(e.Description());
    }
    m_written += m_buffer.size();
    m_buffer.clear();
}

void CsvExportFile::Fail(const QString& why) const
{
    throw ado::AdoError(PathFileAccessError, QStringLiteral("Path/File access error: %1 (%2)").arg(m_path, why));
}
