#include "connections/TextSchema.h"

#include "ado/AdoError.h"
#include "app/MDabrix.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

using ado::AdoError;

namespace {

// VB's numbers for file failures.
constexpr long PermissionDenied = 70;
constexpr long PathFileAccessError = 75;

const QString SchemaFileName = QStringLiteral("Schema.ini");
constexpr qint64 CopyChunk = 1 << 20;

QString Format(qint16 delimiter)
{
    switch (delimiter) {
    case 0:
        return QStringLiteral("TabDelimited");
    case 1:
        return QStringLiteral("Delimited(,)");
    case 2:
        return QStringLiteral("Delimited(;)");
    default:
        throw AdoError(5, QStringLiteral("Invalid procedure call or argument: delimiter code %1").arg(delimiter));
    }
}

QByteArray Encode(const QString& text)
{
    QStringEncoder encoder(TextSchema::CodePage);
    if (!encoder.isValid())
        throw AdoError(ado::err::Unspecified,
                       QStringLiteral("The code page %1 is not available").arg(QLatin1StringView(TextSchema::CodePage)));
    return encoder.encode(text);
}

void CheckSourceFolder(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.isDir())
        throw AdoError(ado::err::PathNotFound, QStringLiteral("Path not found: '%1'").arg(folder));
    if (!info.isReadable() || !info.isExecutable())
        throw AdoError(PermissionDenied, QStringLiteral("Permission denied: cannot list '%1'").arg(folder));
}

// The copy is a new file of ours, writable whatever the source's permissions, since the
// connection reads and writes the copy; it replaces an earlier copy only once complete.
void CopyFile(const QString& source, const QString& target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        throw AdoError(in.exists() ? PermissionDenied : ado::err::FileNotFound,
                       QStringLiteral("Cannot copy '%1': %2").arg(source, in.errorString()));
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        throw AdoError(PathFileAccessError, QStringLiteral("Cannot write '%1': %2").arg(target, out.errorString()));
    for (;;) {
        const QByteArray chunk = in.read(CopyChunk);
        if (chunk.isEmpty()) {
            if (in.error() != QFileDevice::NoError)
                throw AdoError(PathFileAccessError, QStringLiteral("Cannot read '%1': %2").arg(source, in.errorString()));
            break;
        }
        if (out.write(chunk) != chunk.size())
            throw AdoError(PathFileAccessError, QStringLiteral("Cannot write '%1': %2").arg(target, out.errorString()));
    }
    if (!out.commit())
        throw AdoError(PathFileAccessError, QStringLiteral("Cannot write '%1': %2").arg(target, out.errorString()));
}

bool SameFile(const QString& a, const QString& b)
{
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

} // namespace

QString TextSchema::Extension(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot < 0 ? QString() : fileName.mid(dot + 1);
}

bool TextSchema::CanDescribe(const QString& fileName)
{
    if (fileName.isEmpty() || fileName.contains(u'\r') || fileName.contains(u'\n'))
        return false;
    QStringEncoder encoder(CodePage);
    const QByteArray bytes = encoder.encode(fileName);
    if (!encoder.isValid() || encoder.hasError())
        return false;
    // Some converters substitute instead of failing; only a faithful round trip counts.
    QStringDecoder decoder(CodePage);
    return decoder.decode(bytes) == fileName && !decoder.hasError();
}

void TextSchema::WriteSchemaSection(const QString& fileName, QIODevice& stream, qint16 delimiter)
{
    const QString section = u'[' + fileName + QStringLiteral("]\r\n")
        + QStringLiteral("ColNameHeader=True\r\n")
        + QStringLiteral("MaxScanRows=0\r\n")
        + QStringLiteral("DecimalSymbol=.\r\n")
        + QStringLiteral("Format=") + Format(delimiter) + QStringLiteral("\r\n");
    const QByteArray bytes = Encode(section);
    if (stream.write(bytes) != bytes.size())
        throw AdoError(PathFileAccessError, QStringLiteral("Cannot write Schema.ini: %1").arg(stream.errorString()));
}

QString TextSchema::PrepareTextFolder(const QString& folder, const QString& ext, qint16 delimiter, bool lIsMain)
{
    if (MDabrix::WorkFolder.isEmpty())
        throw AdoError(ado::err::PathNotFound, QStringLiteral("The work folder has not been created"));
    const QString work = QDir(MDabrix::WorkFolder).filePath(lIsMain ? QStringLiteral("Main") : QStringLiteral("Import"));
    if (!QDir().mkpath(work))
        throw AdoError(PathFileAccessError, QStringLiteral("Cannot create the folder '%1'").arg(work));

    // Checked before "Schema.ini" is emptied, so a bad folder leaves the last description whole.
    CheckSourceFolder(folder);
    Format(delimiter);

    QFile schema(QDir(work).filePath(SchemaFileName));
    if (!schema.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw AdoError(PathFileAccessError, QStringLiteral("Cannot write '%1': %2").arg(schema.fileName(), schema.errorString()));

    const QDir source(folder);
    const QStringList names = source.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        if (Extension(name) != ext)
            continue;
        // The working folder's own description is never replaced by a copy; names the code
        // page cannot hold are left out rather than written garbled.
        if (name.compare(SchemaFileName, Qt::CaseInsensitive) == 0 || !CanDescribe(name))
            continue;
        const QString from = source.filePath(name);
        const QString to = QDir(work).filePath(name);
        if (!SameFile(from, to))
            CopyFile(from, to);
        WriteSchemaSection(name, schema, delimiter);
    }
    if (!schema.flush())
        throw AdoError(PathFileAccessError, QStringLiteral("Cannot write '%1': %2").arg(schema.fileName(), schema.errorString()));
    schema.close();
    return work;
}
