#include "support/FileBytes.h"
#include "support/TestMain.h"

#include "ado/AdoError.h"
#include "ado/Connection.h"
#include "ado/fileengine/FileIo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using testsupport::ReadBytes;
using testsupport::WriteBytes;

using namespace ado;

// Every write, sync and resize of a statement on a dBase or text table made to fail in turn,
// once outright and once part way: each time the statement reports the failure, the files
// hold exactly what they held before it or exactly what a statement that went through
// leaves, and the same statement then succeeds on the same connection.

namespace {

QString ConnectionString(const QString& kind, const QString& folder)
{
    if (kind == u"text")
        return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Extended Properties=\"Text\";").arg(folder);
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Extended Properties = Dbase IV;").arg(folder);
}

bool MakeTable(const QString& folder, const QStringList& files)
{
    for (const QString& file : files) {
        const QString target = QDir(folder).filePath(file);
        if (file.endsWith(u".csv")) {
            WriteBytes(target, "tag,n,note\r\nfirst,0,\"a, b\"\r\nsecond,1,\r\n");
            continue;
        }
        if (!QFile::copy(testsupport::FixturePath(u"dbf/infused/"_qs + file), target)
            || !QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner))
            return false;
    }
    return true;
}

QHash<QString, QByteArray> Snapshot(const QString& folder, const QStringList& files)
{
    QHash<QString, QByteArray> bytes;
    for (const QString& file : files)
        bytes.insert(file, ReadBytes(QDir(folder).filePath(file)));
    return bytes;
}

// Where the files first differ from the expected ones, for the failure message.
QString Difference(const QHash<QString, QByteArray>& now, const QHash<QString, QByteArray>& expected)
{
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        const QByteArray& a = now.value(it.key());
        const QByteArray& b = it.value();
        if (a == b)
            continue;
        qsizetype i = 0;
        while (i < a.size() && i < b.size() && a[i] == b[i])
            ++i;
        return QStringLiteral("%1 differs from byte %2 (sizes %3 and %4)").arg(it.key()).arg(i).arg(a.size()).arg(b.size());
    }
    return QStringLiteral("no difference");
}

// Lifts the fault however the test ends.
struct FaultGone {
    ~FaultGone() { FileIo::SetFaultForTesting(0); }
};

} // namespace

class TestFaultInjection : public QObject {
    Q_OBJECT

private slots:
    void everyFailingCallLeavesBeforeOrAfter_data();
    void everyFailingCallLeavesBeforeOrAfter();
};

void TestFaultInjection::everyFailingCallLeavesBeforeOrAfter_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("sql");
    QTest::newRow("dBase update with memos")
        << "dbase" << QStringList{"dbase_8b.dbf", "dbase_8b.dbt"}
        << "UPDATE dbase_8b SET MEMO = 'A memo long enough to need a block of its own, or two', NUMERICAL = 7 "
           "WHERE NUMERICAL <= 3";
    QTest::newRow("dBase III insert with a memo")
        << "dbase" << QStringList{"dbase_83.dbf", "dbase_83.dbt"}
        << "INSERT INTO dbase_83 (ID, CODE, NAME, PRICE, [DESC], TAXABLE, ACTIVE) "
           "VALUES (999, 'NEW-1', 'A new product', 12.5, 'Its description', 1, 0)";
    QTest::newRow("FoxPro insert with a memo")
        << "dbase" << QStringList{"dbase_f5.dbf", "dbase_f5.fpt"} << "INSERT INTO dbase_f5 (NOM, OBSE) VALUES ('nou', 'Una nota')";
    QTest::newRow("dBase delete") << "dbase" << QStringList{"dbase_8b.dbf", "dbase_8b.dbt"}
                                  << "DELETE FROM dbase_8b WHERE NUMERICAL >= 2";
    QTest::newRow("text insert of two rows")
        << "text" << QStringList{"items.csv"}
        << "INSERT INTO [items.csv] (tag, n, note) SELECT 'x' || tag, n + 1, 'line 1' || char(13, 10) || 'line 2' FROM [items.csv]";
}

void TestFaultInjection::everyFailingCallLeavesBeforeOrAfter()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, files);
    QFETCH(QString, sql);
    FaultGone gone;

    // The statement going through: what it leaves, and how many write-side calls it makes.
    QHash<QString, QByteArray> before;
    QHash<QString, QByteArray> after;
    int calls = 0;
    {
        QTemporaryDir dir;
        QVERIFY(MakeTable(dir.path(), files));
        before = Snapshot(dir.path(), files);
        Connection cnx;
        cnx.Open(ConnectionString(kind, dir.path()));
        FileIo::SetFaultForTesting(0);
        cnx.Execute(sql);
        calls = FileIo::WriteCallsForTesting();
        after = Snapshot(dir.path(), files);
    }
    QVERIFY2(calls > 1, "the statement wrote nothing");
    QVERIFY(before != after);

    for (const FileIo::Fault fault : {FileIo::Fault::Fail, FileIo::Fault::Short}) {
        for (int k = 1; k <= calls; ++k) {
            const QString where = QStringLiteral("call %1 of %2 (%3)").arg(k).arg(calls).arg(fault == FileIo::Fault::Short ? "short" : "fails");
            QTemporaryDir dir;
            QVERIFY(MakeTable(dir.path(), files));
            Connection cnx;
            cnx.Open(ConnectionString(kind, dir.path()));
            FileIo::SetFaultForTesting(k, fault);
            bool failed = false;
            try {
                cnx.Execute(sql);
            } catch (const AdoError& e) {
                failed = true;
                QVERIFY2(e.Description().contains(u"Input/output error"), qPrintable(where + QStringLiteral(": ") + e.Description()));
            }
            QVERIFY2(failed, qPrintable(where + QStringLiteral(": reported as done")));
            const QHash<QString, QByteArray> now = Snapshot(dir.path(), files);
            QVERIFY2(now == before || now == after,
                     qPrintable(where + QStringLiteral(": the files are neither as before nor as after: ") + Difference(now, before)));
            FileIo::SetFaultForTesting(0);
            if (now == before) {
                // Nothing was stored: the same statement goes through now.
                try {
                    cnx.Execute(sql);
                } catch (const AdoError& e) {
                    QFAIL(qPrintable(where + QStringLiteral(": the next statement failed: ") + e.Description()));
                }
                QVERIFY2(Snapshot(dir.path(), files) == after, qPrintable(where + QStringLiteral(": the retry left other bytes")));
            } else {
                try {
                    cnx.Execute(u"SELECT COUNT(*) FROM ["_qs + QFileInfo(files.first()).completeBaseName()
                                + (kind == u"text" ? u".csv]"_qs : u"]"_qs));
                } catch (const AdoError& e) {
                    QFAIL(qPrintable(where + QStringLiteral(": the table cannot be read after: ") + e.Description()));
                }
            }
        }
    }
}

DABRIX_TEST_MAIN(TestFaultInjection)
#include "tst_faultinjection.moc"
