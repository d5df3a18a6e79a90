#include "ado/fileengine/excel/XlsReader.h"

#include "ado/AdoError.h"
#include "ado/fileengine/excel/FreexlWorkbook.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QIODevice>

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ado {

namespace {

// A workbook FreeXL has not read in this time is one it loops on.
constexpr int ReadTimeoutMs = 120000;

// In the child: reads everything and writes the result, or the failure, to the pipe.
[[noreturn]] void ReadInChild(const QString& file, int fd)
{
    // A crash here is the answer, not a crash of the program: no inherited crash report.
    for (const int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        std::signal(sig, SIG_DFL);
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
        } catch (...) {
            // Nothing may unwind into the parent's code running in this copy of it.
            _exit(3);
        }
    }
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            _exit(2);
        p += n;
        left -= n;
    }
    // No destructors or atexit handlers of the parent's objects may run here.
    _exit(0);
}

} // namespace

XlsReader::XlsReader(const QString& file) : m_file(file)
{
    int fds[2];
    if (::pipe(fds) != 0)
        Fail(QStringLiteral("no pipe to the reader process (%1)").arg(qt_error_string(errno)));
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        Fail(QStringLiteral("no reader process (%1)").arg(qt_error_string(errno)));
    }
    if (child == 0) {
        ::close(fds[0]);
        ReadInChild(file, fds[1]);
    }
    ::close(fds[1]);

    QByteArray bytes;
    bool timedOut = false;
    const QDeadlineTimer deadline(ReadTimeoutMs);
    char buffer[65536];
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, int(std::max<qint64>(0, deadline.remainingTime())));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            timedOut = true;
            break;
        }
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    ::close(fds[0]);
    if (timedOut)
        ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut)
        Fail(QStringLiteral("reading it took longer than %1 seconds").arg(ReadTimeoutMs / 1000));
    if (WIFSIGNALED(status))
        Fail(QStringLiteral("it is damaged (the .xls reader stopped on it with signal %1)").arg(WTERMSIG(status)));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Fail(QStringLiteral("the .xls reader ended with status %1").arg(WEXITSTATUS(status)));

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
