#include "support/TestMain.h"
#include "support/ModalAnswerer.h"

#include "WinFixture.h"
#include "ado/AdoError.h"
#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "ado/fileengine/FileIo.h"
#include "app/MDabrix.h"
#include "windows/CsvExporter.h"
#include "windows/adoLib.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QFileInfo>
#include <QMessageBox>
#include <QScopeGuard>

using testsupport::ModalAnswerer;

class TestExport : public QObject {
    Q_OBJECT

private:
    WinFixture m_db;

    std::unique_ptr<ado::Recordset> open(const QString& sql)
    {
        auto rs = adoLib::NewRecordset(ado::Recordset::adUseClient);
        rs->Open(sql, MDabrix::Cnx.get(), ado::Recordset::adOpenStatic, ado::Recordset::adLockOptimistic);
        return rs;
    }

    static QByteArray read(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

private slots:
    void init()
    {
        QVERIFY2(m_db.Open(QStringLiteral("sqlite"), QStringLiteral("tst_export")), qPrintable(m_db.error));
        QFile::remove(CsvExporter::DefaultPath());
    }
    void cleanup()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        WinFixture::Close();
    }

    void files_data();
    void files();
    void cloneKeepsTheCurrentRecord();
    void encodingFollowsTheLocale_data();
    void encodingFollowsTheLocale();
    void linkInPlaceIsReplacedNotFollowed();
    void failureKeepsThePreviousFile_data();
    void failureKeepsThePreviousFile();
    void everyFailingWriteKeepsThePreviousFile();
};

void TestExport::files_data()
{
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("french");
    QTest::addColumn<QByteArray>("expected");

    const QString table = QStringLiteral("CREATE TABLE [T] (id INTEGER, txt VARCHAR(20), n DOUBLE)");
    QTest::newRow("crlf stripped") << QStringList{table, QStringLiteral("INSERT INTO [T] VALUES (7, 'a' || char(13, 10) || 'b', NULL)")}
                                   << QStringLiteral("&Yes") << false << QByteArray("id;txt;n\r\n7;\"ab\";\r\n");
    QTest::newRow("crlf kept") << QStringList{table, QStringLiteral("INSERT INTO [T] VALUES (7, 'a' || char(13, 10) || 'b', NULL)")}
                               << QStringLiteral("&No") << false << QByteArray("id;txt;n\r\n7;\"a\r\nb\";\r\n");
    QTest::newRow("lone quote") << QStringList{table, QStringLiteral("INSERT INTO [T] VALUES (1, '\"', 2)")}
                                << QStringLiteral("&Yes") << false << QByteArray("id;txt;n\r\n1;\"\"\"\";2\r\n");
    QTest::newRow("quote inside") << QStringList{table, QStringLiteral("INSERT INTO [T] VALUES (1, 'a\"b', -0.25)")}
                                  << QStringLiteral("&No") << false << QByteArray("id;txt;n\r\n1;\"a\"\"b\";-0.25\r\n");
    QTest::newRow("decimal french") << QStringList{table, QStringLiteral("INSERT INTO [T] VALUES (1234567, 'x', 3.5)")}
                                    << QStringLiteral("&Yes") << true << QByteArray("id;txt;n\r\n1234567;\"x\";3,5\r\n");
    QTest::newRow("decimal english") << QStringList{table, QStringLiteral("INSERT INTO [T] VALUES (1234567, 'x', 3.5)")}
                                     << QStringLiteral("&Yes") << false << QByteArray("id;txt;n\r\n1234567;\"x\";3.5\r\n");
    QTest::newRow("empty table") << QStringList{table} << QStringLiteral("&Yes") << false << QByteArray("id;txt;n\r\n");
    QTest::newRow("null text, empty text")
        << QStringList{table, QStringLiteral("INSERT INTO [T] VALUES (1, NULL, NULL)"),
                       QStringLiteral("INSERT INTO [T] VALUES (2, '', 0)")}
        << QStringLiteral("&Yes") << false << QByteArray("id;txt;n\r\n1;;\r\n2;\"\";0\r\n");
    QTest::newRow("separator in a name, fixed text and date")
        << QStringList{QStringLiteral("CREATE TABLE [T] ([a;b] INTEGER, c CHAR(3), d DATE)"),
                       QStringLiteral("INSERT INTO [T] VALUES (1, 'x\"y', '2024-03-09')")}
        << QStringLiteral("&Yes") << true << QByteArray("a;b;c;d\r\n1;x\"y;09/03/2024\r\n");
    QTest::newRow("non-ascii text") << QStringList{table, QStringLiteral("INSERT INTO [T] VALUES (1, 'été', 1)")}
                                    << QStringLiteral("&Yes") << false << QByteArray("id;txt;n\r\n1;\"\xC3\xA9t\xC3\xA9\";1\r\n");
}

void TestExport::files()
{
    QFETCH(QStringList, setup);
    QFETCH(QString, answer);
    QFETCH(bool, french);
    QFETCH(QByteArray, expected);

    m_db.Exec(setup);
    if (french)
        QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    auto rs = open(QStringLiteral("SELECT * FROM [T] ORDER BY 1"));
    ModalAnswerer answerer(ModalAnswerer::Button(answer));
    CsvExporter::ExportCsv(nullptr, *rs);
    QVERIFY(answerer.done());
    QCOMPARE(answerer.titles().value(0), QStringLiteral("Dabrix"));
    QCOMPARE(answerer.texts().value(0), QStringLiteral("Voulez-vous supprimer les caractères CR et LF des champs de données ?"));
    QCOMPARE(read(CsvExporter::DefaultPath()), expected);
}

void TestExport::cloneKeepsTheCurrentRecord()
{
    m_db.Exec({QStringLiteral("CREATE TABLE [T] (id INTEGER PRIMARY KEY, txt VARCHAR(20))"),
               QStringLiteral("INSERT INTO [T] VALUES (1, 'a')"), QStringLiteral("INSERT INTO [T] VALUES (2, 'b')"),
               QStringLiteral("INSERT INTO [T] VALUES (3, 'c')")});
    auto rs = open(QStringLiteral("SELECT * FROM [T]"));
    rs->SetAbsolutePosition(2);
    CsvExporter::Write(*rs, CsvExporter::DefaultPath(), true);
    QCOMPARE(rs->AbsolutePosition(), 2);
    QCOMPARE(read(CsvExporter::DefaultPath()), QByteArray("id;txt\r\n1;\"a\"\r\n2;\"b\"\r\n3;\"c\"\r\n"));
}

void TestExport::linkInPlaceIsReplacedNotFollowed()
{
    m_db.Exec({QStringLiteral("CREATE TABLE [T] (id INTEGER)"), QStringLiteral("INSERT INTO [T] VALUES (5)")});
    const QString victim = QDir::temp().filePath(QStringLiteral("victim.txt"));
    {
        QFile f(victim);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("precious");
    }
    const QString path = CsvExporter::DefaultPath();
    QVERIFY(QFile::link(victim, path));

    auto rs = open(QStringLiteral("SELECT * FROM [T]"));
    CsvExporter::Write(*rs, path, true);

    QCOMPARE(read(victim), QByteArray("precious"));
    const QFileInfo info(path);
    QVERIFY(!info.isSymLink());
    QCOMPARE(read(path), QByteArray("id\r\n5\r\n"));
    QCOMPARE(info.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
             QFile::Permissions());
}

void TestExport::failureKeepsThePreviousFile_data()
{
    QTest::addColumn<bool>("missingFolder");
    QTest::addColumn<long>("number");
    QTest::newRow("closed recordset") << false << long(ado::err::ObjectClosed);
    QTest::newRow("missing folder") << true << long(ado::err::PathNotFound);
}

void TestExport::failureKeepsThePreviousFile()
{
    QFETCH(bool, missingFolder);
    QFETCH(long, number);

    m_db.Exec({QStringLiteral("CREATE TABLE [T] (id INTEGER)"), QStringLiteral("INSERT INTO [T] VALUES (5)")});
    QDir folder(QDir::temp().filePath(QStringLiteral("exportfolder")));
    folder.removeRecursively();
    QVERIFY(QDir().mkpath(folder.path()));
    const QString path = missingFolder ? folder.filePath(QStringLiteral("gone/Export.csv"))
                                       : folder.filePath(QStringLiteral("Export.csv"));
    if (!missingFolder) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    auto rs = open(QStringLiteral("SELECT * FROM [T]"));
    rs->Close();
    if (missingFolder)
        rs = open(QStringLiteral("SELECT * FROM [T]"));

    long caught = 0;
    try {
        CsvExporter::Write(*rs, path, true);
    } catch (const ado::AdoError& e) {
        caught = e.Number();
    }
    QCOMPARE(caught, number);
    QCOMPARE(read(path), missingFolder ? QByteArray("<missing>") : QByteArray("old"));
    // No half-written temporary file is left beside it.
    QCOMPARE(folder.entryList(QDir::Files | QDir::Hidden), missingFolder ? QStringList() : QStringList{QStringLiteral("Export.csv")});
}

void TestExport::everyFailingWriteKeepsThePreviousFile()
{
    m_db.Exec({QStringLiteral("CREATE TABLE [T] (id INTEGER, name TEXT)"),
               QStringLiteral("INSERT INTO [T] VALUES (1, 'un')"), QStringLiteral("INSERT INTO [T] VALUES (2, 'deux')")});
    QDir folder(QDir::temp().filePath(QStringLiteral("exportfaults")));
    folder.removeRecursively();
    QVERIFY(QDir().mkpath(folder.path()));
    const QString path = folder.filePath(QStringLiteral("Export.csv"));
    auto rs = open(QStringLiteral("SELECT * FROM [T]"));
    const auto lift = qScopeGuard([] { ado::FileIo::SetFaultForTesting(0); });

    ado::FileIo::SetFaultForTesting(0);
    CsvExporter::Write(*rs, path, true);
    const int calls = ado::FileIo::WriteCallsForTesting();
    const QByteArray written = read(path);
    QVERIFY(calls >= 3); // the bytes, their sync, the rename

    for (const auto fault : {ado::FileIo::Fault::Fail, ado::FileIo::Fault::Short}) {
        for (int k = 1; k <= calls; ++k) {
            QFile::remove(path);
            {
                QFile f(path);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write("old");
            }
            ado::FileIo::SetFaultForTesting(k, fault);
            long caught = 0;
            try {
                CsvExporter::Write(*rs, path, true);
            } catch (const ado::AdoError& e) {
                caught = e.Number();
            }
            const QString where = QStringLiteral("call %1 of %2").arg(k).arg(calls);
            QVERIFY2(caught == 75, qPrintable(where));
            QVERIFY2(read(path) == "old", qPrintable(where));
            QVERIFY2(folder.entryList(QDir::Files | QDir::Hidden) == QStringList{QStringLiteral("Export.csv")}, qPrintable(where));
            ado::FileIo::SetFaultForTesting(0);
            CsvExporter::Write(*rs, path, true);
            QVERIFY2(read(path) == written, qPrintable(where));
        }
    }
}

void TestExport::encodingFollowsTheLocale_data()
{
    QTest::addColumn<QByteArray>("codeset");
    QTest::addColumn<QByteArray>("encoding");
    QTest::newRow("UTF-8") << QByteArray("UTF-8") << QByteArray("UTF-8");
    QTest::newRow("Latin-1") << QByteArray("ISO-8859-1") << QByteArray("ISO-8859-1");
    QTest::newRow("Latin-9") << QByteArray("ISO-8859-15") << QByteArray("ISO-8859-15");
    QTest::newRow("C locale") << QByteArray("ANSI_X3.4-1968") << QByteArray("UTF-8");
    QTest::newRow("unknown") << QByteArray("NO-SUCH-SET") << QByteArray("UTF-8");
}

// The file is in the locale's character set, except where that set cannot hold French.
void TestExport::encodingFollowsTheLocale()
{
    QFETCH(QByteArray, codeset);
    QFETCH(QByteArray, encoding);
    QCOMPARE(CsvExporter::EncodingName(codeset), encoding);
    // This run's own locale is one the file can be written in.
    QVERIFY(QStringEncoder(CsvExporter::EncodingName(CsvExporter::LocaleCodeset()).constData()).isValid());
}

DABRIX_TEST_MAIN(TestExport)
#include "tst_export.moc"
