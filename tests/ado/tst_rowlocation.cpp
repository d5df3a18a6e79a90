#include "support/OdbcTestDriver.h"
#include "support/TestMain.h"

#include "support/TestDatabase.h"
#include "ado/AdoError.h"
#include "ado/AdoType.h"
#include "ado/Connection.h"
#include "ado/Recordset.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using ado::AdoError;
using ado::Connection;
using ado::Recordset;

// Edits of a recordset reach exactly the row the user changed, or nothing: by the key or
// row id read behind the user's back, by every value when nothing else tells rows apart.
class TestRowLocation : public QObject {
    Q_OBJECT

private:
    testsupport::TestDatabase m_db;
    QString m_connectionString;
    std::unique_ptr<Connection> m_cnx;
    QTemporaryDir m_dir;

    // Opens a fresh data source of the kind: "sqlite", "postgres", "odbc" (SQLite through
    // the ODBC driver, which has no row id) or "dbase" (a copy of a real dBase table).
    bool connect(const QString& kind)
    {
        const QString name = QStringLiteral("tst_loc_") + QString::fromLatin1(QTest::currentTestFunction()).toLower();
        if (kind == QLatin1String("odbc")) {
            const QString file = m_dir.filePath(name + QStringLiteral(".sqlite"));
            QFile::remove(file);
            m_connectionString = testsupport::OdbcTestDriver::ConnectionString(file);
        } else if (kind == QLatin1String("dbase")) {
            QDir folder(m_dir.filePath(name));
            folder.removeRecursively();
            QDir().mkpath(folder.path());
            const QString target = folder.filePath(QStringLiteral("dbase_31.dbf"));
            if (!QFile::copy(testsupport::FixturePath(QStringLiteral("dbf/infused/dbase_31.dbf")), target))
                return false;
            QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
            m_connectionString = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Extended Properties=Dbase IV;")
                                     .arg(folder.path());
        } else {
            if (!m_db.Create(kind, name)) {
                qWarning("%s", qPrintable(m_db.error));
                return false;
            }
            m_connectionString = m_db.connectionString;
        }
        m_cnx = std::make_unique<Connection>();
        m_cnx->Open(m_connectionString);
        return true;
    }

    std::unique_ptr<Recordset> open(const QString& source, int criteria = 0)
    {
        auto rs = std::make_unique<Recordset>();
        rs->SetCursorLocation(Recordset::adUseClient);
        rs->SetProperty(QStringLiteral("Update Criteria"), criteria);
        rs->SetProperty(QStringLiteral("Update Resync"), 0);
        rs->Open(source, m_cnx.get(), Recordset::adOpenStatic, Recordset::adLockOptimistic);
        return rs;
    }

    // What a second, independent connection reads.
    QVariant readBack(const QString& sql)
    {
        Connection other;
        other.Open(m_connectionString);
        Recordset rs;
        rs.Open(sql, &other);
        return rs.Eof() ? QVariant(QStringLiteral("<no row>")) : rs.Fields(0).Value();
    }

    static void verifyInsufficient(const std::function<void()>& edit)
    {
        try {
            edit();
            QFAIL("a row that cannot be told apart was edited");
        } catch (const AdoError& e) {
            QVERIFY2(e.Description().startsWith(QStringLiteral("Insufficient base table information for updating or refreshing.")),
                     qPrintable(e.Description()));
        }
    }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(testsupport::OdbcTestDriver::Register(&error), qPrintable(error));
        QVERIFY(m_dir.isValid());
    }

    void cleanup()
    {
        m_cnx.reset();
    }

    void editsReachTheRowShownWhenTheKeyIsNotSelected_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("keyed");
        QTest::newRow("sqlite key") << "sqlite" << true;
        QTest::newRow("sqlite rowid") << "sqlite" << false;
        QTest::newRow("postgres key") << "postgres" << true;
        QTest::newRow("postgres ctid") << "postgres" << false;
    }
    void editsReachTheRowShownWhenTheKeyIsNotSelected()
    {
        QFETCH(QString, kind);
        QFETCH(bool, keyed);
        QVERIFY(connect(kind));
        m_cnx->Execute(QStringLiteral("CREATE TABLE emp (id INTEGER%1, dept VARCHAR(10), grade INTEGER, salary INTEGER)")
                           .arg(keyed ? QStringLiteral(" PRIMARY KEY") : QString()));
        // Rows 1 and 2 hold the same visible values: only the key tells them apart.
        m_cnx->Execute(QStringLiteral("INSERT INTO emp VALUES (1, 'A', 3, 100)"));
        m_cnx->Execute(QStringLiteral("INSERT INTO emp VALUES (2, 'A', 3, 100)"));
        m_cnx->Execute(QStringLiteral("INSERT INTO emp VALUES (3, 'B', 1, 50)"));
        auto rs = open(QStringLiteral("SELECT dept, grade, salary FROM emp WHERE id >= 2 ORDER BY id"));

        // What was read to find the rows is nowhere to be seen.
        QCOMPARE(rs->FieldCount(), 3);
        QCOMPARE(rs->Columns().size(), 3);
        QVERIFY_THROWS_EXCEPTION(AdoError, rs->Fields(3));
        QVERIFY_THROWS_EXCEPTION(AdoError, rs->Fields(QStringLiteral("id")));
        QVERIFY(!rs->ValueAt(0, 3).isValid());
        auto clone = rs->Clone();
        QCOMPARE(clone->FieldCount(), 3);
        QVERIFY(rs->IsUpdatable());

        rs->Fields(QStringLiteral("salary")).SetValue(200);
        rs->Update();
        QCOMPARE(readBack(QStringLiteral("SELECT salary FROM emp WHERE id = 2")).toInt(), 200);
        QCOMPARE(readBack(QStringLiteral("SELECT salary FROM emp WHERE id = 1")).toInt(), 100);
        // A second edit of the same row finds it again (a PostgreSQL row moves when updated).
        rs->Fields(QStringLiteral("grade")).SetValue(4);
        rs->Update();
        QCOMPARE(readBack(QStringLiteral("SELECT grade FROM emp WHERE id = 2")).toInt(), 4);
        QCOMPARE(readBack(QStringLiteral("SELECT grade FROM emp WHERE id = 1")).toInt(), 3);

        rs->Delete();
        QCOMPARE(readBack(QStringLiteral("SELECT COUNT(*) FROM emp WHERE id = 2")).toInt(), 0);
        QCOMPARE(readBack(QStringLiteral("SELECT COUNT(*) FROM emp")).toInt(), 2);

        // Through an alias of the table, after a sort of the shown columns.
        auto aliased = open(QStringLiteral("SELECT e.salary FROM emp AS e ORDER BY e.id"));
        aliased->SetSort(QStringLiteral("salary ASC"));
        QCOMPARE(aliased->Fields(0).Value().toInt(), 50);
        aliased->Fields(0).SetValue(75);
        aliased->Update();
        QCOMPARE(readBack(QStringLiteral("SELECT salary FROM emp WHERE id = 3")).toInt(), 75);
        QCOMPARE(readBack(QStringLiteral("SELECT salary FROM emp WHERE id = 1")).toInt(), 100);
    }

    void dbaseRecordsAreFoundByTheirNumber()
    {
        QVERIFY(connect(QStringLiteral("dbase")));
        m_cnx->Execute(QStringLiteral("INSERT INTO dbase_31 (PRODUCTNAM, UNITPRICE) VALUES ('Twin', 1)"));
        m_cnx->Execute(QStringLiteral("INSERT INTO dbase_31 (PRODUCTNAM, UNITPRICE) VALUES ('Twin', 1)"));
        const int second = readBack(QStringLiteral("SELECT MAX(PRODUCTID) FROM dbase_31")).toInt();
        auto rs = open(QStringLiteral("SELECT PRODUCTNAM, UNITPRICE FROM dbase_31 WHERE PRODUCTID = %1").arg(second));
        QCOMPARE(rs->FieldCount(), 2);
        QCOMPARE(rs->RecordCount(), 1);
        rs->Fields(QStringLiteral("UNITPRICE")).SetValue(5);
        rs->Update();
        QCOMPARE(readBack(QStringLiteral("SELECT UNITPRICE FROM dbase_31 WHERE PRODUCTID = %1").arg(second)).toInt(), 5);
        QCOMPARE(readBack(QStringLiteral("SELECT UNITPRICE FROM dbase_31 WHERE PRODUCTID = %1").arg(second - 1)).toInt(), 1);
        rs->Delete();
        QCOMPARE(readBack(QStringLiteral("SELECT COUNT(*) FROM dbase_31 WHERE PRODUCTNAM = 'Twin'")).toInt(), 1);
    }

    void rowsThatCannotBeToldApartAreNeverGuessed_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("source");
        QTest::newRow("odbc, some columns") << "odbc" << "SELECT n FROM twins";
        QTest::newRow("sqlite view, some columns") << "sqlite" << "SELECT n FROM twins_view";
        QTest::newRow("postgres view, some columns") << "postgres" << "SELECT n FROM twins_view";
    }
    void rowsThatCannotBeToldApartAreNeverGuessed()
    {
        QFETCH(QString, kind);
        QFETCH(QString, source);
        QVERIFY(connect(kind));
        m_cnx->Execute(QStringLiteral("CREATE TABLE twins (name VARCHAR(10), n INTEGER)"));
        m_cnx->Execute(QStringLiteral("INSERT INTO twins VALUES ('x', 1)"));
        m_cnx->Execute(QStringLiteral("INSERT INTO twins VALUES ('y', 1)"));
        m_cnx->Execute(QStringLiteral("CREATE VIEW twins_view AS SELECT name, n FROM twins"));
        auto rs = open(source);
        QCOMPARE(rs->RecordCount(), 2);
        QCOMPARE(rs->FieldCount(), 1);
        QVERIFY(!rs->IsUpdatable());
        verifyInsufficient([&] { rs->Fields(0).SetValue(5); });
        verifyInsufficient([&] { rs->Delete(); });
        QCOMPARE(readBack(QStringLiteral("SELECT COUNT(*) FROM twins WHERE n = 1")).toInt(), 2);
        // Opening the view did not spoil a transaction in progress.
        m_cnx->BeginTrans();
        auto inside = open(source);
        QCOMPARE(m_cnx->Execute(QStringLiteral("UPDATE twins SET n = 2 WHERE name = 'x'")), qint64(1));
        m_cnx->CommitTrans();
        QCOMPARE(readBack(QStringLiteral("SELECT COUNT(*) FROM twins WHERE n = 2")).toInt(), 1);
    }

    void everyColumnTellsRowsApartWithoutRowIds()
    {
        QVERIFY(connect(QStringLiteral("odbc")));
        m_cnx->Execute(QStringLiteral("CREATE TABLE pairs (name VARCHAR(10), n INTEGER)"));
        m_cnx->Execute(QStringLiteral("INSERT INTO pairs VALUES ('x', 1)"));
        m_cnx->Execute(QStringLiteral("INSERT INTO pairs VALUES ('y', 1)"));
        auto rs = open(QStringLiteral("SELECT name, n FROM pairs ORDER BY name"));
        QVERIFY(rs->IsUpdatable());
        rs->MoveLast();
        rs->Fields(QStringLiteral("n")).SetValue(9);
        rs->Update();
        QCOMPARE(readBack(QStringLiteral("SELECT n FROM pairs WHERE name = 'y'")).toInt(), 9);
        QCOMPARE(readBack(QStringLiteral("SELECT n FROM pairs WHERE name = 'x'")).toInt(), 1);
    }

    void storedFormsStillFindTheRow_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("criteria");
        QTest::newRow("sqlite by rowid") << "sqlite" << 0;
        QTest::newRow("sqlite, every value checked") << "sqlite" << 1;
        QTest::newRow("postgres by ctid") << "postgres" << 0;
        QTest::newRow("postgres, every value checked") << "postgres" << 1;
    }
    void storedFormsStillFindTheRow()
    {
        QFETCH(QString, kind);
        QFETCH(int, criteria);
        QVERIFY(connect(kind));
        QString original;
        if (kind == QLatin1String("postgres")) {
            m_cnx->Execute(QStringLiteral("CREATE TABLE k (stamp TIMESTAMP, doc JSON, flag BOOLEAN, note TEXT)"));
            m_cnx->Execute(QStringLiteral("INSERT INTO k VALUES ('2020-01-02 10:30:00.123456', '{\"a\":  [1, 2]}', true, 'x')"));
            original = QStringLiteral("2020-01-02 10:30:00.123456");
        } else {
            // Dates as ISO text, one before the year 1000, and one that is not.
            m_cnx->Execute(QStringLiteral("CREATE TABLE k (stamp DATETIME, doc DATETIME, flag BOOLEAN, flag2 BOOLEAN, note TEXT, "
                                          "day DATE, early DATE, loose DATE)"));
            m_cnx->Execute(QStringLiteral("INSERT INTO k VALUES ('2020-01-02T10:30:00', '2020-01-02 10:30', 'true', '1', 'x', "
                                          "'2020-01-02', '0999-12-31', '2020-1-2')"));
            original = QStringLiteral("2020-01-02T10:30:00");
        }
        auto rs = open(QStringLiteral("SELECT * FROM k"), criteria);
        rs->Fields(QStringLiteral("note")).SetValue(QStringLiteral("y"));
        rs->Update();
        QCOMPARE(readBack(QStringLiteral("SELECT note FROM k")).toString(), QStringLiteral("y"));
        rs->Fields(QStringLiteral("note")).SetValue(QStringLiteral("z"));
        rs->Update();
        QCOMPARE(readBack(QStringLiteral("SELECT note FROM k")).toString(), QStringLiteral("z"));
        // The other values stay as they were stored.
        QCOMPARE(readBack(QStringLiteral("SELECT CAST(stamp AS TEXT) FROM k")).toString(), original);
        if (kind == QLatin1String("sqlite")) {
            QCOMPARE(rs->Fields(QStringLiteral("early")).Value(), QVariant(QDate(999, 12, 31)));
            QCOMPARE(readBack(QStringLiteral("SELECT day || early || loose FROM k")).toString(),
                     QStringLiteral("2020-01-020999-12-312020-1-2"));
        }
        rs->Delete();
        QCOMPARE(readBack(QStringLiteral("SELECT COUNT(*) FROM k")).toInt(), 0);
    }

    void exactDecimalsKeepEveryDigit()
    {
        QVERIFY(connect(QStringLiteral("postgres")));
        m_cnx->Execute(QStringLiteral("CREATE TABLE money (id SERIAL PRIMARY KEY, amount NUMERIC(22,2))"));
        for (const char* v : {"123456789012345678.92", "123456789012345678.91", "10.5", "9.25", "100", "-3"})
            m_cnx->Execute(QStringLiteral("INSERT INTO money (amount) VALUES (%1)").arg(QLatin1String(v)));
        auto rs = open(QStringLiteral("SELECT amount FROM money ORDER BY id"));
        QCOMPARE(rs->Fields(0).Type(), int(ado::AdoType::Numeric));
        QCOMPARE(rs->Fields(0).Value().toString(), QStringLiteral("123456789012345678.92"));

        rs->SetSort(QStringLiteral("amount ASC"));
        QStringList sorted;
        for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext())
            sorted << rs->Fields(0).Value().toString();
        QCOMPARE(sorted, QStringList({"-3.00", "9.25", "10.50", "100.00", "123456789012345678.91", "123456789012345678.92"}));

        rs->MoveLast();
        rs->Fields(0).SetValue(QStringLiteral("123456789012345678.99"));
        rs->Update();
        QCOMPARE(readBack(QStringLiteral("SELECT CAST(amount AS TEXT) FROM money WHERE id = 1")).toString(),
                 QStringLiteral("123456789012345678.99"));
        QVERIFY_THROWS_EXCEPTION(AdoError, rs->Fields(0).SetValue(QStringLiteral("12abc")));
    }

    void insertShowsWhatTheDatabaseStored_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("keyed");
        QTest::addColumn<QString>("source");
        QTest::newRow("sqlite, key shown") << "sqlite" << true << "SELECT * FROM ins";
        QTest::newRow("sqlite, key hidden") << "sqlite" << true << "SELECT a, b, status FROM ins";
        QTest::newRow("sqlite, no key") << "sqlite" << false << "SELECT a, b, status FROM ins";
        QTest::newRow("postgres, key shown") << "postgres" << true << "SELECT * FROM ins";
        QTest::newRow("postgres, key hidden") << "postgres" << true << "SELECT a, b, status FROM ins";
        QTest::newRow("postgres, no key") << "postgres" << false << "SELECT a, b, status FROM ins";
    }
    void insertShowsWhatTheDatabaseStored()
    {
        QFETCH(QString, kind);
        QFETCH(bool, keyed);
        QFETCH(QString, source);
        QVERIFY(connect(kind));
        const bool postgres = kind == QLatin1String("postgres");
        const QString id = !keyed ? QStringLiteral("INTEGER") : postgres ? QStringLiteral("SERIAL PRIMARY KEY") : QStringLiteral("INTEGER PRIMARY KEY");
        // Two NOT NULL columns set one after the other: only one INSERT with both can pass.
        m_cnx->Execute(QStringLiteral("CREATE TABLE ins (id %1, a INTEGER NOT NULL, b VARCHAR(10) NOT NULL, "
                                      "status VARCHAR(10) DEFAULT 'new')")
                           .arg(id));
        m_cnx->Execute(QStringLiteral("INSERT INTO ins (a, b) VALUES (0, 'first')"));
        auto rs = open(source);
        rs->AddNew();
        rs->Fields(QStringLiteral("a")).SetValue(1);
        rs->Fields(QStringLiteral("b")).SetValue(QStringLiteral("x"));
        rs->Update();
        QCOMPARE(rs->Fields(QStringLiteral("status")).Value().toString(), QStringLiteral("new"));
        QCOMPARE(readBack(QStringLiteral("SELECT COUNT(*) FROM ins")).toInt(), 2);
        // The new row can be edited at once: it was read back with what finds it.
        rs->Fields(QStringLiteral("b")).SetValue(QStringLiteral("y"));
        rs->Update();
        QCOMPARE(readBack(QStringLiteral("SELECT b FROM ins WHERE a = 1")).toString(), QStringLiteral("y"));
        QCOMPARE(readBack(QStringLiteral("SELECT b FROM ins WHERE a = 0")).toString(), QStringLiteral("first"));
    }

    void dbaseInsertShowsItsAutoincrement()
    {
        QVERIFY(connect(QStringLiteral("dbase")));
        auto rs = open(QStringLiteral("SELECT PRODUCTID, PRODUCTNAM FROM dbase_31"));
        const int before = rs->RecordCount();
        rs->AddNew();
        rs->Fields(QStringLiteral("PRODUCTNAM")).SetValue(QStringLiteral("Tea"));
        rs->Update();
        const QVariant id = rs->Fields(QStringLiteral("PRODUCTID")).Value();
        QVERIFY(id.isValid());
        QCOMPARE(id.toInt(), readBack(QStringLiteral("SELECT MAX(PRODUCTID) FROM dbase_31")).toInt());
        QCOMPARE(readBack(QStringLiteral("SELECT COUNT(*) FROM dbase_31")).toInt(), before + 1);
        rs->Fields(QStringLiteral("PRODUCTNAM")).SetValue(QStringLiteral("Green tea"));
        rs->Update();
        QCOMPARE(readBack(QStringLiteral("SELECT PRODUCTNAM FROM dbase_31 WHERE PRODUCTID = %1").arg(id.toInt())).toString().trimmed(),
                 QStringLiteral("Green tea"));
    }
};

DABRIX_TEST_MAIN(TestRowLocation)
#include "tst_rowlocation.moc"
