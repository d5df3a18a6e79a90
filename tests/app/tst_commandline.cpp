#include "support/ModalAnswerer.h"
#include "support/TestMain.h"

#include "ado/AdoError.h"
#include "ado/Catalog.h"
#include "ado/Connection.h"
#include "ado/ConnectionString.h"
#include "app/CommandLine.h"
#include "app/MDI.h"
#include "app/MDabrix.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using testsupport::ModalAnswerer;

class TestCommandLine : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_files;

    QString copy(const QString& fixture, const QString& name)
    {
        const QString target = m_files.filePath(name);
        QDir().mkpath(QFileInfo(target).path());
        QFile::remove(target);
        if (!QFile::copy(testsupport::FixturePath(fixture), target)) {
            qWarning("cannot copy %s", qPrintable(fixture));
            return {};
        }
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        return target;
    }

    static MDI* shownMainWindow()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* m = qobject_cast<MDI*>(w); m && m->isVisible())
                return m;
        return nullptr;
    }

    static QStringList tableNames()
    {
        QStringList names;
        for (const ado::TableInfo& t : MDabrix::Catalog->Tables())
            if (t.Type == u"TABLE")
                names << t.Name;
        return names;
    }

private slots:
    void initTestCase() { QVERIFY(m_files.isValid()); }

    void fileTypeByExtension_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("textType");
        QTest::addColumn<int>("type");
        QTest::newRow("mdb") << u"/d/Base.MDB"_s << 13 << 1;
        QTest::newRow("dbf") << u"/d/clients.dbf"_s << 13 << 2;
        QTest::newRow("paradox") << u"/d/legacy.db"_s << 13 << 9;
        QTest::newRow("xlsx") << u"/d/book.xlsx"_s << 13 << 10;
        QTest::newRow("xls") << u"/d/book.xls"_s << 13 << 11;
        QTest::newRow("csv") << u"/d/a.csv"_s << 13 << 13;
        QTest::newRow("txt, semicolon") << u"/d/a.txt"_s << 14 << 14;
        QTest::newRow("prn, tab") << u"/d/a.prn"_s << 12 << 12;
        QTest::newRow("sqlite") << u"/d/shop.sqlite"_s << 13 << 15;
        QTest::newRow("db3") << u"/d/old.db3"_s << 13 << 15;
        QTest::newRow("unknown") << u"/d/notes.odt"_s << 13 << 0;
        QTest::newRow("no extension") << u"/d/README"_s << 13 << 0;
    }
    void fileTypeByExtension()
    {
        QFETCH(QString, path);
        QFETCH(int, textType);
        QFETCH(int, type);
        QCOMPARE(int(CommandLine::FileTypeFor(path, qint16(textType))), type);
    }

    void connectionStrings()
    {
        const QString dbf = copy(u"dbf/infused/dbase_03.dbf"_s, u"dbf/people.dbf"_s);
        QVERIFY(!dbf.isEmpty());
        ado::ConnectionString cs = ado::ConnectionString::Parse(CommandLine::ConnectionStringFor(dbf));
        QCOMPARE(cs.Value(u"Provider"_s), u"Microsoft.Jet.OLEDB.4.0"_s);
        QCOMPARE(cs.Value(u"Data Source"_s), QFileInfo(dbf).absolutePath());
        QCOMPARE(cs.Value(u"Extended Properties"_s), u"Dbase IV"_s);
        // The folder itself says the same.
        QCOMPARE(CommandLine::ConnectionStringFor(QFileInfo(dbf).absolutePath()), CommandLine::ConnectionStringFor(dbf));

        const QString typed = u"Provider=SQLite;Data Source=/x/y.sqlite"_s;
        QCOMPARE(CommandLine::ConnectionStringFor(typed), typed);
    }

    void badSources_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("number");
        QTest::newRow("missing file") << u"/no/such/base.mdb"_s << 53;
        QTest::newRow("unknown type") << u"{files}/notes.odt"_s << 5;
        QTest::newRow("folder without tables") << u"{files}/empty"_s << 5;
    }
    void badSources()
    {
        QFETCH(QString, source);
        QFETCH(int, number);
        QDir().mkpath(m_files.filePath(u"empty"_s));
        QFile odt(m_files.filePath(u"notes.odt"_s));
        QVERIFY(odt.open(QIODevice::WriteOnly));
        odt.close();
        source.replace(u"{files}"_s, m_files.path());
        try {
            CommandLine::ConnectionStringFor(source);
            QFAIL("no failure");
        } catch (const ado::AdoError& e) {
            QCOMPARE(int(e.Number()), number);
        }
    }

    // The whole way: the file named on the command line is open in the main window, with
    // no chooser in between.
    void mainOpensTheNamedFile_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("textType");
        QTest::addColumn<QString>("table");
        QTest::newRow("dBase") << u"dbf/infused/dbase_03.dbf"_s << u"people.dbf"_s << 13 << u"people"_s;
        QTest::newRow("Access") << u"mdb/jackcess/test2V2000.mdb"_s << u"test2.mdb"_s << 13 << QString();
        QTest::newRow("xlsx") << u"xlsx/readxl/deaths.xlsx"_s << u"deaths.xlsx"_s << 13 << QString();
        QTest::newRow("csv") << u"csv/northwind-neo4j/customers.csv"_s << u"customers.csv"_s << 13 << u"customers.csv"_s;
    }
    void mainOpensTheNamedFile()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, name);
        QFETCH(int, textType);
        QFETCH(QString, table);
        const QString file = copy(fixture, QFileInfo(name).completeBaseName() + u'/' + name);
        QVERIFY(!file.isEmpty());
        MDabrix::PendingSource = file;
        MDabrix::PendingTextFileType = qint16(textType);
        // Only closes a dialog that must not appear.
        ModalAnswerer unexpected({ModalAnswerer::Reject(), ModalAnswerer::Reject()});
        MDabrix::Main();
        QCOMPARE(unexpected.answered(), 0);
        MDI* mdi = shownMainWindow();
        QVERIFY(mdi);
        QVERIFY(MDabrix::PendingSource.isEmpty());
        QCOMPARE(MDabrix::CnxString, CommandLine::ConnectionStringFor(file, qint16(textType)));
        const QStringList names = tableNames();
        QVERIFY(!names.isEmpty());
        if (!table.isEmpty())
            QVERIFY2(names.contains(table), qPrintable(names.join(u'|')));
        QVERIFY(mdi->close());
        QVERIFY(!MDabrix::Cnx);
    }

    void aBadSourceIsReportedThenTheChooserOpens()
    {
        MDabrix::PendingSource = u"/no/such/base.mdb"_s;
        ModalAnswerer answers({ModalAnswerer::Accept(), ModalAnswerer::For(u"frmChoixDb"_s, ModalAnswerer::Reject())});
        MDabrix::Main();
        QVERIFY(answers.done());
        QCOMPARE(answers.titles().value(0), u"Dabrix"_s);
        QCOMPARE(answers.texts().value(0), u"Je n'arrive pas à ouvrir DB '/no/such/base.mdb'\n53 File not found: '/no/such/base.mdb'"_s);
        QCOMPARE(answers.titles().value(1), u"Choisir une base de données"_s);
        QVERIFY(!shownMainWindow());
    }

    void executableAnswersWithoutDisplay_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output");
        QTest::newRow("version") << QStringList{u"--version"_s} << 0 << u"dabrix 1.0.0"_s;
        QTest::newRow("help") << QStringList{u"--help"_s} << 0 << u"--delimiter"_s;
        QTest::newRow("bad delimiter") << QStringList{u"--delimiter"_s, u"pipe"_s, u"a.csv"_s} << 1 << u"pipe"_s;
        QTest::newRow("two sources") << QStringList{u"a.csv"_s, u"b.csv"_s} << 1 << u"a.csv b.csv"_s;
        QTest::newRow("unknown option") << QStringList{u"--frobnicate"_s} << 1 << u"frobnicate"_s;
    }
    void executableAnswersWithoutDisplay()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, output);
        const QString program = qEnvironmentVariable("DABRIX_BUILD_DIR") + u"/dabrix"_s;
        if (!QFileInfo(program).isExecutable())
            QSKIP("the dabrix executable is not built beside the tests");
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(u"QT_QPA_PLATFORM"_s);
        env.remove(u"DISPLAY"_s);
        env.remove(u"WAYLAND_DISPLAY"_s);
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), status);
        const QString text = QString::fromLocal8Bit(process.readAllStandardOutput() + process.readAllStandardError());
        QVERIFY2(text.contains(output), qPrintable(text));
    }
};

DABRIX_TEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
