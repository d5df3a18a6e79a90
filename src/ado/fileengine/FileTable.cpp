#include "ado/fileengine/FileTable.h"

#include "ado/AdoError.h"

namespace ado {

QString FileTable::ReadOnlyReason() const
{
    return QStringLiteral("Cannot update. Database or object is read-only.");
}

qint64 FileTable::Insert(const QVector<QVariant>&)
{
    throw AdoError(err::Unspecified, ReadOnlyReason());
}

void FileTable::Update(qint64, const QVector<QVariant>&)
{
    throw AdoError(err::Unspecified, ReadOnlyReason());
}

void FileTable::Delete(qint64)
{
    throw AdoError(err::Unspecified, ReadOnlyReason());
}

} // namespace ado
