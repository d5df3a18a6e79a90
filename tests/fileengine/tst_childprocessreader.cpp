#include "support/TestMain.h"

#include "ado/AdoError.h"
#include "ado/fileengine/ChildProcessReader.h"

#include <QElapsedTimer>
#include <QIODevice>

#include <glib.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

using namespace ado;

namespace {

// Bytes no two offsets of which are alike over a short stretch, so a lost or repeated
// block shows.
QByteArray Pattern(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xff);
    return bytes;
}

ChildProcessReader::Work WorkNamed(const QString& name)
{
    if (name == u"answer")
        return [](QIODevice& out) { out.write(Pattern(3 << 20)); };
    if (name == u"answer and chatter")
        return [](QIODevice& out) {
            // More than a pipe holds on each: the program must drain both as they come.
            const QByteArray chatter(1 << 20, 'w');
            for (int i = 0; i < 4; ++i) {
                (void)!::write(STDERR_FILENO, chatter.constData(), size_t(chatter.size()));
                out.write(Pattern(3 << 20).mid(qsizetype(i) * (768 << 10), 768 << 10));
            }
        };
    if (name == u"allocate within the limit")
        return [](QIODevice& out) {
            // Blocks past what malloc keeps in reserve, left untouched to cost no memory.
            QList<QByteArray> blocks;
            for (int i = 0; i < 4; ++i)
                blocks.append(QByteArray(100 << 20, Qt::Uninitialized));
            out.write("aa");
        };
    if (name == u"segmentation fault")
        return [](QIODevice&) { ::raise(SIGSEGV); };
    if (name == u"library quits")
        return [](QIODevice&) { _exit(1); };
    if (name == u"exception")
        return [](QIODevice&) { throw std::runtime_error("escapes the work"); };
    if (name == u"operator new")
        return [](QIODevice& out) {
            QList<QByteArray> blocks;
            for (;;)
                blocks.append(QByteArray(16 << 20, 'x'));
            out.write(blocks.first());
        };
    if (name == u"glib")
        return [](QIODevice& out) {
            void* p = g_malloc(gsize(1) << 40);
            out.write(static_cast<const char*>(p), 1);
        };
    if (name == u"spin")
        return [](QIODevice&) {
            volatile bool stop = false;
            while (!stop) {
            }
        };
    if (name == u"sleep")
        return [](QIODevice&) { ::sleep(60); };
    if (name == u"endless answer")
        return [](QIODevice& out) {
            const QByteArray block(1 << 16, 'e');
            for (;;)
                out.write(block);
        };
    return {};
}

} // namespace

class TestChildProcessReader : public QObject {
    Q_OBJECT

private slots:
    void outcomes_data()
    {
        QTest::addColumn<QString>("work");
        QTest::addColumn<int>("memoryMiB");
        QTest::addColumn<int>("cpuSeconds");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<int>("answerMiB");
        QTest::addColumn<QString>("expected"); // the reason, or the answer's last bytes
        QTest::newRow("answer and chatter") << "answer and chatter" << 256 << 10 << 30000 << 0 << "";
        QTest::newRow("memory beyond the inherited") << "allocate within the limit" << 512 << 10 << 30000 << 0 << "aa";
        QTest::newRow("crash") << "segmentation fault" << 256 << 10 << 30000 << 0
                               << "it is damaged (the test reader stopped on it with signal 11: Segmentation fault)";
        QTest::newRow("exception") << "exception" << 256 << 10 << 30000 << 0 << "the test reader ended with status 3";
        QTest::newRow("library quits") << "library quits" << 256 << 10 << 30000 << 0
                                       << "it is damaged (the test reader ended with status 1)";
        QTest::newRow("memory, C++") << "operator new" << 64 << 10 << 30000 << 0
                                     << "it is damaged (the test reader needed more than 64 MiB of memory on it)";
        QTest::newRow("memory, glib") << "glib" << 64 << 10 << 30000 << 0
                                      << "it is damaged (the test reader needed more than 64 MiB of memory on it)";
        QTest::newRow("processor time") << "spin" << 256 << 1 << 30000 << 0
                                        << "it is damaged (the test reader used more than 1 seconds of processor time on it)";
        QTest::newRow("wall-clock time") << "sleep" << 256 << 10 << 300 << 0 << "reading it took longer than 0.3 seconds";
        QTest::newRow("answer too long") << "endless answer" << 256 << 10 << 30000 << 1
                                         << "it is damaged (the test reader answered with more than 1 MiB)";
    }

    void outcomes()
    {
        QFETCH(QString, work);
        QFETCH(int, memoryMiB);
        QFETCH(int, cpuSeconds);
        QFETCH(int, timeoutMs);
        QFETCH(int, answerMiB);
        QFETCH(QString, expected);
        ChildProcessReader::Limits limits;
        limits.memoryBytes = qint64(memoryMiB) << 20;
        limits.cpuSeconds = cpuSeconds;
        limits.timeoutMs = timeoutMs;
        limits.answerBytes = qint64(answerMiB) << 20;
        const ChildProcessReader reader(QStringLiteral("The file 'x' cannot be read"), QStringLiteral("test"), limits);

        QElapsedTimer clock;
        clock.start();
        QString failure;
        QByteArray answer;
        try {
            answer = reader.Run(WorkNamed(work));
        } catch (const AdoError& e) {
            failure = e.Description();
        }
        const bool fails = expected.startsWith(u"it ") || expected.startsWith(u"the ") || expected.startsWith(u"reading ");
        if (fails) {
            QCOMPARE(failure, QStringLiteral("The file 'x' cannot be read: %1.").arg(expected));
        } else {
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            if (expected.isEmpty())
                QVERIFY(answer == Pattern(3 << 20));
            else
                QCOMPARE(QString::fromLatin1(answer), expected);
        }
        // A child stopped for a limit is stopped at once, and none is left behind.
        QVERIFY(clock.elapsed() < timeoutMs + 10000);
        errno = 0;
        QCOMPARE(::waitpid(-1, nullptr, WNOHANG), -1);
        QCOMPARE(errno, ECHILD);
    }

    // With SIGCHLD ignored the kernel reaps the child unseen: how it ended is not known,
    // so its answer is not trusted.
    void endNotKnown()
    {
        const auto previous = std::signal(SIGCHLD, SIG_IGN);
        const ChildProcessReader reader(QStringLiteral("The file 'x' cannot be read"), QStringLiteral("test"), {});
        QString failure;
        try {
            reader.Run(WorkNamed(QStringLiteral("answer")));
        } catch (const AdoError& e) {
            failure = e.Description();
        }
        std::signal(SIGCHLD, previous);
        QVERIFY2(failure.startsWith(QStringLiteral("The file 'x' cannot be read: the end of the test reader is unknown")), qPrintable(failure));
    }
};

DABRIX_TEST_MAIN(TestChildProcessReader)
#include "tst_childprocessreader.moc"
