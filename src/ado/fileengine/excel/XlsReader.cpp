#include "ado/fileengine/excel/XlsReader.h"

#include "ado/AdoError.h"
#include "ado/fileengine/ChildProcessReader.h"
#include "ado/fileengine/excel/FreexlWorkbook.h"

#include <QDataStream>
#include <QIODevice>

namespace ado {

namespace {

// A workbook FreeXL has not read in this time is one it loops on.
constexpr int ReadTimeoutSeconds = 120;

// In the child: reads everything and writes the result, or the failure.
void ReadWorkbook(const QString& file, QIODevice& answer)
{
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        try {
            const FreexlWorkbook workbook(file);
            const QStringList names = workbook.SheetNames();
            out << true << names;
            for (int i = 0; i < names.size(); ++i)
                out << workbook.ReadSheet(i);
        } catch (const AdoError& e) {
            bytes.clear();
            QDataStream failure(&bytes, QIODevice::WriteOnly);
            failure << false << e.Description();
        }
    }
    answer.write(bytes);
}

} // namespace

XlsReader::XlsReader(const QString& file) : m_file(file)
{
    ChildProcessReader::Limits limits;
    limits.cpuSeconds = ReadTimeoutSeconds;
    limits.timeoutMs = ReadTimeoutSeconds * 1000;
    const ChildProcessReader reader(QStringLiteral("The workbook '%1' cannot be read").arg(file), QStringLiteral(".xls"), limits);
    const QByteArray bytes = reader.Run([&file](QIODevice& answer) { ReadWorkbook(file, answer); });

    QDataStream in(bytes);
    bool ok = false;
    in >> ok;
    if (!ok) {
        QString description;
        in >> description;
        throw AdoError(err::Unspecified, description.isEmpty() ? QStringLiteral("The workbook '%1' cannot be read.").arg(file) : description);
    }
    in >> m_sheetNames;
    for (int i = 0; i < m_sheetNames.size() && in.status() == QDataStream::Ok; ++i) {
        SheetGrid grid;
        in >> grid;
        m_sheets << grid;
    }
    if (in.status() != QDataStream::Ok)
        Fail(QStringLiteral("the .xls reader gave an incomplete answer"));
}

void XlsReader::Fail(const QString& reason) const
{
    throw AdoError(err::Unspecified, QStringLiteral("The workbook '%1' cannot be read: %2.").arg(m_file, reason));
}

} // namespace ado
