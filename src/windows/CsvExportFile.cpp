#include "windows/CsvExportFile.h"

#include "ado/AdoError.h"
#include "ado/fileengine/FileIo.h"
#include "windows/CsvExporter.h"

#include <QFileInfo>
#include <QStringEncoder>

namespace {
constexpr long PathFileAccessError = 75;
} // namespace

CsvExportFile::CsvExportFile(const QString& path)
    : m_path(path), m_encoding(CsvExporter::EncodingName(CsvExporter::LocaleCodeset())),
      m_temp(QFileInfo(path).absolutePath() + QStringLiteral("/.Export.XXXXXX.tmp"))
{
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (!folder.isDir())
        throw ado::AdoError(ado::err::PathNotFound, QStringLiteral("Path not found: %1").arg(folder.filePath()));
    // QTemporaryFile creates the file exclusively and readable by its owner only.
    if (!m_temp.open())
        throw ado::AdoError(PathFileAccessError,
                            QStringLiteral("Path/File access error: %1 (%2)").arg(path, m_temp.errorString()));
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
    if (bytes.isEmpty())
        return;
    // Straight to the descriptor, every byte checked: a short write is a failure.
    try {
        ado::FileIo::WriteAt(&m_temp, m_written, bytes, m_path);
    } catch (const ado::AdoError& e) {
        Fail(e.Description());
    }
    m_written += bytes.size();
}

void CsvExportFile::Sync()
{
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

void CsvExportFile::Fail(const QString& why) const
{
    throw ado::AdoError(PathFileAccessError, QStringLiteral("Path/File access error: %1 (%2)").arg(m_path, why));
}
