#include "ado/fileengine/ChildProcessReader.h"

#include "ado/AdoError.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QIODevice>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ado {

namespace {

// Exit statuses of the child besides 0.
constexpr int ExitWriteFailed = 2;
constexpr int ExitException = 3;
constexpr int ExitOutOfMemory = 4;
constexpr int ExitOrphaned = 5;

// How much of the child's error output is kept: enough for its last message.
constexpr qsizetype ErrorTail = 4096;

std::function<void()>& ChildHook()
{
    static std::function<void()> hook;
    return hook;
}

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    ~UniqueFd() { Close(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    void Reset(int fd)
    {
        Close();
        m_fd = fd;
    }

    int Get() const { return m_fd; }
    void Close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

struct Pipe {
    UniqueFd readEnd;
    UniqueFd writeEnd;
};

// The child until it is reaped: killed and waited for on every path out of Run.
class ChildGuard {
public:
    explicit ChildGuard(pid_t pid) : m_pid(pid) {}
    ~ChildGuard()
    {
        if (m_pid > 0) {
            Kill();
            Wait();
        }
    }
    ChildGuard(const ChildGuard&) = delete;
    ChildGuard& operator=(const ChildGuard&) = delete;

    void Kill() const { ::kill(m_pid, SIGKILL); }
    // The wait status, or -1 when the child cannot be waited for (SIGCHLD ignored
    // reaps it unseen); the processor time it used goes to *cpuSeconds.
    int Wait(double* cpuSeconds = nullptr)
    {
        int status = 0;
        rusage usage{};
        int rc;
        while ((rc = ::wait4(m_pid, &status, 0, &usage)) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        if (cpuSeconds)
            *cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
                          + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        return rc < 0 ? -1 : status;
    }

private:
    pid_t m_pid;
};

// The child's end of the answer pipe, buffered so that QDataStream's small writes do
// not each cost a system call.
class PipeWriter : public QIODevice {
public:
    explicit PipeWriter(int fd) : m_fd(fd) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }

    bool isSequential() const override { return true; }
    void Flush()
    {
        const char* p = m_buffer.constData();
        qsizetype left = m_buffer.size();
        while (left > 0) {
            const ssize_t n = ::write(m_fd, p, size_t(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                _exit(ExitWriteFailed);
            p += n;
            left -= n;
        }
        m_buffer.clear();
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        m_buffer.append(data, size);
        if (m_buffer.size() >= 65536)
            Flush();
        return size;
    }

private:
    int m_fd;
    QByteArray m_buffer;
};

bool MakePipe(Pipe* pipe)
{
    int fds[2];
    // Close-on-exec: a program started meanwhile must not hold our pipe open.
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    pipe->readEnd.Reset(fds[0]);
    pipe->writeEnd.Reset(fds[1]);
    return true;
}

qint64 AddressSpaceSize()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readLine().split(' ').value(0).toLongLong() * ::sysconf(_SC_PAGESIZE);
}

qint64 DefaultAnswerLimit()
{
    const qint64 physical = qint64(::sysconf(_SC_PHYS_PAGES)) * ::sysconf(_SC_PAGESIZE);
    return std::max<qint64>(qint64(256) << 20, physical / 8);
}

// Lowers a limit; one already lower stays, as it cannot be raised.
void SetLimit(int resource, rlim_t soft, rlim_t hard)
{
    rlimit limit{};
    ::getrlimit(resource, &limit);
    if (limit.rlim_max != RLIM_INFINITY)
        hard = std::min(hard, limit.rlim_max);
    limit.rlim_cur = std::min(soft, hard);
    limit.rlim_max = hard;
    ::setrlimit(resource, &limit);
}

[[noreturn]] void RunChild(const ChildProcessReader::Work& work, const ChildProcessReader::Limits& limits, qint64 inherited,
                           pid_t parent, Pipe& answerPipe, Pipe& errorPipe)
{
    // A crash here is the answer, not a crash of the program: no inherited crash handler.
    for (const int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGXCPU, SIGPIPE})
        std::signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // A child whose program has died has no one to answer to.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        _exit(ExitOrphaned);
    answerPipe.readEnd.Close();
    errorPipe.readEnd.Close();
    // Libraries report on stderr; the program keeps the last of it to explain a failure.
    if (errorPipe.writeEnd.Get() != STDERR_FILENO) {
        ::dup2(errorPipe.writeEnd.Get(), STDERR_FILENO);
        errorPipe.writeEnd.Close();
    }

    SetLimit(RLIMIT_CORE, 0, 0);
    SetLimit(RLIMIT_CPU, rlim_t(limits.cpuSeconds), rlim_t(limits.cpuSeconds) + 1);
    if (inherited > 0) {
        const rlim_t memory = rlim_t(inherited + limits.memoryBytes);
        SetLimit(RLIMIT_AS, memory, memory);
    }

    try {
        if (ChildHook())
            ChildHook()();
        PipeWriter answer(answerPipe.writeEnd.Get());
        work(answer);
        answer.Flush();
    } catch (const std::bad_alloc&) {
        _exit(ExitOutOfMemory);
    } catch (...) {
        // Nothing may unwind into the program's code running in this copy of it.
        _exit(ExitException);
    }
    // No destructors or atexit handlers of the program's objects may run here.
    _exit(0);
}

// Appends what is ready on fd to *into; false at its end.
bool ReadSome(int fd, QByteArray* into)
{
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n > 0)
            into->append(buffer, n);
        return n > 0;
    }
}

QString MiB(qint64 bytes)
{
    return QString::number(bytes >> 20);
}

} // namespace

ChildProcessReader::ChildProcessReader(QString failure, QString reader, Limits limits)
    : m_failure(std::move(failure)), m_reader(std::move(reader)), m_limits(limits)
{
    if (m_limits.answerBytes <= 0)
        m_limits.answerBytes = DefaultAnswerLimit();
}

void ChildProcessReader::SetChildHook(std::function<void()> hook)
{
    ChildHook() = std::move(hook);
}

void ChildProcessReader::Fail(const QString& reason) const
{
    throw AdoError(err::Unspecified, QStringLiteral("%1: %2.").arg(m_failure, reason));
}

QString ChildProcessReader::Damaged(const QString& what) const
{
    return QStringLiteral("it is damaged (the %1 reader %2)").arg(m_reader, what);
}

QByteArray ChildProcessReader::Run(const Work& work) const
{
    Pipe answerPipe, errorPipe;
    if (!MakePipe(&answerPipe) || !MakePipe(&errorPipe))
        Fail(QStringLiteral("no pipe to the %1 reader (%2)").arg(m_reader, qt_error_string(errno)));
    const qint64 inherited = AddressSpaceSize();
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0)
        Fail(QStringLiteral("no %1 reader process (%2)").arg(m_reader, qt_error_string(errno)));
    if (pid == 0)
        RunChild(work, m_limits, inherited, parent, answerPipe, errorPipe);
    ChildGuard child(pid);
    answerPipe.writeEnd.Close();
    errorPipe.writeEnd.Close();

    QByteArray answer, errors;
    bool timedOut = false, tooLong = false;
    const QDeadlineTimer deadline(m_limits.timeoutMs);
    pollfd fds[2] = {{answerPipe.readEnd.Get(), POLLIN, 0}, {errorPipe.readEnd.Get(), POLLIN, 0}};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        const int ready = ::poll(fds, 2, int(std::max<qint64>(0, deadline.remainingTime())));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            timedOut = true;
            break;
        }
        if (fds[0].revents && !ReadSome(fds[0].fd, &answer))
            fds[0].fd = -1;
        if (fds[1].revents && !ReadSome(fds[1].fd, &errors))
            fds[1].fd = -1;
        if (errors.size() > ErrorTail)
            errors.remove(0, errors.size() - ErrorTail);
        if (answer.size() > m_limits.answerBytes) {
            tooLong = true;
            break;
        }
    }
    answerPipe.readEnd.Close();
    errorPipe.readEnd.Close();
    if (timedOut || tooLong)
        child.Kill();
    double cpu = 0;
    const int status = child.Wait(&cpu);
    if (status < 0)
        Fail(QStringLiteral("the end of the %1 reader is unknown (%2)").arg(m_reader, qt_error_string(errno)));

    if (timedOut)
        Fail(QStringLiteral("reading it took longer than %1 seconds").arg(m_limits.timeoutMs / 1000.0));
    if (tooLong)
        Fail(Damaged(QStringLiteral("answered with more than %1 MiB").arg(MiB(m_limits.answerBytes))));
    const QString outOfMemory = QStringLiteral("needed more than %1 MiB of memory on it").arg(MiB(m_limits.memoryBytes));
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        if (sig == SIGXCPU || (sig == SIGKILL && cpu >= m_limits.cpuSeconds))
            Fail(Damaged(QStringLiteral("used more than %1 seconds of processor time on it").arg(m_limits.cpuSeconds)));
        // glib aborts when an allocation fails; its last words say so.
        if ((sig == SIGABRT || sig == SIGTRAP) && errors.contains("failed to allocate"))
            Fail(Damaged(outOfMemory));
        const char* name = ::sigdescr_np(sig);
        Fail(Damaged(QStringLiteral("stopped on it with signal %1: %2").arg(sig).arg(QString::fromLocal8Bit(name ? name : "unknown"))));
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == ExitOutOfMemory)
        Fail(Damaged(outOfMemory));
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code == 0)
        return answer;
    // A status that is none of ours comes from the library quitting on the file (or from a
    // memory checker catching it reading out of bounds): the file is what it could not take.
    const bool ours = code == ExitWriteFailed || code == ExitException || code == ExitOrphaned;
    const QString ended = QStringLiteral("the %1 reader ended with status %2").arg(m_reader).arg(code);
    Fail(ours || code < 0 ? ended : Damaged(QStringLiteral("ended with status %1").arg(code)));
}

} // namespace ado
