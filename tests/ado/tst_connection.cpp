#include "support/OdbcTestDriver.h"
#include "support/TestMain.h"

#include "support/TestDatabase.h"
#include "ado/AdoError.h"
#include "ado/Backend.h"
#include "ado/Catalog.h"
#include "ado/Connection.h"
#include "ado/ConnectionString.h"
#include "ado/ProviderRegistry.h"
#include "ado/Recordset.h"
#include "ado/providers/SqliteBackend.h"

#include <QDir>
#include <QFile>

using namespace ado;

namespace {

// A stand-in for a provider that only exists elsewhere: SQLite underneath, its own name
// and a Jet-like engine type property.
class StandInBackend : public SqliteBackend {
public:
    StandInBackend(const ConnectionString& cs, QString name, QVariant engineType)
        : SqliteBackend(cs), m_name(std::move(name)), m_engineType(std::move(engineType))
    {
    }
    QString ProviderName() const override { return m_name; }
    QVariant Property(const QString& name) const override
    {
        if (name == QLatin1String("Jet OLEDB:Engine Type") && m_engineType.isValid())
            return m_engineType;
        return SqliteBackend::Property(name);
    }

private:
    QString m_name;
    QVariant m_engineType;
};

QString NewSqliteFile(const QString& name)
{
    const QString file = QDir::temp().filePath(name);
    QFile::remove(file);
    QFile f(file);
    f.open(QIODevice::WriteOnly);
    return file;
}

} // namespace

class TestConnection : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(testsupport::OdbcTestDriver::Register(&error), qPrintable(error));
    }

    void parsesConnectionStrings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("blanks around =") << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source = /data/x.mdb;" << "data source" << "/data/x.mdb";
        QTest::newRow("quoted value keeps ;") << "Extended properties=\"Excel 8.0;HRD=Yes\";Data Source=a.xls" << "Extended Properties" << "Excel 8.0;HRD=Yes";
        QTest::newRow("line feeds separate") << "Provider=Advantage OLE DB Provider\nData Source=/ads\nUser ID=adssys;\nServerType=ADS_LOCAL_SERVER" << "ServerType" << "ADS_LOCAL_SERVER";
        QTest::newRow("user after login") << "Provider=X;User ID=adssys; Password=pw;\nData Source=/ads" << "password" << "pw";
        QTest::newRow("odbc braces") << "Driver={SQLite3; odd};Database=/tmp/a.db" << "DRIVER" << "{SQLite3; odd}";
        QTest::newRow("single quotes, doubled") << "Password='it''s;secret';User=me" << "password" << "it's;secret";
        QTest::newRow("missing key") << "Provider=SQLite" << "Data Source" << "";
        QTest::newRow("pair without =") << "garbage;Provider=SQLite" << "provider" << "SQLite";
    }
    void parsesConnectionStrings()
    {
        QFETCH(QString, text);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QCOMPARE(ConnectionString::Parse(text).Value(key), value);
    }

    // What is passed on to an ODBC driver keeps every value: a quoted value that starts
    // with a brace or a quote, or has blanks at its ends, is not re-read as something else.
    void passedOnStringKeepsEveryValue_data()
    {
        QTest::addColumn<QByteArray>("text");
        // The fuzzer's reproducer: an unclosed quote before a brace, NULs and a stray byte.
        QTest::newRow("fuzzer: unclosed quote before a brace")
            << QByteArray("ProvO\0\0\0\xb4Microosf;DtWP='{a}}o\0st", 32);
        QTest::newRow("quoted brace") << QByteArray("Driver={X};PWD='{abc'");
        QTest::newRow("quoted quote") << QByteArray("Driver={X};PWD=\"'abc\"");
        QTest::newRow("quoted blanks") << QByteArray("Driver={X};PWD=' pw '");
        QTest::newRow("brace group") << QByteArray("Driver={SQLite3; odd};Database=/tmp/a.db");
    }
    void passedOnStringKeepsEveryValue()
    {
        QFETCH(QByteArray, text);
        const ConnectionString parsed = ConnectionString::Parse(QString::fromUtf8(text));
        const ConnectionString again = ConnectionString::Parse(parsed.Without({}));
        QCOMPARE(again.Pairs(), parsed.Pairs());
    }

    void unknownProvidersAreNotFound_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("hfsql") << "Provider=PCSOFT.HFSQL;Data Source=server";
        QTest::newRow("made up") << "Provider=Nobody.Knows.1;Data Source=x";
    }
    void unknownProvidersAreNotFound()
    {
        QFETCH(QString, text);
        Connection cnx;
        try {
            cnx.Open(text);
            QFAIL("an unknown provider opened");
        } catch (const AdoError& e) {
            QCOMPARE(e.Number(), long(3706));
            QCOMPARE(e.Description(), QStringLiteral("Provider cannot be found. It may not be properly installed."));
        }
        QCOMPARE(cnx.State(), int(Connection::adStateClosed));
        QVERIFY_THROWS_EXCEPTION(AdoError, cnx.Execute(QStringLiteral("SELECT 1")));
    }

    void standInProviderAnswersProviderTests()
    {
        const QString file = NewSqliteFile(QStringLiteral("standin.sqlite"));
        ProviderRegistry::Instance().Register(QStringLiteral("pcsoft.hfsql"), [](const ConnectionString& cs) {
            return std::make_unique<StandInBackend>(cs, QStringLiteral("pcsoft.hfsql"), QVariant());
        });
        ProviderRegistry::Instance().Register(QStringLiteral("Microsoft.Jet.OLEDB.4.0"), [](const ConnectionString& cs) {
            return std::make_unique<StandInBackend>(cs, QStringLiteral("Microsoft.Jet.OLEDB.4.0"), 5);
        });
        Connection hf;
        hf.Open(QStringLiteral("Provider=PCSoft.HFSQL;Data Source=") + file);
        QCOMPARE(hf.Provider().toLower(), QStringLiteral("pcsoft.hfsql"));
        Connection jet;
        jet.Open(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source = ") + file);
        QCOMPARE(jet.Properties(QStringLiteral("Jet OLEDB:Engine Type")).toInt(), 5);
        QVERIFY_THROWS_EXCEPTION(AdoError, hf.Properties(QStringLiteral("Jet OLEDB:Engine Type")));
        ProviderRegistry::Instance().Unregister(QStringLiteral("pcsoft.hfsql"));
        ProviderRegistry::Instance().Unregister(QStringLiteral("Microsoft.Jet.OLEDB.4.0"));
        Connection again;
        QVERIFY_THROWS_EXCEPTION(AdoError, again.Open(QStringLiteral("Provider=pcsoft.hfsql;Data Source=") + file));
    }

    void openFailuresSayWhy()
    {
        Connection cnx;
        try {
            cnx.Open(QStringLiteral("Provider=SQLite;Data Source=/no/such/folder/x.sqlite"));
            QFAIL("a missing file opened");
        } catch (const AdoError& e) {
            QVERIFY2(e.Description().contains(QStringLiteral("/no/such/folder/x.sqlite")), qPrintable(e.Description()));
        }
        QVERIFY(!QFile::exists(QStringLiteral("/no/such/folder/x.sqlite")));
        Connection pg;
        QVERIFY_THROWS_EXCEPTION(AdoError, pg.Open(QStringLiteral("Provider=PostgreSQL;Server=/nonexistent;Port=1;Database=x")));
    }

    void executeCountsAndTranslates_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("sqlite") << QStringLiteral("sqlite");
        QTest::newRow("postgres") << QStringLiteral("postgres");
        QTest::newRow("odbc") << QStringLiteral("odbc");
    }
    void executeCountsAndTranslates()
    {
        QFETCH(QString, kind);
        QString cs;
        if (kind == QLatin1String("odbc")) {
            cs = testsupport::OdbcTestDriver::ConnectionString(NewSqliteFile(QStringLiteral("odbc.sqlite")));
        } else {
            testsupport::TestDatabase db;
            QVERIFY2(db.Create(kind, QStringLiteral("tst_cnx_execute")), qPrintable(db.error));
            cs = db.connectionString;
        }
        Connection cnx;
        cnx.Open(cs);
        cnx.Execute(QStringLiteral("CREATE TABLE [Order Details] ([Order ID] INTEGER PRIMARY KEY, [Note] VARCHAR(20))"));
        for (int i = 1; i <= 4; ++i)
            QCOMPARE(cnx.Execute(QStringLiteral("INSERT INTO [Order Details] VALUES (%1, 'n [%1]')").arg(i)), qint64(1));
        QCOMPARE(cnx.Execute(QStringLiteral("UPDATE [Order Details] SET [Note] = 'TOP 1' WHERE [Order ID] > 1")), qint64(3));

        Recordset rs;
        rs.Open(QStringLiteral("SELECT TOP 2 * FROM [Order Details] ORDER BY [Order ID] DESC"), &cnx);
        QCOMPARE(rs.RecordCount(), 2);
        QCOMPARE(rs.Fields(QStringLiteral("Note")).Value().toString(), QStringLiteral("TOP 1"));

        // A rolled-back change is gone; a committed one stays.
        cnx.BeginTrans();
        cnx.Execute(QStringLiteral("DELETE FROM [Order Details]"));
        cnx.RollbackTrans();
        cnx.BeginTrans();
        cnx.Execute(QStringLiteral("DELETE FROM [Order Details] WHERE [Order ID] = 4"));
        cnx.CommitTrans();
        Recordset count;
        count.Open(QStringLiteral("SELECT COUNT(*) FROM [Order Details]"), &cnx);
        QCOMPARE(count.Fields(0).Value().toInt(), 3);
        QVERIFY_THROWS_EXCEPTION(AdoError, cnx.CommitTrans());

        try {
            cnx.Execute(QStringLiteral("SELEC nonsense"));
            QFAIL("a syntax error ran");
        } catch (const AdoError& e) {
            QVERIFY(!e.Description().isEmpty());
        }

        Catalog catalog;
        catalog.SetActiveConnection(&cnx);
        bool found = false;
        for (const TableInfo& t : catalog.Tables())
            found = found || (t.Name == QLatin1String("Order Details") && t.Type == QLatin1String("TABLE"));
        QVERIFY(found);
    }

    // A connection of the row's kind on a fresh database holding "t" (two rows) and "victim".
    bool openWithVictim(Connection& cnx, const QString& kind, const QString& name)
    {
        QString cs;
        if (kind == QLatin1String("odbc")) {
            cs = testsupport::OdbcTestDriver::ConnectionString(NewSqliteFile(name + QStringLiteral(".sqlite")));
        } else {
            testsupport::TestDatabase db;
            if (!db.Create(kind, name)) {
                qWarning("%s", qPrintable(db.error));
                return false;
            }
            cs = db.connectionString;
        }
        cnx.Open(cs);
        cnx.Execute(QStringLiteral("CREATE TABLE t (n INTEGER)"));
        cnx.Execute(QStringLiteral("INSERT INTO t VALUES (1)"));
        cnx.Execute(QStringLiteral("INSERT INTO t VALUES (2)"));
        cnx.Execute(QStringLiteral("CREATE TABLE victim (n INTEGER)"));
        return true;
    }

    static int CountOf(Connection& cnx, const QString& sql)
    {
        Recordset rs;
        rs.Open(sql, &cnx);
        return rs.Fields(0).Value().toInt();
    }

    void oneStatementAtATime_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        const QStringList kinds = {QStringLiteral("sqlite"), QStringLiteral("postgres"), QStringLiteral("odbc")};
        for (const QString& kind : kinds) {
            const QByteArray k = kind.toLatin1();
            QTest::newRow(k + " two selects") << kind << "SELECT 1; SELECT 2";
            QTest::newRow(k + " change then drop") << kind << "UPDATE t SET n = 7; DROP TABLE victim";
            QTest::newRow(k + " drop after a comment") << kind << "UPDATE t SET n = 7 /* ; */; -- x\nDROP TABLE victim";
            QTest::newRow(k + " name closed early") << kind << "SELECT * FROM [x]; DROP TABLE victim; --]";
        }
        // PostgreSQL's E'' literal escapes a quote with a backslash.
        QTest::newRow("postgres escaped literal") << "postgres" << "SELECT E'\\''; DROP TABLE victim; --'";
        // A database that may escape quotes with a backslash is read both ways.
        QTest::newRow("odbc backslash literal") << "odbc" << "SELECT '\\''; DROP TABLE victim; --'";
    }
    void oneStatementAtATime()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        Connection cnx;
        QVERIFY(openWithVictim(cnx, kind, QStringLiteral("tst_cnx_onestatement")));
        try {
            cnx.Execute(text);
            QFAIL("a text of two statements ran");
        } catch (const AdoError& e) {
            QCOMPARE(e.Number(), err::SyntaxError);
            QCOMPARE(e.Description(), QStringLiteral("Only one statement can be run at a time."));
        }
        Recordset rs;
        QVERIFY_THROWS_EXCEPTION(AdoError, rs.Open(text, &cnx));
        QCOMPARE(CountOf(cnx, QStringLiteral("SELECT COUNT(*) FROM victim")), 0); // still there
        QCOMPARE(CountOf(cnx, QStringLiteral("SELECT COUNT(*) FROM t WHERE n = 7")), 0);
        // One statement with its closing semicolon is fine.
        QCOMPARE(cnx.Execute(QStringLiteral("UPDATE t SET n = 3 WHERE n = 1;")), qint64(1));
    }

    void emptyTextSaysSo_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("sqlite empty") << "sqlite" << "";
        QTest::newRow("sqlite comment only") << "sqlite" << "  -- nothing\n ;";
        QTest::newRow("postgres blank") << "postgres" << "  \n";
    }
    void emptyTextSaysSo()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        Connection cnx;
        QVERIFY(openWithVictim(cnx, kind, QStringLiteral("tst_cnx_empty")));
        try {
            cnx.Execute(text);
            QFAIL("an empty text ran");
        } catch (const AdoError& e) {
            QCOMPARE(e.Description(), QStringLiteral("Command text was not set for the command object."));
        }
    }

    void countsOnlyWhatTheStatementChanged_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("sqlite") << QStringLiteral("sqlite");
        QTest::newRow("postgres") << QStringLiteral("postgres");
    }
    void countsOnlyWhatTheStatementChanged()
    {
        QFETCH(QString, kind);
        Connection cnx;
        QVERIFY(openWithVictim(cnx, kind, QStringLiteral("tst_cnx_counts")));
        QCOMPARE(cnx.Execute(QStringLiteral("UPDATE t SET n = n + 10")), qint64(2));
        QCOMPARE(cnx.Execute(QStringLiteral("CREATE TABLE u (n INTEGER)")), qint64(0));
        QCOMPARE(cnx.Execute(QStringLiteral("UPDATE t SET n = 0")), qint64(2));
        QCOMPARE(cnx.Execute(QStringLiteral("SELECT n FROM t")), qint64(0));
        QCOMPARE(cnx.Execute(QStringLiteral("DELETE FROM t WHERE n = 99")), qint64(0));
        QCOMPARE(cnx.Execute(QStringLiteral("INSERT INTO u SELECT n FROM t")), qint64(2));
        QCOMPARE(cnx.Execute(QStringLiteral("DROP TABLE u")), qint64(0));
    }

    void catalogListsKinds()
    {
        Connection cnx;
        cnx.Open(QStringLiteral("Provider=SQLite;Data Source=") + NewSqliteFile(QStringLiteral("kinds.sqlite")));
        cnx.Execute(QStringLiteral("CREATE TABLE b (x INTEGER PRIMARY KEY AUTOINCREMENT)"));
        cnx.Execute(QStringLiteral("INSERT INTO b DEFAULT VALUES"));
        cnx.Execute(QStringLiteral("CREATE VIEW v AS SELECT * FROM b"));
        Catalog catalog;
        QVERIFY_THROWS_EXCEPTION(AdoError, catalog.Tables());
        catalog.SetActiveConnection(&cnx);
        QHash<QString, QString> types;
        for (const TableInfo& t : catalog.Tables())
            types.insert(t.Name, t.Type);
        QCOMPARE(types.value(QStringLiteral("b")), QStringLiteral("TABLE"));
        QCOMPARE(types.value(QStringLiteral("v")), QStringLiteral("VIEW"));
        QCOMPARE(types.value(QStringLiteral("sqlite_sequence")), QStringLiteral("SYSTEM TABLE"));
        cnx.Close();
        QVERIFY_THROWS_EXCEPTION(AdoError, catalog.Tables());
    }
};

DABRIX_TEST_MAIN(TestConnection)
#include "tst_connection.moc"
