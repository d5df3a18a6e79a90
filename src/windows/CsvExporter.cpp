#include "windows/CsvExporter.h"

#include "ado/AdoError.h"
#include "app/MDabrix.h"
#include "windows/CsvExportJob.h"
#include "windows/CsvFieldFormatter.h"

#include <QDir>
#include <QMessageBox>
#include <QStringEncoder>
#include <langinfo.h>

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
    QString text;
    CsvFieldFormatter(adoType, stripCrLf, locale).Append(text, value);
    return text;
}

void CsvExporter::Write(ado::Recordset& rs, const QString& path, bool stripCrLf)
{
    CsvExportJob job(rs, path, stripCrLf);
    job.Run();
    job.Finish();
}
