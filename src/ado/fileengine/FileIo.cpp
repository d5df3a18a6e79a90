#include "ado/fileengine/FileIo.h"

#include "ado/AdoError.h"

#include <QBuffer>
#include <QFile>
#include <QFileDevice>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace ado {

namespace {

std::atomic<qint64> g_growthLimit{-1};
std::atomic<int> g_writeCalls{0};
std::atomic<int> g_faultAt{0};
std::atomic<FileIo::Fault> g_faultKind{FileIo::Fault::Fail};

// Counts a write-side call; true when it is the one a test wants to fail.
bool FaultHere()
{
    const int call = ++g_writeCalls;
    const int at = g_faultAt.load();
    if (at <= 0 || call != at)
        return false;
    g_faultAt = 0;
    return true;
}

[[noreturn]] void Fail(const QString& what, const QString& name, const QString& why)
{
    throw AdoError(err::Unspecified, QStringLiteral("Cannot %1 the file '%2': %3").arg(what, name, why));
}

[[noreturn]] void FailErrno(const QString& what, const QString& name, int error)
{
    Fail(what, name, QString::fromLocal8Bit(std::strerror(error)));
}

// The descriptor of an open file, or -1 for other devices.
int Descriptor(QIODevice* device)
{
    auto* file = qobject_cast<QFileDevice*>(device);
    return file && file->isOpen() ? file->handle() : -1;
}

qint64 DescriptorSize(int fd, const QString& name)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        FailErrno(QStringLiteral("read"), name, errno);
    return qint64(st.st_size);
}

// How many of length bytes at pos the test limit lets through before the disk is "full".
qint64 AllowedLength(int fd, qint64 pos, qint64 length, const QString& name)
{
    const qint64 limit = g_growthLimit.load();
    if (limit < 0)
        return length;
    const qint64 growth = qMax<qint64>(0, pos + length - DescriptorSize(fd, name));
    if (growth <= limit) {
        g_growthLimit -= growth;
        return length;
    }
    g_growthLimit = 0;
    return qMax<qint64>(0, length - (growth - limit));
}

} // namespace

void FileIo::SetGrowthLimitForTesting(qint64 bytes)
{
    g_growthLimit = bytes < 0 ? -1 : bytes;
}

void FileIo::SetFaultForTesting(int callNumber, Fault kind)
{
    g_writeCalls = 0;
    g_faultKind = kind;
    g_faultAt = callNumber;
}

int FileIo::WriteCallsForTesting()
{
    return g_writeCalls.load();
}

QByteArray FileIo::ReadSomeAt(QIODevice* device, qint64 pos, qint64 length, const QString& name)
{
    const int fd = Descriptor(device);
    if (fd < 0) {
        if (!device->seek(pos))
            Fail(QStringLiteral("read"), name, device->errorString());
        QByteArray bytes = device->read(length);
        if (bytes.isNull() && length > 0 && device->atEnd())
            return {};
        if (bytes.isNull() && length > 0)
            Fail(QStringLiteral("read"), name, device->errorString());
        return bytes;
    }
    QByteArray bytes(qsizetype(qMax<qint64>(0, length)), Qt::Uninitialized);
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, bytes.data() + done, size_t(length - done), off_t(pos + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            FailErrno(QStringLiteral("read"), name, errno);
        if (n == 0)
            break;
        done += n;
    }
    bytes.truncate(qsizetype(done));
    return bytes;
}

QByteArray FileIo::ReadAt(QIODevice* device, qint64 pos, qint64 length, const QString& name)
{
    QByteArray bytes = ReadSomeAt(device, pos, length, name);
    if (bytes.size() != length)
        throw AdoError(err::Unspecified, QStringLiteral("The file '%1' is damaged: it ends before position %2.")
                                             .arg(name).arg(pos + length));
    return bytes;
}

void FileIo::WriteAt(QIODevice* device, qint64 pos, const QByteArray& bytes, const QString& name)
{
    const int fd = Descriptor(device);
    if (fd < 0) {
        if (!device->seek(pos) || device->write(bytes) != bytes.size())
            Fail(QStringLiteral("write"), name, device->errorString());
        return;
    }
    qint64 allowed = AllowedLength(fd, pos, bytes.size(), name);
    bool injected = false;
    if (FaultHere()) {
        injected = true;
        allowed = g_faultKind.load() == Fault::Short ? bytes.size() / 2 : 0;
    }
    qint64 done = 0;
    while (done < bytes.size()) {
        if (done >= allowed)
            FailErrno(QStringLiteral("write"), name, injected ? EIO : ENOSPC);
        const ssize_t n = ::pwrite(fd, bytes.constData() + done, size_t(allowed - done), off_t(pos + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            FailErrno(QStringLiteral("write"), name, errno);
        if (n == 0)
            FailErrno(QStringLiteral("write"), name, ENOSPC);
        done += n;
    }
}

void FileIo::Sync(QIODevice* device, const QString& name)
{
    const int fd = Descriptor(device);
    if (fd >= 0 && FaultHere())
        FailErrno(QStringLiteral("write"), name, EIO);
    if (fd >= 0 && ::fsync(fd) != 0)
        FailErrno(QStringLiteral("write"), name, errno);
}

void FileIo::Resize(QIODevice* device, qint64 size, const QString& name)
{
    if (const int fd = Descriptor(device); fd >= 0) {
        if (FaultHere())
            FailErrno(QStringLiteral("resize"), name, EIO);
        int rc;
        do
            rc = ::ftruncate(fd, off_t(size));
        while (rc != 0 && errno == EINTR);
        if (rc != 0)
            FailErrno(QStringLiteral("resize"), name, errno);
    } else if (auto* buffer = qobject_cast<QBuffer*>(device)) {
        buffer->buffer().resize(size);
    } else if (auto* file = qobject_cast<QFileDevice*>(device); file && !file->resize(size)) {
        Fail(QStringLiteral("resize"), name, file->errorString());
    }
}

void FileIo::Rename(const QString& from, const QString& to, const QString& name)
{
    if (FaultHere())
        FailErrno(QStringLiteral("replace"), name, EIO);
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        FailErrno(QStringLiteral("replace"), name, errno);
}

qint64 FileIo::Size(QIODevice* device)
{
    struct stat st {};
    if (const int fd = Descriptor(device); fd >= 0 && ::fstat(fd, &st) == 0)
        return qint64(st.st_size);
    return device->size();
}

} // namespace ado
