#include "ado/fileengine/FileLock.h"

#include "ado/AdoError.h"

#include <QDeadlineTimer>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>

namespace ado {

namespace {

constexpr int DefaultWaitMs = 5000;
std::atomic<int> g_waitMs{DefaultWaitMs};

#ifdef F_OFD_SETLK
constexpr int SetLock = F_OFD_SETLK;
#else
constexpr int SetLock = F_SETLK;
#endif

int Lock(int fd, short type)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0; // to the end of the file, however far it grows
    int rc;
    do
        rc = ::fcntl(fd, SetLock, &lock);
    while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : errno;
}

} // namespace

void FileLock::SetWaitForTesting(int milliseconds)
{
    g_waitMs = milliseconds < 0 ? DefaultWaitMs : milliseconds;
}

FileLock::FileLock(int fd, const QString& table) : m_fd(fd)
{
    const QDeadlineTimer deadline(g_waitMs.load());
    for (;;) {
        const int error = Lock(m_fd, F_WRLCK);
        if (error == 0) {
            m_held = true;
            return;
        }
        // Network and special file systems may not lock at all: write as before.
        if (error == ENOLCK || error == EINVAL || error == EOPNOTSUPP || error == EBADF)
            return;
        if (error != EAGAIN && error != EACCES)
            throw AdoError(err::Unspecified, QStringLiteral("Cannot lock the table '%1': %2")
                                                 .arg(table, QString::fromLocal8Bit(std::strerror(error))));
        if (deadline.hasExpired())
            throw AdoError(err::Unspecified, QStringLiteral("The table '%1' is in use by another program. "
                                                            "Try again when it has finished.")
                                                 .arg(table));
        QThread::msleep(20);
    }
}

FileLock::~FileLock()
{
    if (m_held)
        Lock(m_fd, F_UNLCK);
}

} // namespace ado
