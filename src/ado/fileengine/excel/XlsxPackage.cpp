#include "ado/fileengine/excel/XlsxPackage.h"

#include "ado/AdoError.h"

#include <QDir>
#include <QXmlStreamReader>

#include <quazip.h>
#include <quazipfile.h>

namespace ado {

namespace {

// No sane worksheet comes near this; a bigger part is a damaged or hostile zip.
constexpr qint64 MaxPartSize = qint64(1) << 30;

QString RelationshipsPart(const QString& part)
{
    if (part.isEmpty())
        return QStringLiteral("_rels/.rels");
    const qsizetype slash = part.lastIndexOf(u'/');
    return part.left(slash + 1) + QStringLiteral("_rels/") + part.mid(slash + 1) + QStringLiteral(".rels");
}

QString ResolveTarget(const QString& sourcePart, const QString& target)
{
    if (target.startsWith(u'/'))
        return QDir::cleanPath(target.mid(1));
    const qsizetype slash = sourcePart.lastIndexOf(u'/');
    return QDir::cleanPath(sourcePart.left(slash + 1) + target);
}

} // namespace

XlsxPackage::XlsxPackage(const QString& file) : m_file(file), m_zip(std::make_unique<QuaZip>(file))
{
    if (!m_zip->open(QuaZip::mdUnzip))
        Fail(QStringLiteral("it is not a zip package (error %1)").arg(m_zip->getZipError()));
}

XlsxPackage::~XlsxPackage() = default;

void XlsxPackage::Fail(const QString& reason) const
{
    throw AdoError(err::Unspecified, QStringLiteral("The workbook '%1' cannot be read: %2.").arg(m_file, reason));
}

bool XlsxPackage::Has(const QString& part) const
{
    return m_zip->setCurrentFile(part, QuaZip::csInsensitive);
}

QByteArray XlsxPackage::Read(const QString& part) const
{
    if (!m_zip->setCurrentFile(part, QuaZip::csInsensitive))
        Fail(QStringLiteral("the part '%1' is missing").arg(part));
    QuaZipFileInfo64 info;
    if (!m_zip->getCurrentFileInfo(&info))
        Fail(QStringLiteral("the part '%1' has a damaged entry").arg(part));
    if (qint64(info.uncompressedSize) > MaxPartSize)
        Fail(QStringLiteral("the part '%1' is too big (%2 bytes)").arg(part).arg(info.uncompressedSize));
    QuaZipFile entry(m_zip.get());
    if (!entry.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("the part '%1' cannot be opened (zip error %2)").arg(part).arg(entry.getZipError()));
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const qint64 n = entry.read(buffer, sizeof buffer);
        if (n < 0)
            Fail(QStringLiteral("the part '%1' is damaged (zip error %2)").arg(part).arg(entry.getZipError()));
        if (n == 0)
            break;
        if (bytes.size() + n > MaxPartSize)
            Fail(QStringLiteral("the part '%1' is too big").arg(part));
        bytes.append(buffer, n);
    }
    entry.close();
    // Closing checks the CRC, which is how a truncated or altered entry shows.
    if (entry.getZipError() != UNZ_OK)
        Fail(QStringLiteral("the part '%1' is damaged (zip error %2)").arg(part).arg(entry.getZipError()));
    return bytes;
}

QHash<QString, XlsxPackage::Relationship> XlsxPackage::Relationships(const QString& part) const
{
    QHash<QString, Relationship> result;
    const QString relsPart = RelationshipsPart(part);
    if (!Has(relsPart))
        return result;
    QXmlStreamReader xml(Read(relsPart));
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement() || xml.name() != u"Relationship")
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (a.value(QLatin1String("TargetMode")) == u"External")
            continue;
        result.insert(a.value(QLatin1String("Id")).toString(),
                      Relationship{a.value(QLatin1String("Type")).toString(), ResolveTarget(part, a.value(QLatin1String("Target")).toString())});
    }
    if (xml.hasError())
        Fail(QStringLiteral("the part '%1' is not valid XML (%2, line %3)").arg(relsPart, xml.errorString()).arg(xml.lineNumber()));
    return result;
}

QString XlsxPackage::TargetOfType(const QString& part, const QString& typeSuffix) const
{
    for (const Relationship& r : Relationships(part)) {
        if (r.type.endsWith(typeSuffix))
            return r.target;
    }
    return {};
}

} // namespace ado
