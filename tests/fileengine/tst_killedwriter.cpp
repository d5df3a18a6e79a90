#include "support/FileBytes.h"
#include "support/TestMain.h"

#include "ado/AdoError.h"
#include "ado/Connection.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>

#include <csignal>
#include <cstdio>

using testsupport::ReadBytes;

using namespace ado;

// A program writing rows and memos into a dBase table is killed at random moments: each
// time, a reader that is not ours reads every record, the header's count agrees with the
// file's length, and every memo pointer lands inside the memo file; then the next writer
// goes on where the dead one stopped.

namespace {

const char* const WriterVariable = "DABRIX_TEST_KILLED_WRITER";

QString ConnectionString(const QString& folder)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Extended Properties = Dbase IV;").arg(folder);
}

// The writer: inserts and updates rows with memos until it is killed.
int RunWriter(const QString& folder)
{
    try {
        Connection cnx;
        cnx.Open(ConnectionString(folder));
        std::fputs("ready\n", stdout);
        std::fflush(stdout);
        for (int i = 0;; ++i) {
            const QString memo = QString(u"memo %1 "_qs).arg(i).repeated(1 + i % 40);
            if (i % 3 == 2)
                cnx.Execute(QStringLiteral("UPDATE dbase_8b SET MEMO = '%1', NUMERICAL = %2 WHERE rowid = %3")
                                .arg(memo).arg(i % 1000).arg(1 + i % 10));
            else
                cnx.Execute(QStringLiteral("INSERT INTO dbase_8b (CHARACTER, NUMERICAL, MEMO) VALUES ('row %1', %2, '%3')")
                                .arg(i).arg(i % 1000).arg(memo));
        }
    } catch (const AdoError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.Description()));
        return 1;
    }
}

struct MemoField {
    int offset = 0;
    int length = 0;
};

// What is wrong with the table's files, read byte by byte; empty when nothing is.
QString Damage(const QString& dbfPath, const QString& dbtPath)
{
    const QByteArray dbf = ReadBytes(dbfPath);
    const QByteArray dbt = ReadBytes(dbtPath);
    if (dbf.size() < 32)
        return QStringLiteral("the table has no header");
    const auto* h = reinterpret_cast<const uchar*>(dbf.constData());
    const qint64 count = qFromLittleEndian<quint32>(h + 4);
    const int headerLength = qFromLittleEndian<quint16>(h + 8);
    const int recordLength = qFromLittleEndian<quint16>(h + 10);
    const qint64 counted = headerLength + count * recordLength;
    // Whole counted records, then an end mark, or the record an append had not yet counted.
    if (dbf.size() < counted || dbf.size() > counted + recordLength + 1)
        return QStringLiteral("%1 records of %2 bytes after %3 do not fit a file of %4 bytes")
            .arg(count).arg(recordLength).arg(headerLength).arg(dbf.size());

    QList<MemoField> memos;
    int offset = 1;
    for (int at = 32; at + 32 <= headerLength && h[at] != 0x0D; at += 32) {
        const int length = h[at + 16];
        if (h[at + 11] == 'M')
            memos.append({offset, length});
        offset += length;
    }
    const int blockSize = dbt.size() >= 22 && qFromLittleEndian<quint16>(dbt.constData() + 20) != 0
        ? qFromLittleEndian<quint16>(dbt.constData() + 20) : 512;
    for (qint64 r = 0; r < count; ++r) {
        const QByteArray record = dbf.mid(headerLength + r * recordLength, recordLength);
        for (const MemoField& m : memos) {
            const QByteArray pointer = record.mid(m.offset, m.length).trimmed();
            if (pointer.isEmpty())
                continue;
            bool ok = false;
            const qint64 block = pointer.toLongLong(&ok);
            if (!ok || block * blockSize >= dbt.size())
                return QStringLiteral("record %1 points at memo block %2 of a %3-byte memo file")
                    .arg(r + 1).arg(QString::fromLatin1(pointer)).arg(dbt.size());
        }
    }

    // shapelib's reader prints a line of field names, then one line per record.
    QProcess dump;
    dump.start(QStringLiteral("dbfdump"), {dbfPath});
    if (!dump.waitForFinished(30000) || dump.exitCode() != 0)
        return QStringLiteral("dbfdump failed: ") + QString::fromLocal8Bit(dump.readAllStandardError());
    const QByteArray out = dump.readAllStandardOutput();
    const qint64 lines = out.count('\n');
    if (lines != count + 1)
        return QStringLiteral("dbfdump read %1 records of %2 in %3 bytes (its last line: %4; its errors: %5)")
            .arg(lines - 1).arg(count).arg(dbf.size())
            .arg(QString::fromLocal8Bit(out.trimmed().split('\n').last().simplified().left(200)),
                 QString::fromLocal8Bit(dump.readAllStandardError().simplified().left(300)));
    return {};
}

} // namespace

class TestKilledWriter : public QObject {
    Q_OBJECT

private slots:
    void killedWriterLosesAtMostItsStatement();
};

void TestKilledWriter::killedWriterLosesAtMostItsStatement()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbfdump")).isEmpty())
        QSKIP("dbfdump (Debian package shapelib) is not installed");
    QTemporaryDir dir;
    const QString dbf = dir.filePath(QStringLiteral("dbase_8b.dbf"));
    const QString dbt = dir.filePath(QStringLiteral("dbase_8b.dbt"));
    for (const QString& file : {dbf, dbt}) {
        QVERIFY(QFile::copy(testsupport::FixturePath(u"dbf/infused/"_qs + QFileInfo(file).fileName()), file));
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
    }
    const int kills = qEnvironmentVariableIsSet("DABRIX_LONG_TESTS") ? 500 : 50;
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    qint64 lastCount = 10;
    for (int kill = 0; kill < kills; ++kill) {
        const QString where = QStringLiteral("kill %1 (seed %2)").arg(kill + 1).arg(seed);
        QProcess writer;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(WriterVariable), dir.path());
        writer.setProcessEnvironment(env);
        writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        writer.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY2(writer.waitForReadyRead(30000), qPrintable(where + QStringLiteral(": the writer did not start")));
        QThread::usleep(random.bounded(1000, 60000));
        QVERIFY2(writer.state() == QProcess::Running, qPrintable(where + QStringLiteral(": the writer stopped by itself")));
        ::kill(pid_t(writer.processId()), SIGKILL);
        QVERIFY(writer.waitForFinished(30000));
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

        const QString damage = Damage(dbf, dbt);
        QVERIFY2(damage.isEmpty(), qPrintable(where + QStringLiteral(": ") + damage));
        const QByteArray header = ReadBytes(dbf).left(8);
        const qint64 count = qFromLittleEndian<quint32>(header.constData() + 4);
        QVERIFY2(count >= lastCount, qPrintable(where + QStringLiteral(": records were lost")));
        lastCount = count;
    }
    QVERIFY2(lastCount > 10, "no writer stored a row before it was killed");
    // Our own engine reads it all and writes on.
    Connection cnx;
    cnx.Open(ConnectionString(dir.path()));
    cnx.Execute(QStringLiteral("INSERT INTO dbase_8b (CHARACTER, MEMO) VALUES ('after', 'the last memo')"));
    QVERIFY(Damage(dbf, dbt).isEmpty());
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet(WriterVariable)) {
        QCoreApplication app(argc, argv);
        return RunWriter(qEnvironmentVariable(WriterVariable));
    }
    testsupport::PrepareEnvironment();
    QApplication app(argc, argv);
    testsupport::PrepareApplication(app);
    TestKilledWriter tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_killedwriter.moc"
