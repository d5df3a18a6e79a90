#include "windows/CsvExporter.h"

#include "ado/AdoError.h"
#include "ado/Field.h"
#include "ado/Recordset.h"
#include "ado/fileengine/FileIo.h"
#include "app/MDabrix.h"
#include "connections/MConnections.h"
#include "ui/RecordsetModel.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringEncoder>
#include <QTemporaryFile>
#include <langinfo.h>

namespace {

constexpr long PathFileAccessError = 75;
constexpr qsizetype FlushSize = 1 << 20;

// Encodes lines into a private temporary file, checking every write.
class ExportFile {
public:
    explicit ExportFile(const QString& path)
        : m_path(path), m_temp(QFileInfo(path).absolutePath() + QStringLiteral("/.Export.XXXXXX.tmp")),
          m_encoder(CsvExporter::EncodingName(CsvExporter::LocaleCodeset()).constData())
    {
        const QFileInfo folder(QFileInfo(path).absolutePath());
        if (!folder.isDir())
            throw ado::AdoError(ado::err::PathNotFound, QStringLiteral("Path not found: %1").arg(folder.filePath()));
        // QTemporaryFile creates the file exclusively and readable by its owner only.
        if (!m_temp.open())
            throw ado::AdoError(PathFileAccessError,
                                QStringLiteral("Path/File access error: %1 (%2)").arg(path, m_temp.errorString()));
    }

    void Write(const QString& text)
    {
        m_buffer += m_encoder.encode(text);
        if (m_encoder.hasError())
            throw ado::AdoError(PathFileAccessError, QStringLiteral("Cannot encode the text in the locale's encoding"));
        if (m_buffer.size() >= FlushSize)
            Flush();
    }

    void EndLine() { Write(QStringLiteral("\r\n")); }

    // Puts the finished file in place. rename() replaces whatever is at the path, a link
    // included, rather than writing through it.
    void Commit()
    {
        Flush();
        try {
            ado::FileIo::Sync(&m_temp, m_path);
            ado::FileIo::Rename(m_temp.fileName(), m_path, m_path);
        } catch (const ado::AdoError& e) {
            Fail(e.Description());
        }
        m_temp.setAutoRemove(false);
        m_temp.close();
    }

private:
    void Flush()
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

    [[noreturn]] void Fail(const QString& why)
    {
        throw ado::AdoError(PathFileAccessError, QStringLiteral("Path/File access error: %1 (%2)").arg(m_path, why));
    }

    QString m_path;
    QTemporaryFile m_temp;
    QStringEncoder m_encoder;
    QByteArray m_buffer;
    qint64 m_written = 0;
};

} // namespace

QByteArray CsvExporter::LocaleCodeset()
{
    const char* codeset = ::nl_langinfo(CODESET);
    return codeset ? QByteArray(codeset) : QByteArray();
}

QByteArray CsvExporter::EncodingName(const QByteArray& codeset)
{
    // The C locale's ASCII cannot hold a French name; Qt itself reads that locale as UTF-8.
    const QByteArray upper = codeset.toUpper();
    if (upper.isEmpty() || upper == "ANSI_X3.4-1968" || upper == "ASCII" || upper == "US-ASCII")
        return QByteArrayLiteral("UTF-8");
    return QStringEncoder(codeset.constData()).isValid() ? codeset : QByteArrayLiteral("UTF-8");
}

QString CsvExporter::DefaultPath()
{
    // QDir::tempPath() is empty when TMPDIR names a missing folder; a relative name would
    // then land in whatever the current folder is.
    const QString folder = QDir::tempPath();
    if (folder.isEmpty())
        throw ado::AdoError(ado::err::PathNotFound, QStringLiteral("Path not found: the temporary folder does not exist"));
    return QDir(folder).filePath(QStringLiteral("Export.csv"));
}

bool CsvExporter::AskStripCrLf(QWidget* parent)
{
    QMessageBox box(QMessageBox::Question, MDabrix::AppTitle,
                    QStringLiteral("Voulez-vous supprimer les caractères CR et LF des champs de données ?"),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void CsvExporter::ExportCsv(QWidget* parent, ado::Recordset& rs, const QString& path)
{
    const bool strip = AskStripCrLf(parent);
    Write(rs, path.isEmpty() ? DefaultPath() : path, strip);
}

QString CsvExporter::EncodeField(const QVariant& value, int adoType, bool stripCrLf, const QLocale& locale)
{
    const bool isNull = !value.isValid() || value.isNull();
    if (MConnections::GetFieldTypeCategory(adoType) != 0 || isNull)
        return RecordsetModel::RegionalText(value, adoType, locale);
    QString text = value.toString();
    if (stripCrLf) {
        text.remove(u'\r');
        text.remove(u'\n');
    }
    text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + text + u'"';
}

void CsvExporter::Write(ado::Recordset& rs, const QString& path, bool stripCrLf)
{
    ExportFile file(path);
    std::unique_ptr<ado::Recordset> clone = rs.Clone();
    const int fields = clone->FieldCount();
    QVector<int> types(fields);
    for (int i = 0; i < fields; ++i) {
        const ado::Field field = clone->Fields(i);
        types[i] = field.Type();
        file.Write(i == 0 ? field.Name() : u';' + field.Name());
    }
    file.EndLine();
    const int rows = clone->RecordCount();
    // The user's regional form, prepared once for every value of the file.
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    QString line;
    for (int row = 0; row < rows; ++row) {
        line.clear();
        for (int i = 0; i < fields; ++i) {
            if (i > 0)
                line += u';';
            line += EncodeField(clone->ValueAt(row, i), types[i], stripCrLf, locale);
        }
        file.Write(line);
        file.EndLine();
    }
    clone->Close();
    file.Commit();
}
