#include "support/TestMain.h"
#include "support/ModalAnswerer.h"

#include "WinFixture.h"
#include "ado/AdoError.h"
#include "ado/AdoType.h"
#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "ado/fileengine/FileIo.h"
#include "app/MDabrix.h"
#include "ui/DataGrid.h"
#include "ui/FailureReport.h"
#include "ui/RecordsetModel.h"
#include "windows/CsvExportJob.h"
#include "windows/CsvExporter.h"
#include "windows/CsvFieldFormatter.h"
#include "windows/adoLib.h"
#include "windows/frmTblData.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <numeric>
#include <QStringEncoder>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <functional>
#include <limits>

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

    // The export's temporary files beside the default path.
    static QStringList temporaries()
    {
        return QFileInfo(CsvExporter::DefaultPath()).dir().entryList({QStringLiteral(".Export.*")}, QDir::Files | QDir::Hidden);
    }

    static void writeOld(const QString& path)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("old");
    }

    // A table of rows ids 1..rows with a short text, big enough to take many writes.
    void makeBig(int rows)
    {
        m_db.Exec({QStringLiteral("CREATE TABLE [Big] (id INTEGER PRIMARY KEY, name VARCHAR(40), n DOUBLE)"),
                   QStringLiteral("WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < %1) "
                                  "INSERT INTO [Big] SELECT i, 'name number ' || i, i / 4.0 FROM c")
                       .arg(rows)});
    }

    static QByteArray bigLines(int rows)
    {
        std::vector<int> ids(static_cast<size_t>(rows), 0);
        std::iota(ids.begin(), ids.end(), 1);
        return bigLines(ids);
    }

    static QByteArray bigLines(const std::vector<int>& ids)
    {
        QByteArray text = "id;name;n\r\n";
        for (const int i : ids) {
            const QByteArray quarter[] = {"", ".25", ".5", ".75"};
            text += QByteArray::number(i) + ";\"name number " + QByteArray::number(i) + "\";" + QByteArray::number(i / 4)
                + quarter[i % 4] + "\r\n";
        }
        return text;
    }

    // Starts an export from the window's toolbar; `during` runs once the worker has written
    // `held` rows and waits there. Returns when the export has ended.
    void exportHeld(frmTblData* form, int held, const QList<ModalAnswerer::Answer>& answers,
                    const std::function<void()>& during)
    {
        CsvExportJob::HoldAfterRowsForTesting(held);
        const auto lift = qScopeGuard([] { CsvExportJob::HoldAfterRowsForTesting(0); });
        auto* progress = form->findChild<QProgressBar*>(QStringLiteral("pgbExport"));
        QVERIFY(progress);
        QVERIFY(!progress->isVisible());
        bool ran = false;
        bool gaveUp = false;
        QElapsedTimer watchdog;
        watchdog.start();
        QTimer poll;
        poll.setInterval(5);
        connect(&poll, &QTimer::timeout, this, [&] {
            if (ran || gaveUp)
                return;
            // Never left waiting: a progress bar that does not reach the hold ends the test.
            if (watchdog.elapsed() > 60000) {
                gaveUp = true;
                CsvExportJob::HoldAfterRowsForTesting(0);
                return;
            }
            if (!form->IsExporting() || !progress->isVisible() || progress->value() < held)
                return;
            ran = true;
            during();
        });
        poll.start();
        ModalAnswerer answerer(answers);
        form->findChild<QAction*>(QStringLiteral("Export"))->trigger();
        QVERIFY2(ran, "the export never showed its progress at the hold");
        m_answered = answerer.answered();
        m_texts = answerer.texts();
    }

    int m_answered = 0;
    QStringList m_texts;

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
    void formattersWriteWhatTheGridShows_data();
    void formattersWriteWhatTheGridShows();
    void everyTypeWritesTheSameBytes_data();
    void everyTypeWritesTheSameBytes();
    void cancelKeepsThePreviousFile_data();
    void cancelKeepsThePreviousFile();
    void windowStaysUsableAndRowsStayPut();
    void sortedRowsKeepTheGridOrder();
    void closingCancelsTheExport();
    void failureOnTheWorkerIsReported_data();
    void failureOnTheWorkerIsReported();
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

void TestExport::formattersWriteWhatTheGridShows_data()
{
    QTest::addColumn<QLocale>("locale");
    for (const char* name : {"C", "en_US", "fr_FR", "de_CH", "sv_SE", "ar_EG", "fa_IR", "zh_CN", "ko_KR", "hu_HU", "bg_BG", "en_GB", "ja_JP"})
        QTest::newRow(name) << QLocale(QString::fromLatin1(name));
}

// Every value that is not variable-length text is written as the grid shows it.
void TestExport::formattersWriteWhatTheGridShows()
{
    QFETCH(QLocale, locale);
    QList<std::pair<QVariant, int>> values;
    for (const qint64 n : {qint64(0), qint64(7), qint64(-7), qint64(1234567), std::numeric_limits<qint64>::min(),
                           std::numeric_limits<qint64>::max()})
        values.append({QVariant(n), ado::AdoType::BigInt});
    values.append({QVariant(-5), ado::AdoType::Integer});
    values.append({QVariant(std::numeric_limits<quint64>::max()), ado::AdoType::BigInt});
    values.append({QVariant(uint(42)), ado::AdoType::Integer});
    QList<double> doubles{0.0, -0.0, 3.5, -2.25, 0.1 + 0.2, 1.0 / 3, 123456.789, 1e-4, 9.99e-5, -1e-4, 1e15,
                          999999999999999.9, 99999999999999.99, -1e20, 5e-324, 1.7976931348623157e308,
                          std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::quiet_NaN()};
    QRandomGenerator random(20240611);
    for (int i = 0; i < 3000; ++i) {
        const double magnitude = std::pow(10.0, random.bounded(-6, 17));
        doubles.append((random.generateDouble() - 0.5) * magnitude);
    }
    for (const double d : doubles)
        values.append({QVariant(d), ado::AdoType::Double});
    values.append({QVariant(2.5f), ado::AdoType::Single});
    for (const QDate& d : {QDate(2024, 3, 9), QDate(1999, 12, 31), QDate(1000, 1, 1), QDate(999, 5, 6), QDate(5, 1, 2),
                           QDate(-44, 3, 15), QDate(9999, 12, 31), QDate(10000, 1, 1), QDate()})
        values.append({QVariant(d), ado::AdoType::DBDate});
    for (int k = 0; k < 40; ++k) // every month and every day of the week
        values.append({QVariant(QDate(2023, 12, 25).addDays(k * 10)), ado::AdoType::Date});
    for (const QDateTime& dt : {QDateTime(QDate(2024, 3, 9), QTime(0, 0)), QDateTime(QDate(2024, 11, 30), QTime(13, 5, 9)),
                                QDateTime(QDate(24, 1, 2), QTime(1, 2, 3)), QDateTime()})
        values.append({QVariant(dt), ado::AdoType::DBTimeStamp});
    for (const QTime& t : {QTime(7, 8, 9), QTime(0, 0), QTime(23, 59, 59, 999), QTime()})
        values.append({QVariant(t), ado::AdoType::DBTime});
    values.append({QVariant(true), ado::AdoType::Boolean});
    values.append({QVariant(false), ado::AdoType::Boolean});
    values.append({QVariant(QByteArray("\x00\xff\x10", 3)), ado::AdoType::LongVarBinary});
    values.append({QVariant(QStringLiteral("-1234.50")), ado::AdoType::Numeric});
    values.append({QVariant(QStringLiteral("x\"y;z")), ado::AdoType::WChar});
    values.append({QVariant(QMetaType(QMetaType::LongLong)), ado::AdoType::BigInt});
    values.append({QVariant(), ado::AdoType::Double});

    QLocale regional = locale;
    regional.setNumberOptions(regional.numberOptions() | QLocale::OmitGroupSeparator);
    for (const auto& [value, type] : values) {
        const CsvFieldFormatter formatter(type, true, locale);
        QString written = QStringLiteral("prefix;");
        formatter.Append(written, value);
        const QString shown = RecordsetModel::RegionalText(value, type, regional);
        QVERIFY2(written == QStringLiteral("prefix;") + shown,
                 qPrintable(QStringLiteral("%1 (%2): wrote \"%3\", the grid shows \"%4\"")
                                .arg(value.toString(), QString::fromLatin1(value.typeName()), written.mid(7), shown)));
    }
}

void TestExport::everyTypeWritesTheSameBytes_data()
{
    QTest::addColumn<bool>("french");
    QTest::addColumn<bool>("strip");
    QTest::addColumn<bool>("fromWindow");
    QTest::newRow("english, CR LF kept") << false << false << false;
    QTest::newRow("french, CR LF stripped") << true << true << false;
    QTest::newRow("window, english, stripped") << false << true << true;
    QTest::newRow("window, french, kept") << true << false << true;
}

// A table of every kind of column, its expected text worked out here value by value.
void TestExport::everyTypeWritesTheSameBytes()
{
    QFETCH(bool, french);
    QFETCH(bool, strip);
    QFETCH(bool, fromWindow);
    const QLocale locale = french ? QLocale(QLocale::French, QLocale::France) : QLocale(QLocale::English, QLocale::UnitedStates);
    if (french)
        QLocale::setDefault(locale);
    const QString minus = locale.negativeSign();
    const QString point = locale.decimalPoint();
    auto date = [&](QDate d) {
        const QString dd = QString::number(d.day()), mm = QString::number(d.month()), yyyy = QString::number(d.year());
        return french ? dd.rightJustified(2, u'0') + u'/' + mm.rightJustified(2, u'0') + u'/' + yyyy
                      : mm + u'/' + dd + u'/' + yyyy;
    };
    auto number = [&](QString text) { return text.replace(u'-', minus).replace(u'.', point); };

    QStringList statements{QStringLiteral("CREATE TABLE [M] (id INTEGER, name VARCHAR(30), price DOUBLE, day DATE, "
                                          "at DATETIME, active BOOLEAN, code CHAR(4), raw BLOB, t TIME, amount NUMERIC(10,2), memo TEXT)")};
    QString expected = QStringLiteral("id;name;price;day;at;active;code;raw;t;amount;memo\r\n");
    const int rows = 30;
    for (int i = 0; i < rows; ++i) {
        if (i == rows - 1) {
            statements << QStringLiteral("INSERT INTO [M] (id) VALUES (%1)").arg(i);
            expected += QString::number(i) + QStringLiteral(";;;;;;;;;;\r\n");
            continue;
        }
        const qint64 id = qint64(i) * i * 1001 - 300000;
        QString nameSql, nameText;
        switch (i % 6) {
        case 0: nameSql = QStringLiteral("'plain %1'").arg(i); nameText = QStringLiteral("\"plain %1\"").arg(i); break;
        case 1: nameSql = QStringLiteral("'a\"b%1'").arg(i); nameText = QStringLiteral("\"a\"\"b%1\"").arg(i); break;
        case 2:
            nameSql = QStringLiteral("'x' || char(13, 10) || 'y'");
            nameText = strip ? QStringLiteral("\"xy\"") : QStringLiteral("\"x\r\ny\"");
            break;
        case 3: nameSql = QStringLiteral("'été;'"); nameText = QStringLiteral("\"été;\""); break;
        case 4: nameSql = QStringLiteral("NULL"); break;
        default: nameSql = QStringLiteral("''"); nameText = QStringLiteral("\"\""); break;
        }
        if (i == 7) { // SQLite lets an integer into a text column
            nameSql = QStringLiteral("7");
            nameText = QStringLiteral("\"7\"");
        }
        const int quarters = i - 12;
        const QString price = (quarters < 0 ? QStringLiteral("-") : QString()) + QString::number(std::abs(quarters) / 4)
            + QStringList{QString(), QStringLiteral(".25"), QStringLiteral(".5"), QStringLiteral(".75")}[std::abs(quarters) % 4];
        const QDate day = QDate(2001, 1, 1).addDays(i * 37);
        const QTime time = i % 3 == 0 ? QTime(0, 0) : QTime(i % 24, (i * 7) % 60, (i * 13) % 60);
        const QString raw = QStringLiteral("00FF%1").arg(i, 2, 16, QChar(u'0')).toUpper();
        const QString amount = i % 2 ? QString::number(i) + QStringLiteral(".5") : QString::number(i);
        statements << QStringLiteral("INSERT INTO [M] VALUES (%1, %2, %3, '%4', '%5 %6', %7, 'c;%8', X'%9', '%10', %11, %12)")
                          .arg(id).arg(nameSql).arg(double(quarters) / 4).arg(day.toString(Qt::ISODate))
                          .arg(day.toString(Qt::ISODate), time.toString(QStringLiteral("HH:mm:ss")))
                          .arg(i % 2).arg(i).arg(raw, time.toString(QStringLiteral("HH:mm:ss")), amount,
                               i % 4 == 0 ? QStringLiteral("'line \"%1\"' || char(10) || 'next'").arg(i) : QStringLiteral("'m%1'").arg(i));
        QStringList fields{number(QString::number(id)), nameText, number(price), date(day),
                           date(day) + (time == QTime(0, 0) ? QString() : u' ' + time.toString(QStringLiteral("HH:mm:ss"))),
                           i % 2 ? QStringLiteral("true") : QStringLiteral("false"), QStringLiteral("c;%1").arg(i), raw,
                           time.toString(QStringLiteral("HH:mm:ss")), number(amount),
                           i % 4 == 0 ? QStringLiteral("\"line \"\"%1\"\"%2next\"").arg(i).arg(strip ? QString() : QStringLiteral("\n"))
                                      : QStringLiteral("\"m%1\"").arg(i)};
        expected += fields.join(u';') + QStringLiteral("\r\n");
    }
    m_db.Exec(statements);

    if (fromWindow) {
        QPointer<frmTblData> form = new frmTblData;
        const auto close = qScopeGuard([&] { delete form.data(); });
        form->Init(QStringLiteral("M"), 0, false);
        form->show();
        ModalAnswerer answerer({ModalAnswerer::Button(strip ? QStringLiteral("&Yes") : QStringLiteral("&No")), ModalAnswerer::Accept()});
        form->findChild<QAction*>(QStringLiteral("Export"))->trigger();
        QVERIFY(answerer.done());
        QCOMPARE(answerer.texts().value(1), QStringLiteral("Export terminé avec succès"));
    } else {
        auto rs = open(QStringLiteral("SELECT * FROM [M]"));
        CsvExporter::Write(*rs, CsvExporter::DefaultPath(), strip);
    }
    QCOMPARE(read(CsvExporter::DefaultPath()), expected.toUtf8());
}

void TestExport::cancelKeepsThePreviousFile_data()
{
    QTest::addColumn<bool>("previous");
    QTest::newRow("previous file") << true;
    QTest::newRow("no file yet") << false;
}

// Cancelled half-way from the progress bar's button: the file is as it was, nothing is left
// beside it, and no success is reported.
void TestExport::cancelKeepsThePreviousFile()
{
    QFETCH(bool, previous);
    const int rows = 120000;
    makeBig(rows);
    const QString path = CsvExporter::DefaultPath();
    if (previous)
        writeOld(path);
    QPointer<frmTblData> form = new frmTblData;
    const auto close = qScopeGuard([&] { delete form.data(); });
    form->Init(QStringLiteral("Big"), 0, false);
    form->show();

    // The second answer would catch a success report.
    exportHeld(form, rows / 2, {ModalAnswerer::Button(QStringLiteral("&Yes")), ModalAnswerer::Accept()}, [&] {
        auto* cancel = form->findChild<QToolButton*>(QStringLiteral("cmdCancelExport"));
        QVERIFY(cancel && cancel->isVisible());
        cancel->click();
    });
    QVERIFY(!form->IsExporting());
    QCOMPARE(m_answered, 1);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(read(path), previous ? QByteArray("old") : QByteArray("<missing>"));
    QCOMPARE(temporaries(), QStringList());
    QVERIFY(!form->findChild<QProgressBar*>(QStringLiteral("pgbExport"))->isVisible());

    // The next export runs to the end.
    ModalAnswerer answerer({ModalAnswerer::Button(QStringLiteral("&Yes")), ModalAnswerer::Accept()});
    form->findChild<QAction*>(QStringLiteral("Export"))->trigger();
    QVERIFY(answerer.done());
    QCOMPARE(answerer.texts().value(1), QStringLiteral("Export terminé avec succès"));
    QCOMPARE(read(path), bigLines(rows));
}

// Rows sorted by a text column lie scattered in storage; the file, written by blocks on
// several workers, has them in the grid's order, each once.
void TestExport::sortedRowsKeepTheGridOrder()
{
    const int rows = 70001;
    makeBig(rows);
    QPointer<frmTblData> form = new frmTblData;
    const auto close = qScopeGuard([&] { delete form.data(); });
    form->Init(QStringLiteral("Big"), 0, false);
    form->show();
    auto* grid = form->findChild<DataGrid*>(QStringLiteral("Grd"));
    emit grid->headerClicked(1);
    QCOMPARE(form->SortColumn(), 1);
    std::vector<int> ids(static_cast<size_t>(rows), 0);
    std::iota(ids.begin(), ids.end(), 1);
    std::sort(ids.begin(), ids.end(), [](int a, int b) { return QByteArray::number(a) < QByteArray::number(b); });

    ModalAnswerer answerer({ModalAnswerer::Button(QStringLiteral("&Yes")), ModalAnswerer::Accept()});
    form->findChild<QAction*>(QStringLiteral("Export"))->trigger();
    QVERIFY(answerer.done());
    QCOMPARE(answerer.texts().value(1), QStringLiteral("Export terminé avec succès"));
    const QByteArray written = read(CsvExporter::DefaultPath());
    const QByteArray expected = bigLines(ids);
    QCOMPARE(written.size(), expected.size());
    QVERIFY(written == expected);
}

// While the worker writes, the window paints, scrolls and runs its timers, and nothing that
// would change the rows under the worker gets through; afterwards all works again.
void TestExport::windowStaysUsableAndRowsStayPut()
{
    const int rows = 30000;
    makeBig(rows);
    QPointer<frmTblData> form = new frmTblData;
    const auto close = qScopeGuard([&] { delete form.data(); });
    form->Init(QStringLiteral("Big"), 0, false);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    auto* grid = form->findChild<DataGrid*>(QStringLiteral("Grd"));
    const bool allowedUpdate = grid->AllowUpdate();
    const bool allowedAddNew = grid->AllowAddNew();
    QVERIFY(allowedUpdate);
    const int modelRows = grid->model()->rowCount();

    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(1);
    connect(&ticker, &QTimer::timeout, this, [&] { ticks += form->IsExporting() ? 1 : 0; });
    ticker.start();

    ado::Recordset* const before = form->Recordset();
    bool checked = false;
    exportHeld(form, rows / 3, {ModalAnswerer::Button(QStringLiteral("&No")), ModalAnswerer::Accept()}, [&] {
        const auto lift = qScopeGuard([] { CsvExportJob::HoldAfterRowsForTesting(0); });
        // Timers and scrolling.
        grid->SetFirstRow(5000);
        const int ticksBefore = ticks;
        QTRY_VERIFY(ticks > ticksBefore + 2);
        QCOMPARE(grid->FirstRow(), 5000);
        // Edits, a new row and deletes are refused.
        const QModelIndex cell = grid->model()->index(3, 1);
        QVERIFY(!(grid->model()->flags(cell) & Qt::ItemIsEditable));
        QVERIFY(!grid->model()->setData(cell, QStringLiteral("changed")));
        grid->setCurrentIndex(cell);
        grid->edit(cell);
        QVERIFY(!grid->IsEditing());
        QVERIFY(!grid->AllowAddNew());
        QCOMPARE(grid->model()->rowCount(), rows);
        grid->selectRow(4);
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(form->Recordset()->RecordCount(), rows);
        // The rows keep their order, are not read again, and no second export starts.
        emit grid->headerClicked(1);
        QCOMPARE(form->SortColumn(), 0);
        QCOMPARE(form->Recordset()->Sort(), QString());
        form->findChild<QAction*>(QStringLiteral("Execute"))->trigger();
        QTest::keyClick(grid, Qt::Key_F5);
        form->RefreshData();
        QCOMPARE(form->Recordset(), before);
        QVERIFY(!form->findChild<QAction*>(QStringLiteral("Export"))->isEnabled());
        form->findChild<QAction*>(QStringLiteral("Export"))->trigger();
        QVERIFY(form->IsExporting());
        checked = true;
    });
    QVERIFY(checked);
    QCOMPARE(m_answered, 2);
    QCOMPARE(m_texts.value(1), QStringLiteral("Export terminé avec succès"));
    QCOMPARE(read(CsvExporter::DefaultPath()), bigLines(rows));
    QVERIFY(ticks > 0);

    // The refresh asked for meanwhile comes once the export has ended; edits work again.
    QCOMPARE(grid->AllowUpdate(), allowedUpdate);
    QCOMPARE(grid->AllowAddNew(), allowedAddNew);
    QCOMPARE(grid->model()->rowCount(), modelRows);
    QTRY_VERIFY(form->Recordset() != before && grid->DataSource() == form->Recordset());
    QVERIFY(grid->model()->setData(grid->model()->index(3, 1), QStringLiteral("changed")));
    QCOMPARE(m_db.ReadBack(QStringLiteral("SELECT name FROM [Big] WHERE id = 4")).toString(), QStringLiteral("changed"));
}

// Closing the window while it exports cancels the export, then closes it.
void TestExport::closingCancelsTheExport()
{
    const int rows = 20000;
    makeBig(rows);
    const QString path = CsvExporter::DefaultPath();
    writeOld(path);
    QPointer<frmTblData> form = new frmTblData;
    const auto close = qScopeGuard([&] { delete form.data(); });
    form->Init(QStringLiteral("Big"), 0, false);
    form->show();
    // The second answer would catch a success report.
    exportHeld(form, rows / 2, {ModalAnswerer::Button(QStringLiteral("&Yes")), ModalAnswerer::Accept()}, [&] {
        form->close();
        QVERIFY(form);
    });
    QCOMPARE(m_answered, 1);
    QTRY_VERIFY(form.isNull());
    QCOMPARE(read(path), QByteArray("old"));
    QCOMPARE(temporaries(), QStringList());
}

void TestExport::failureOnTheWorkerIsReported_data()
{
    QTest::addColumn<int>("fromEnd"); // the failing call, counted back from the last
    QTest::addColumn<bool>("shortWrite");
    QTest::newRow("first write") << -1 << false;
    QTest::newRow("a write half-way, short") << 4 << true;
    QTest::newRow("the sync") << 1 << false;
    QTest::newRow("the rename") << 0 << false;
}

// A write that fails on the worker is reported by the window as any failure, and the
// previous file stays.
void TestExport::failureOnTheWorkerIsReported()
{
    QFETCH(int, fromEnd);
    QFETCH(bool, shortWrite);
    const auto fault = shortWrite ? ado::FileIo::Fault::Short : ado::FileIo::Fault::Fail;
    const int rows = 150000;
    makeBig(rows);
    const QString path = CsvExporter::DefaultPath();
    auto rs = open(QStringLiteral("SELECT * FROM [Big]"));
    ado::FileIo::SetFaultForTesting(0);
    CsvExporter::Write(*rs, path, true);
    const int calls = ado::FileIo::WriteCallsForTesting();
    QVERIFY(calls >= 5); // several writes, the sync, the rename
    rs.reset();
    writeOld(path);

    QPointer<frmTblData> form = new frmTblData;
    const auto close = qScopeGuard([&] { delete form.data(); });
    form->Init(QStringLiteral("Big"), 0, false);
    form->show();
    const auto lift = qScopeGuard([] { ado::FileIo::SetFaultForTesting(0); });
    ado::FileIo::SetFaultForTesting(fromEnd < 0 ? 1 : calls - fromEnd, fault);
    ModalAnswerer answerer({ModalAnswerer::Button(QStringLiteral("&Yes")), ModalAnswerer::Accept()});
    form->findChild<QAction*>(QStringLiteral("Export"))->trigger();
    QVERIFY(answerer.done());
    QCOMPARE(answerer.titles().value(1), QStringLiteral("Table"));
    QVERIFY2(answerer.texts().value(1).startsWith(ui::Sentence::OperatorAction + QStringLiteral("\n\n75 - Path/File access error: ")),
             qPrintable(answerer.texts().value(1)));
    QVERIFY(!form->IsExporting());
    QCOMPARE(read(path), QByteArray("old"));
    QCOMPARE(temporaries(), QStringList());
}

DABRIX_TEST_MAIN(TestExport)
#include "tst_export.moc"
