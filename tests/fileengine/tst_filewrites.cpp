#include "support/FileBytes.h"
#include "support/ReadRows.h"
#include "support/TestMain.h"

#include "ado/AdoError.h"
#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "ado/fileengine/FileIo.h"
#include "ado/fileengine/FileLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <cstdio>

using testsupport::ReadBytes;
using testsupport::WriteBytes;

using namespace ado;

// Writes to dBase and text tables: a full disk, two programs appending at once and
// transactions must never lose or change a row that was not meant to change.

namespace {

const QString DbfFolder = QStringLiteral("dbf/infused");
// Set in the environment of a copy of this program that only inserts rows.
const char* const InserterVariable = "DABRIX_TEST_INSERTER";

QString ConnectionString(const QString& kind, const QString& folder)
{
    if (kind == u"text")
        return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Extended Properties=\"Text\";").arg(folder);
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Extended Properties = Dbase IV;").arg(folder);
}

// Fills folder with the files of a table: dBase fixtures by name, or a small CSV.
void MakeTable(const QString& folder, const QStringList& files)
{
    for (const QString& file : files) {
        const QString target = QDir(folder).filePath(file);
        if (file.endsWith(u".csv")) {
            WriteBytes(target, "tag,n,note\r\nfirst,0,\"a, b\"\r\n");
            continue;
        }
        QVERIFY(QFile::copy(testsupport::FixturePath(DbfFolder + u'/' + file), target));
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner));
    }
}

QHash<QString, QByteArray> Snapshot(const QString& folder, const QStringList& files)
{
    QHash<QString, QByteArray> bytes;
    for (const QString& file : files)
        bytes.insert(file, ReadBytes(QDir(folder).filePath(file)));
    return bytes;
}

qint64 TotalSize(const QHash<QString, QByteArray>& files)
{
    qint64 size = 0;
    for (const QByteArray& b : files)
        size += b.size();
    return size;
}

QVector<QVector<QVariant>> Rows(Connection& cnx, const QString& sql)
{
    return testsupport::ReadRows(cnx, sql);
}

// Lifts the test limit on writes however the test ends.
struct GrowthLimit {
    explicit GrowthLimit(qint64 bytes) { FileIo::SetGrowthLimitForTesting(bytes); }
    ~GrowthLimit() { FileIo::SetGrowthLimitForTesting(-1); }
};

// The other program: "kind|folder|table|tag|count" inserts count rows tagged tag.
int RunInserter(const QString& job)
{
    const QStringList parts = job.split(u'|');
    if (parts.size() != 5)
        return 2;
    const QString& kind = parts[0];
    const QString& table = parts[2];
    try {
        Connection cnx;
        cnx.Open(ConnectionString(kind, parts[1]));
        for (int i = 0; i < parts[4].toInt(); ++i) {
            const QString sql = kind == u"text"
                ? QStringLiteral("INSERT INTO [%1] (tag, n, note) VALUES ('%2', %3, 'note %2 %3')").arg(table, parts[3]).arg(i)
                : QStringLiteral("INSERT INTO [%1] (CHARACTER, NUMERICAL, MEMO) VALUES ('%2', %3, 'memo %2 %3')").arg(table, parts[3]).arg(i);
            cnx.Execute(sql);
        }
    } catch (const AdoError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.Description()));
        return 1;
    }
    return 0;
}

} // namespace

class TestFileWrites : public QObject {
    Q_OBJECT

private slots:
    void cleanup()
    {
        FileIo::SetGrowthLimitForTesting(-1);
        FileLock::SetWaitForTesting(-1);
    }

    void fullDiskChangesNothing_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("sql");
        QTest::newRow("dBase III insert with a memo")
            << "dbase" << QStringList{"dbase_83.dbf", "dbase_83.dbt"}
            << "INSERT INTO dbase_83 (ID, CODE, NAME, PRICE, [DESC], TAXABLE, ACTIVE) "
               "VALUES (999, 'NEW-1', 'A new product', 12.5, 'Its description', 1, 0)";
        QTest::newRow("dBase IV memo of every record")
            << "dbase" << QStringList{"dbase_8b.dbf", "dbase_8b.dbt"}
            << "UPDATE dbase_8b SET MEMO = 'A memo long enough to need a block of its own', DATE = '2020-01-02'";
        QTest::newRow("FoxPro insert with a memo")
            << "dbase" << QStringList{"dbase_f5.dbf", "dbase_f5.fpt"} << "INSERT INTO dbase_f5 (NOM, OBSE) VALUES ('nou', 'Una nota')";
        QTest::newRow("text insert of two rows")
            << "text" << QStringList{"items.csv"}
            << "INSERT INTO [items.csv] (tag, n, note) SELECT 'x' || tag, n + 1, 'line 1' || char(13, 10) || 'line 2' FROM [items.csv]"
               " UNION ALL SELECT 'y', 2, 'z'";
    }
    void fullDiskChangesNothing()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, files);
        QFETCH(QString, sql);
        // What the statement needs, measured on a disk with room.
        qint64 needed = 0;
        {
            QTemporaryDir dir;
            MakeTable(dir.path(), files);
            const qint64 before = TotalSize(Snapshot(dir.path(), files));
            Connection cnx;
            cnx.Open(ConnectionString(kind, dir.path()));
            cnx.Execute(sql);
            needed = TotalSize(Snapshot(dir.path(), files)) - before;
        }
        QVERIFY(needed > 1);
        QList<qint64> limits = {0, 1, needed - 1};
        for (int step = 1; step < 12; ++step)
            limits << needed * step / 12;
        for (const qint64 limit : limits) {
            QTemporaryDir dir;
            MakeTable(dir.path(), files);
            const QHash<QString, QByteArray> before = Snapshot(dir.path(), files);
            Connection cnx;
            cnx.Open(ConnectionString(kind, dir.path()));
            {
                GrowthLimit full(limit);
                try {
                    cnx.Execute(sql);
                    QFAIL(qPrintable(QStringLiteral("written with room for %1 of %2 bytes").arg(limit).arg(needed)));
                } catch (const AdoError& e) {
                    QVERIFY2(e.Description().contains(u"No space left on device"), qPrintable(e.Description()));
                    QVERIFY2(!e.Description().contains(u"could not"), qPrintable(e.Description()));
                }
            }
            for (const QString& file : files)
                QVERIFY2(ReadBytes(dir.filePath(file)) == before[file],
                         qPrintable(QStringLiteral("%1 changed with room for %2 bytes").arg(file).arg(limit)));
            // The connection goes on as before once there is room again.
            cnx.Execute(sql);
        }
        // Just enough room is enough.
        QTemporaryDir dir;
        MakeTable(dir.path(), files);
        Connection cnx;
        cnx.Open(ConnectionString(kind, dir.path()));
        GrowthLimit full(needed);
        cnx.Execute(sql);
    }

    void twoProgramsKeepEveryRow_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("table");
        QTest::newRow("dBase with a memo") << "dbase" << QStringList{"dbase_8b.dbf", "dbase_8b.dbt"} << "dbase_8b";
        QTest::newRow("text") << "text" << QStringList{"items.csv"} << "items.csv";
    }
    void twoProgramsKeepEveryRow()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, files);
        QFETCH(QString, table);
        constexpr int Count = 150;
        QTemporaryDir dir;
        MakeTable(dir.path(), files);
        Connection cnx;
        cnx.Open(ConnectionString(kind, dir.path()));
        const qsizetype before = Rows(cnx, QStringLiteral("SELECT * FROM [%1]").arg(table)).size();

        std::vector<std::unique_ptr<QProcess>> programs;
        for (const QString& tag : {u"left"_qs, u"right"_qs}) {
            auto program = std::make_unique<QProcess>();
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QString::fromLatin1(InserterVariable), QStringList{kind, dir.path(), table, tag, QString::number(Count)}.join(u'|'));
            program->setProcessEnvironment(env);
            program->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            program->start(QCoreApplication::applicationFilePath(), {});
            programs.push_back(std::move(program));
        }
        // Meanwhile this connection writes too: it must see their rows under its lock.
        for (int i = 0; i < 20; ++i)
            cnx.Execute(kind == u"text" ? QStringLiteral("INSERT INTO [%1] (tag, n) VALUES ('here', %2)").arg(table).arg(i)
                                        : QStringLiteral("INSERT INTO [%1] (CHARACTER, NUMERICAL) VALUES ('here', %2)").arg(table).arg(i));
        for (const auto& program : programs) {
            QVERIFY(program->waitForFinished(240000));
            QCOMPARE(program->exitStatus(), QProcess::NormalExit);
            QCOMPARE(program->exitCode(), 0);
        }

        const QString columns = kind == u"text" ? QStringLiteral("tag, n, note") : QStringLiteral("CHARACTER, NUMERICAL, MEMO");
        const auto rows = Rows(cnx, QStringLiteral("SELECT %1 FROM [%2]").arg(columns, table));
        QCOMPARE(rows.size(), before + 2 * Count + 20);
        QSet<QString> seen;
        for (qsizetype r = before; r < rows.size(); ++r) {
            const QString tag = rows[r][0].toString().trimmed();
            const int n = rows[r][1].toInt();
            seen.insert(tag + u' ' + QString::number(n));
            if (tag != u"here")
                QCOMPARE(rows[r][2].toString(), QStringLiteral("%1 %2 %3").arg(kind == u"text" ? u"note"_qs : u"memo"_qs, tag).arg(n));
        }
        for (const QString& tag : {u"left"_qs, u"right"_qs})
            for (int i = 0; i < Count; ++i)
                QVERIFY2(seen.contains(tag + u' ' + QString::number(i)), qPrintable(tag + u' ' + QString::number(i)));
    }

    void oneConnectionWaitsForAnother()
    {
        QTemporaryDir dir;
        MakeTable(dir.path(), {"dbase_8b.dbf", "dbase_8b.dbt"});
        Connection first;
        first.Open(ConnectionString(u"dbase"_qs, dir.path()));
        Connection second;
        second.Open(ConnectionString(u"dbase"_qs, dir.path()));
        first.Execute(QStringLiteral("INSERT INTO dbase_8b (CHARACTER) VALUES ('first 1')"));
        second.Execute(QStringLiteral("INSERT INTO dbase_8b (CHARACTER) VALUES ('second 1')"));
        first.BeginTrans();
        first.Execute(QStringLiteral("INSERT INTO dbase_8b (CHARACTER) VALUES ('first 2')"));
        FileLock::SetWaitForTesting(200);
        try {
            second.Execute(QStringLiteral("INSERT INTO dbase_8b (CHARACTER) VALUES ('second 2')"));
            QFAIL("written while the other connection held the table");
        } catch (const AdoError& e) {
            QVERIFY2(e.Description().contains(u"'dbase_8b.dbf' is in use by another program"), qPrintable(e.Description()));
        }
        first.CommitTrans();
        second.Execute(QStringLiteral("INSERT INTO dbase_8b (CHARACTER) VALUES ('second 3')"));
        QStringList added;
        for (const auto& row : Rows(second, QStringLiteral("SELECT CHARACTER FROM dbase_8b WHERE rowid > 10")))
            added << row[0].toString().trimmed();
        QCOMPARE(added, (QStringList{"first 1", "second 1", "first 2", "second 3"}));
    }

    void failedStatementChangesNothing_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("inTransaction");
        // Every record changes until the tenth refuses its value.
        const QString tooLong = QString(101, u'x');
        QTest::newRow("text field") << QStringLiteral("UPDATE dbase_8b SET CHARACTER = CASE WHEN rowid = 10 THEN '%1' ELSE 'changed' END").arg(tooLong) << false;
        QTest::newRow("number, memos written before") << "UPDATE dbase_8b SET MEMO = 'new memo', NUMERICAL = CASE WHEN rowid = 10 THEN 1e25 ELSE 1 END" << false;
        QTest::newRow("date") << "UPDATE dbase_8b SET DATE = CASE WHEN rowid = 10 THEN 'not a date' ELSE '2001-02-03' END" << false;
        QTest::newRow("inside a transaction") << QStringLiteral("UPDATE dbase_8b SET MEMO = 'new memo', CHARACTER = CASE WHEN rowid = 10 THEN '%1' ELSE 'changed' END").arg(tooLong) << true;
    }
    void failedStatementChangesNothing()
    {
        QFETCH(QString, sql);
        QFETCH(bool, inTransaction);
        QTemporaryDir dir;
        const QStringList files = {"dbase_8b.dbf", "dbase_8b.dbt"};
        MakeTable(dir.path(), files);
        Connection cnx;
        cnx.Open(ConnectionString(u"dbase"_qs, dir.path()));
        if (inTransaction) {
            cnx.BeginTrans();
            cnx.Execute(QStringLiteral("DELETE FROM dbase_8b WHERE rowid = 1"));
        }
        const QHash<QString, QByteArray> before = Snapshot(dir.path(), files);
        try {
            cnx.Execute(sql);
            QFAIL("the statement was accepted");
        } catch (const AdoError& e) {
            QCOMPARE(e.Number(), -2147467259L);
            QVERIFY2(!e.Description().contains(u"could not"), qPrintable(e.Description()));
        }
        QCOMPARE(Snapshot(dir.path(), files), before);
        if (!inTransaction)
            return;
        // The change before the failed statement is still the transaction's to commit.
        cnx.CommitTrans();
        QCOMPARE(Snapshot(dir.path(), files), before);
        QCOMPARE(Rows(cnx, QStringLiteral("SELECT * FROM dbase_8b")).size(), 9);
    }

    void rollbackPutsTheFilesBack_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<QString>("count"); // a query of one number that the statements change
        QTest::newRow("dBase insert, update, delete")
            << "dbase" << QStringList{"dbase_8b.dbf", "dbase_8b.dbt"}
            << QStringList{"INSERT INTO dbase_8b (CHARACTER, MEMO) VALUES ('added', 'its memo')",
                           "UPDATE dbase_8b SET MEMO = 'changed memo', LOGICAL = 1 WHERE rowid <= 5",
                           "DELETE FROM dbase_8b WHERE rowid IN (2, 11)",
                           "INSERT INTO dbase_8b (CHARACTER) SELECT CHARACTER || '+' FROM dbase_8b"}
            << "SELECT COUNT(*) FROM dbase_8b WHERE MEMO = 'changed memo' OR CHARACTER LIKE '%+'";
        QTest::newRow("Visual FoxPro autoincrement")
            << "dbase" << QStringList{"dbase_31.dbf"}
            << QStringList{"INSERT INTO dbase_31 (PRODUCTNAM) VALUES ('Tea')", "INSERT INTO dbase_31 (PRODUCTNAM) VALUES ('Coffee')"}
            << "SELECT COUNT(*) FROM dbase_31 WHERE PRODUCTID > 77";
        QTest::newRow("text inserts")
            << "text" << QStringList{"items.csv"}
            << QStringList{"INSERT INTO [items.csv] (tag, n) VALUES ('a', 1)", "INSERT INTO [items.csv] (tag, n) SELECT tag, n FROM [items.csv]"}
            << "SELECT COUNT(*) FROM [items.csv]";
    }
    void rollbackPutsTheFilesBack()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, files);
        QFETCH(QStringList, statements);
        QFETCH(QString, count);
        for (const bool commit : {false, true}) {
            QTemporaryDir dir;
            MakeTable(dir.path(), files);
            const QHash<QString, QByteArray> before = Snapshot(dir.path(), files);
            Connection cnx;
            cnx.Open(ConnectionString(kind, dir.path()));
            const int countBefore = Rows(cnx, count).value(0).value(0).toInt();
            cnx.BeginTrans();
            for (const QString& sql : statements)
                cnx.Execute(sql);
            const int countInside = Rows(cnx, count).value(0).value(0).toInt();
            QVERIFY(countInside != countBefore); // the transaction reads its own changes
            if (commit)
                cnx.CommitTrans();
            else
                cnx.RollbackTrans();
            if (commit) {
                QVERIFY(Snapshot(dir.path(), files) != before);
                QCOMPARE(Rows(cnx, count).value(0).value(0).toInt(), countInside);
                Connection other;
                other.Open(ConnectionString(kind, dir.path()));
                QCOMPARE(Rows(other, count).value(0).value(0).toInt(), countInside);
            } else {
                QCOMPARE(Snapshot(dir.path(), files), before);
                QCOMPARE(Rows(cnx, count).value(0).value(0).toInt(), countBefore);
            }
        }
    }

    // A table that cannot undo refuses changes inside a transaction rather than have
    // RollbackTrans report an undo it did not do.
    void tableWithoutUndoRefusesTransactions()
    {
        QTemporaryDir dir;
        QVERIFY(QFile::copy(testsupport::FixturePath(QStringLiteral("paradox/paradoxdriver/db/AREACODE.DB")), dir.filePath(QStringLiteral("AREACODE.DB"))));
        Connection cnx;
        cnx.Open(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Extended Properties = Paradox 5.x;").arg(dir.path()));
        cnx.BeginTrans();
        try {
            cnx.Execute(QStringLiteral("UPDATE AREACODE SET State = 'XX'"));
            QFAIL("changed inside a transaction");
        } catch (const AdoError& e) {
            QCOMPARE(e.Number(), 3251L);
        }
        QCOMPARE(Rows(cnx, QStringLiteral("SELECT COUNT(*) FROM AREACODE")).value(0).value(0).toInt(), 135);
        cnx.RollbackTrans();
    }
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet(InserterVariable)) {
        QCoreApplication app(argc, argv);
        return RunInserter(qEnvironmentVariable(InserterVariable));
    }
    testsupport::PrepareEnvironment();
    QApplication app(argc, argv);
    testsupport::PrepareApplication(app);
    TestFileWrites tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_filewrites.moc"
