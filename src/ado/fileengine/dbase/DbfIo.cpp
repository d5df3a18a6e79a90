#include "ado/fileengine/dbase/DbfIo.h"

#include "ado/AdoError.h"

#include <QBuffer>
#include <QFileDevice>

#include <unistd.h>

namespace ado {

namespace {

[[noreturn]] void Fail(const QString& what, const QString& name, QIODevice* device)
{
    throw AdoError(err::Unspecified, QStringLiteral("Cannot %1 the file '%2': %3").arg(what, name, device->errorString()));
}

} // namespace

QByteArray DbfIo::ReadSomeAt(QIODevice* device, qint64 pos, qint64 length, const QString& name)
{
    if (!device->seek(pos))
        Fail(QStringLiteral("read"), name, device);
    QByteArray bytes = device->read(length);
    if (bytes.isNull() && length > 0 && device->atEnd())
        return {};
    if (bytes.isNull() && length > 0)
        Fail(QStringLiteral("read"), name, device);
    return bytes;
}

QByteArray DbfIo::ReadAt(QIODevice* device, qint64 pos, qint64 length, const QString& name)
{
    QByteArray bytes = ReadSomeAt(device, pos, length, name);
    if (bytes.size() != length)
        throw AdoError(err::Unspecified, QStringLiteral("The file '%1' is damaged: it ends before position %2.")
                                             .arg(name).arg(pos + length));
    return bytes;
}

void DbfIo::WriteAt(QIODevice* device, qint64 pos, const QByteArray& bytes, const QString& name)
{
    if (!device->seek(pos) || device->write(bytes) != bytes.size())
        Fail(QStringLiteral("write"), name, device);
}

void DbfIo::Sync(QIODevice* device, const QString& name)
{
    auto* file = qobject_cast<QFileDevice*>(device);
    if (!file)
        return;
    if (!file->flush() || ::fsync(file->handle()) != 0)
        Fail(QStringLiteral("write"), name, device);
}

void DbfIo::Resize(QIODevice* device, qint64 size, const QString& name)
{
    if (auto* file = qobject_cast<QFileDevice*>(device)) {
        if (!file->resize(size))
            Fail(QStringLiteral("resize"), name, device);
    } else if (auto* buffer = qobject_cast<QBuffer*>(device)) {
        buffer->buffer().resize(size);
    }
}

qint64 DbfIo::Size(QIODevice* device)
{
    return device->size();
}

} // namespace ado
