#include "DbTablesFixture.h"

#include "ado/AdoError.h"
#include "ado/AdoType.h"
#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "app/MDabrix.h"
#include "support/FileBytes.h"
#include "support/ModalAnswerer.h"
#include "support/ReadRows.h"
#include "support/TestMain.h"
#include "ui/DataGrid.h"
#include "ui/FailureReport.h"
#include "ui/FormsRegistry.h"
#include "import/ValueConverter.h"
#include "import/frmAppendFrom.h"
#include "windows/frmDbTables.h"
#include "windows/frmTblData.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <quazipfile.h>

using namespace Qt::StringLiterals;
using testsupport::ModalAnswerer;

namespace {

constexpr int CommaText = 13;
constexpr int SemicolonText = 14;
constexpr int DbaseFiles = 2;
constexpr int AccessFile = 1;
constexpr int ExcelFile = 10;
constexpr int AdvantageCdx = 4;
const QString Success = u"Import terminé avec succès"_s;

QString Run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

// One line of simple CSV: fields split at the separator, double quotes around a field dropped.
QStringList SplitCsv(const QString& line, QChar separator)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (const QChar c : line) {
        if (c == u'"')
            quoted = !quoted;
        else if (c == separator && !quoted)
            fields << std::exchange(field, QString());
        else
            field += c;
    }
    fields << field;
    return fields;
}

// The data lines of a text file, header left out.
QList<QStringList> CsvRows(const QString& text, QChar separator)
{
    QList<QStringList> rows;
    const QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < lines.size(); ++i)
        rows << SplitCsv(QString(lines[i]).remove(u'\r'), separator);
    return rows;
}

// The numbers of the first column of the workbook's first sheet, header row left out,
// read from the sheet's XML.
QList<double> XlsxFirstColumn(const QString& file)
{
    QuaZipFile sheet(file, u"xl/worksheets/sheet1.xml"_s);
    if (!sheet.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&sheet);
    QList<double> values;
    bool inFirstColumn = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"c") {
            const QString ref = xml.attributes().value(u"r"_s).toString();
            inFirstColumn = ref.startsWith(u'A') && ref != u"A1" && xml.attributes().value(u"t"_s).isEmpty();
        } else if (xml.isStartElement() && xml.name() == u"v" && inFirstColumn) {
            values << xml.readElementText().toDouble();
        }
    }
    return values;
}

// Notes and dismisses every message box shown while it lives.
class BoxWatcher : public QObject {
public:
    BoxWatcher()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); box && box->isVisible()) {
                texts << box->text();
                box->done(QMessageBox::Ok);
            }
        });
        m_timer.start(10);
    }
    QStringList texts;

private:
    QTimer m_timer;
};

ModalAnswerer::Answer PickFile(int fileType, const QString& path)
{
    return ModalAnswerer::For(u"QFileDialog"_s, [=](QWidget* w) {
        auto* dialog = static_cast<QFileDialog*>(w);
        dialog->selectNameFilter(dialog->nameFilters().value(fileType - 1));
        auto* edit = dialog->findChild<QLineEdit*>(u"fileNameEdit"_s);
        QVERIFY(edit);
        edit->setText(path);
        static_cast<QDialog*>(dialog)->accept();
    });
}

ModalAnswerer::Answer PickTable(const QString& table, QString* preselected = nullptr, QStringList* offered = nullptr)
{
    return ModalAnswerer::For(u"diaSourceTable"_s, [=](QWidget* w) {
        auto* list = w->findChild<QListWidget*>(u"Lis"_s);
        if (preselected)
            *preselected = list->currentItem() ? list->currentItem()->text() : QString();
        if (offered)
            for (int i = 0; i < list->count(); ++i)
                *offered << list->item(i)->text();
        const auto found = list->findItems(table, Qt::MatchExactly);
        QVERIFY(!found.isEmpty());
        list->setCurrentItem(found.first());
        w->findChild<QPushButton*>(u"cmdOK"_s)->click();
    });
}

int PreviewRows(frmAppendFrom* form)
{
    auto* grid = form->findChild<DataGrid*>(u"Grd"_s);
    return grid->model() ? grid->model()->rowCount() : -1;
}

} // namespace

class TestAppendFrom : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void leadingNumber_data();
    void leadingNumber();
    void convertByTargetClass_data();
    void convertByTargetClass();

    void importsEachSource_data();
    void importsEachSource();
    void namesAndNumbers_data();
    void namesAndNumbers();
    void failingRowStopsTheImport_data();
    void failingRowStopsTheImport();
    void emptySourceSucceeds();
    void secondImportAppendsAgain();
    void importBeforeBrowseFails();
    void cancelLeavesTheWindowAsItWas_data();
    void cancelLeavesTheWindowAsItWas();
    void accessSourceAsksForItsTable();
    void settingsKeepFolderAndType();
    void severalWindowsAtOnce();
    void closingDuringImportStopsIt_data();
    void closingDuringImportStopsIt();
    void importerAgainDuringImportIsIgnored();

private:
    QString path(const QString& relative) const { return QDir(m_files.path()).filePath(relative); }
    void copyFixture(const QString& fixture, const QString& target);
    void writeFile(const QString& target, const QByteArray& bytes);
    bool open(const QString& kind, const QStringList& statements);
    frmAppendFrom* openImport(const QString& table);
    void browse(frmAppendFrom* form, QList<ModalAnswerer::Answer> answers);
    // Presses "Importer" and answers what it shows; the texts of the boxes.
    QStringList import(frmAppendFrom* form);
    QVector<QVector<QVariant>> readBack(const QString& sql);

    QTemporaryDir m_files;
    DbTablesFixture m_db;
};

void TestAppendFrom::copyFixture(const QString& fixture, const QString& target)
{
    QVERIFY(QDir().mkpath(QFileInfo(path(target)).path()));
    QVERIFY2(QFile::copy(testsupport::FixturePath(fixture), path(target)), qPrintable(fixture));
    QVERIFY(QFile::setPermissions(path(target), QFile::ReadOwner | QFile::WriteOwner));
}

void TestAppendFrom::writeFile(const QString& target, const QByteArray& bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path(target)).path()));
    testsupport::WriteBytes(path(target), bytes);
}

void TestAppendFrom::initTestCase()
{
    QVERIFY(m_files.isValid());
    DbTablesFixture::InitAppState();
    copyFixture(u"csv/rust-csv/smallpop.csv"_s, u"csv/smallpop.csv"_s);
    copyFixture(u"dbf/infused/dbase_03.dbf"_s, u"dbf/dbase_03.dbf"_s);
    copyFixture(u"xlsx/readxl/iris-excel-xlsx.xlsx"_s, u"xlsx/iris.xlsx"_s);
    copyFixture(u"mdb/northwind-jet4/Northwind.mdb"_s, u"mdb/Northwind.mdb"_s);
    writeFile(u"conv/amounts.csv"_s, "Nom;label;amount\nDupont;a;12,5\nMartin;b;1 234.5\nDurand;c;abc\n");
    writeFile(u"nulls/amounts.csv"_s, "label;amount\nr1;1\nr2;2\nr3;\nr4;4\n");
    writeFile(u"dates/visits.csv"_s, "label;day\nr1;2024-03-05\nr2;3/7/2024\nr3;pas une date\nr4;2024-01-01\n");
    writeFile(u"empty/amounts.csv"_s, "label;amount\n");
    QByteArray big = "n;label\n";
    for (int i = 1; i <= 100000; ++i)
        big += QByteArray::number(i) + ";row " + QByteArray::number(i) + '\n';
    writeFile(u"big/rows.csv"_s, big);
}

void TestAppendFrom::init()
{
    QSettings(u"Corvanet"_s, u"Dabrix"_s).clear();
}

void TestAppendFrom::cleanup()
{
    DbTablesFixture::Reset();
}

bool TestAppendFrom::open(const QString& kind, const QStringList& statements)
{
    if (!m_db.Open(kind, u"appendfrom"_s, statements)) {
        qWarning("%s", qPrintable(m_db.error));
        return false;
    }
    return true;
}

frmAppendFrom* TestAppendFrom::openImport(const QString& table)
{
    auto* list = new frmDbTables();
    list->show();
    auto* lis = list->findChild<QListWidget*>(u"Lis"_s);
    const auto found = lis->findItems(table, Qt::MatchExactly);
    if (found.isEmpty())
        return nullptr;
    lis->setCurrentItem(found.first());
    const int before = DbTablesFixture::LoadedCount(u"frmAppendFrom"_s);
    list->findChild<QAction*>(u"AppendFrom"_s)->trigger();
    if (DbTablesFixture::LoadedCount(u"frmAppendFrom"_s) != before + 1)
        return nullptr;
    frmAppendFrom* newest = nullptr;
    for (QWidget* form : ui::FormsRegistry::Forms())
        if (auto* f = qobject_cast<frmAppendFrom*>(form))
            newest = f;
    return newest;
}

void TestAppendFrom::browse(frmAppendFrom* form, QList<ModalAnswerer::Answer> answers)
{
    ModalAnswerer answerer(std::move(answers));
    form->findChild<QPushButton*>(u"cmdBrowse"_s)->click();
    QVERIFY2(answerer.done(), qPrintable(answerer.titles().join(u", "_s)));
}

QStringList TestAppendFrom::import(frmAppendFrom* form)
{
    BoxWatcher watcher;
    form->findChild<QPushButton*>(u"cmdImport"_s)->click();
    return watcher.texts;
}

QVector<QVector<QVariant>> TestAppendFrom::readBack(const QString& sql)
{
    ado::Connection second;
    second.Open(m_db.connectionString);
    return testsupport::ReadRows(second, sql);
}

void TestAppendFrom::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("comma ends the number") << u"12,5"_s << 12.0;
    QTest::newRow("blank inside skipped") << u"1 234.5"_s << 1234.5;
    QTest::newRow("no number") << u"abc"_s << 0.0;
    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("tabs and line feeds") << u"\t1\n2 3"_s << 123.0;
    QTest::newRow("leading point") << u".5"_s << 0.5;
    QTest::newRow("second point ends it") << u"1.2.3"_s << 1.2;
    QTest::newRow("sign then blank") << u"- 4"_s << -4.0;
    QTest::newRow("exponent E") << u"-3.5e2x"_s << -350.0;
    QTest::newRow("exponent D") << u"1D3"_s << 1000.0;
    QTest::newRow("E without digits") << u"1e"_s << 1.0;
    QTest::newRow("hexadecimal") << u"&H1F"_s << 31.0;
    QTest::newRow("octal") << u"&O17"_s << 15.0;
    QTest::newRow("ampersand alone") << u"&12"_s << 0.0;
    QTest::newRow("carriage return ends it") << u"1\r2"_s << 1.0;
}

void TestAppendFrom::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(ValueConverter::LeadingNumber(text), expected);
}

void TestAppendFrom::convertByTargetClass_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("expected");
    // Under a locale that writes a decimal comma, fractions must survive all the same.
    const QString fr = u"fr_FR"_s;
    const QString us = u"en_US"_s;
    QTest::newRow("null stays null") << fr << QVariant() << int(ado::AdoType::Double) << QVariant();
    QTest::newRow("double to text keeps its point") << fr << QVariant(12.5) << int(ado::AdoType::VarWChar) << QVariant(u"12.5"_s);
    QTest::newRow("double to numeric keeps its fraction") << fr << QVariant(12.5) << int(ado::AdoType::Integer) << QVariant(12.5);
    QTest::newRow("date to text") << fr << QVariant(QDate(2024, 3, 5)) << int(ado::AdoType::VarWChar)
                                  << QVariant(u"2024-03-05"_s);
    QTest::newRow("text to date, locale") << us << QVariant(u"3/7/2024"_s) << int(ado::AdoType::DBDate)
                                          << QVariant(QDate(2024, 3, 7));
    QTest::newRow("text to date, ISO") << fr << QVariant(u"2024-03-05"_s) << int(ado::AdoType::DBDate)
                                       << QVariant(QDate(2024, 3, 5));
    QTest::newRow("number to date counts days") << fr << QVariant(2.5) << int(ado::AdoType::Date)
                                                << QVariant(QDateTime(QDate(1900, 1, 1), QTime(12, 0)));
    QTest::newRow("GUID target takes text") << fr << QVariant(qlonglong(42)) << int(ado::AdoType::Guid) << QVariant(u"42"_s);
    QTest::newRow("other unchanged") << fr << QVariant(true) << int(ado::AdoType::Boolean) << QVariant(true);
}

void TestAppendFrom::convertByTargetClass()
{
    QFETCH(QString, locale);
    QFETCH(QVariant, value);
    QFETCH(int, type);
    QFETCH(QVariant, expected);
    const QLocale saved;
    QLocale::setDefault(QLocale(locale));
    const auto restore = qScopeGuard([&] { QLocale::setDefault(saved); });
    const QVariant converted = ValueConverter::ConvertValue(value, type);
    QCOMPARE(converted.isNull(), expected.isNull());
    if (!expected.isNull()) {
        QCOMPARE(converted.metaType(), expected.metaType());
        QCOMPARE(converted, expected);
    }
}

void TestAppendFrom::importsEachSource_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("source");
    for (const QString& kind : {u"sqlite"_s, u"postgres"_s})
        for (const QString& source : {u"csv"_s, u"dbase"_s, u"advantage"_s, u"excel"_s, u"access"_s})
            QTest::newRow(qPrintable(kind + u" from "_s + source)) << kind << source;
}

// Every row of the file arrives, its values as a reader of our own does not see them.
void TestAppendFrom::importsEachSource()
{
    QFETCH(QString, kind);
    QFETCH(QString, source);
    const bool pg = kind == u"postgres";
    const QString real = pg ? u"DOUBLE PRECISION"_s : u"REAL"_s;
    QString table;
    QStringList create;
    QList<ModalAnswerer::Answer> answers;
    QStringList expectedKeys;
    QString keyColumn;
    if (source == u"csv") {
        table = u"towns"_s;
        create << u"CREATE TABLE towns (id INTEGER, city VARCHAR(40), population INTEGER, note VARCHAR(10) DEFAULT 'n/a')"_s;
        answers << PickFile(CommaText, path(u"csv/smallpop.csv"_s));
        for (const QStringList& row : CsvRows(QString::fromUtf8(testsupport::ReadBytes(path(u"csv/smallpop.csv"_s))), u','))
            expectedKeys << row.value(0) + u'|' + row.value(3);
        keyColumn = u"city || '|' || CAST(population AS VARCHAR(20))"_s;
    } else if (source == u"dbase" || source == u"advantage") {
        table = u"points"_s;
        create << u"CREATE TABLE points (\"Point_ID\" VARCHAR(12), note VARCHAR(10) DEFAULT 'n/a')"_s;
        if (source == u"dbase")
            answers << PickFile(DbaseFiles, path(u"dbf/dbase_03.dbf"_s));
        else
            answers << PickFile(AdvantageCdx, path(u"dbf/dbase_03.dbf"_s))
                    << ModalAnswerer::For(u"diaLogin"_s, ModalAnswerer::Button(u"cmdOK"_s));
        const QString dump = Run(u"dbfdump"_s, {path(u"dbf/dbase_03.dbf"_s)});
        if (dump.isEmpty())
            QSKIP("dbfdump (Debian package shapelib) is not installed");
        const QStringList lines = dump.split(u'\n', Qt::SkipEmptyParts);
        for (qsizetype i = 1; i < lines.size(); ++i)
            expectedKeys << lines[i].section(u' ', 0, 0, QString::SectionSkipEmpty);
        keyColumn = u"\"Point_ID\""_s;
    } else if (source == u"excel") {
        table = u"iris"_s;
        // A workbook's column names have their "." written "#".
        create << u"CREATE TABLE iris (\"Sepal#Length\" %1, \"Species\" VARCHAR(20), note VARCHAR(10) DEFAULT 'n/a')"_s.arg(real);
        answers << PickFile(ExcelFile, path(u"xlsx/iris.xlsx"_s)) << PickTable(u"iris$"_s);
        for (double v : XlsxFirstColumn(path(u"xlsx/iris.xlsx"_s)))
            expectedKeys << QString::number(v);
        keyColumn = u"\"Sepal#Length\""_s;
    } else {
        table = u"Shippers"_s;
        create << u"CREATE TABLE \"Shippers\" (\"ShipperID\" INTEGER, \"CompanyName\" VARCHAR(40) NOT NULL, "
                  u"\"Phone\" VARCHAR(24), note VARCHAR(10) DEFAULT 'n/a')"_s;
        answers << PickFile(AccessFile, path(u"mdb/Northwind.mdb"_s)) << PickTable(u"Shippers"_s);
        const QString csv = Run(u"mdb-export"_s, {path(u"mdb/Northwind.mdb"_s), u"Shippers"_s});
        if (csv.isEmpty())
            QSKIP("mdbtools' command-line tools are not installed");
        for (const QStringList& row : CsvRows(csv, u','))
            expectedKeys << row.value(1);
        keyColumn = u"\"CompanyName\""_s;
    }
    QVERIFY(!expectedKeys.isEmpty());
    QVERIFY(open(kind, create));
    frmAppendFrom* form = openImport(table);
    QVERIFY(form);
    QCOMPARE(form->windowTitle(), u"Importer des lignes dans la table - "_s + table);
    browse(form, answers);
    QCOMPARE(form->SourceConnectionString().contains(u"User ID=adssys;"_s), source == u"advantage");
    QCOMPARE(PreviewRows(form), expectedKeys.size());
    QCOMPARE(import(form), QStringList{Success});

    QStringList stored;
    const auto rows = readBack(u"SELECT "_s + keyColumn + u", note FROM \""_s + table + u"\""_s);
    for (const auto& row : rows) {
        stored << (source == u"excel" ? QString::number(row.value(0).toDouble()) : row.value(0).toString());
        // A target column without a namesake keeps what the database gives a new row.
        QCOMPARE(row.value(1).toString(), u"n/a"_s);
    }
    QCOMPARE(stored, expectedKeys);
}

void TestAppendFrom::namesAndNumbers_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("sqlite") << u"sqlite"_s;
    QTest::newRow("postgres") << u"postgres"_s;
}

// "Nom" is no name for "nom"; text going to a number gives its leading number.
void TestAppendFrom::namesAndNumbers()
{
    QFETCH(QString, kind);
    const QString real = kind == u"postgres" ? u"DOUBLE PRECISION"_s : u"REAL"_s;
    QVERIFY(open(kind, {u"CREATE TABLE amounts (nom VARCHAR(10), label VARCHAR(10), amount %1)"_s.arg(real)}));
    frmAppendFrom* form = openImport(u"amounts"_s);
    QVERIFY(form);
    browse(form, {PickFile(SemicolonText, path(u"conv/amounts.csv"_s))});
    QCOMPARE(import(form), QStringList{Success});
    const auto rows = readBack(u"SELECT nom, label, amount FROM amounts ORDER BY label"_s);
    QCOMPARE(rows.size(), 3);
    for (const auto& row : rows)
        QVERIFY2(row[0].isNull(), qPrintable(row[0].toString()));
    QCOMPARE(rows[0][2].toDouble(), 12.0);
    QCOMPARE(rows[1][2].toDouble(), 1234.5);
    QCOMPARE(rows[2][2].toDouble(), 0.0);
}

void TestAppendFrom::failingRowStopsTheImport_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("create");
    for (const QString& kind : {u"sqlite"_s, u"postgres"_s}) {
        QTest::newRow(qPrintable(kind + u": null into NOT NULL"_s))
            << kind << u"nulls/amounts.csv"_s << u"CREATE TABLE t (label VARCHAR(10), amount INTEGER NOT NULL)"_s;
        QTest::newRow(qPrintable(kind + u": not a date"_s))
            << kind << u"dates/visits.csv"_s << u"CREATE TABLE t (label VARCHAR(10), day DATE)"_s;
    }
}

// The third row fails: the two before it are stored, it and the rows after it are not,
// and the connection takes the next import as if nothing had happened.
void TestAppendFrom::failingRowStopsTheImport()
{
    QFETCH(QString, kind);
    QFETCH(QString, file);
    QFETCH(QString, create);
    QVERIFY(open(kind, {create}));
    frmAppendFrom* form = openImport(u"t"_s);
    QVERIFY(form);
    browse(form, {PickFile(SemicolonText, path(file))});
    const QStringList texts = import(form);
    QCOMPARE(texts.size(), 1);
    QVERIFY2(texts[0].startsWith(ui::Sentence::Operation + u"\n\n"_s), qPrintable(texts[0]));
    QVERIFY(!QGuiApplication::overrideCursor());
    const auto rows = readBack(u"SELECT label FROM t ORDER BY label"_s);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0][0].toString(), u"r1"_s);
    QCOMPARE(rows[1][0].toString(), u"r2"_s);
    if (file.startsWith(u"dates")) {
        const auto days = readBack(u"SELECT day FROM t ORDER BY label"_s);
        QCOMPARE(ado::AdoType::Normalize(days[0][0], ado::AdoType::DBDate).toDate(), QDate(2024, 3, 5));
        QCOMPARE(ado::AdoType::Normalize(days[1][0], ado::AdoType::DBDate).toDate(), QDate(2024, 3, 7));
    }

    MDabrix::Cnx->Execute(file.startsWith(u"dates") ? u"INSERT INTO t (label) VALUES ('after')"_s
                                                    : u"INSERT INTO t (label, amount) VALUES ('after', 9)"_s);
    QCOMPARE(readBack(u"SELECT label FROM t"_s).size(), 3);
}

void TestAppendFrom::emptySourceSucceeds()
{
    QVERIFY(open(u"sqlite"_s, {u"CREATE TABLE amounts (label VARCHAR(10), amount REAL)"_s}));
    frmAppendFrom* form = openImport(u"amounts"_s);
    QVERIFY(form);
    browse(form, {PickFile(SemicolonText, path(u"empty/amounts.csv"_s))});
    QCOMPARE(PreviewRows(form), 0);
    QCOMPARE(import(form), QStringList{Success});
    QCOMPARE(readBack(u"SELECT * FROM amounts"_s).size(), 0);
}

void TestAppendFrom::secondImportAppendsAgain()
{
    QVERIFY(open(u"postgres"_s, {u"CREATE TABLE towns (city VARCHAR(40), population INTEGER)"_s}));
    frmAppendFrom* form = openImport(u"towns"_s);
    QVERIFY(form);
    browse(form, {PickFile(CommaText, path(u"csv/smallpop.csv"_s))});
    // A data window open on the table shows the new rows once the import is done.
    DbTablesFixture::LoadedForm(u"frmDbTables"_s)->findChild<QAction*>(u"Open"_s)->trigger();
    auto* data = qobject_cast<frmTblData*>(DbTablesFixture::LoadedForm(u"frmTblData"_s));
    QVERIFY(data);
    QTRY_VERIFY(!data->Recordset()->IsFetching());
    QCOMPARE(data->Recordset()->RecordCount(), 0);
    const int fileRows = int(CsvRows(QString::fromUtf8(testsupport::ReadBytes(path(u"csv/smallpop.csv"_s))), u',').size());
    QCOMPARE(import(form), QStringList{Success});
    QCOMPARE(readBack(u"SELECT * FROM towns"_s).size(), fileRows);
    QTRY_VERIFY(!data->Recordset()->IsFetching());
    QCOMPARE(data->Recordset()->RecordCount(), fileRows);
    QVERIFY(form->isVisible());
    QCOMPARE(import(form), QStringList{Success});
    const auto counts = readBack(u"SELECT city, population, COUNT(*) FROM towns GROUP BY city, population"_s);
    QCOMPARE(counts.size(), fileRows);
    for (const auto& row : counts)
        QCOMPARE(row.value(2).toInt(), 2);
}

void TestAppendFrom::importBeforeBrowseFails()
{
    QVERIFY(open(u"sqlite"_s, {u"CREATE TABLE amounts (label VARCHAR(10))"_s}));
    frmAppendFrom* form = openImport(u"amounts"_s);
    QVERIFY(form);
    const QStringList texts = import(form);
    QCOMPARE(texts.size(), 1);
    QVERIFY2(texts[0].startsWith(ui::Sentence::Operation + u"\n\n"_s), qPrintable(texts[0]));
}

void TestAppendFrom::cancelLeavesTheWindowAsItWas_data()
{
    QTest::addColumn<QString>("cancelled");
    QTest::newRow("file dialog") << u"file dialog"_s;
    QTest::newRow("login") << u"login"_s;
    QTest::newRow("table list") << u"table list"_s;
}

void TestAppendFrom::cancelLeavesTheWindowAsItWas()
{
    QFETCH(QString, cancelled);
    QList<ModalAnswerer::Answer> answers;
    if (cancelled == u"file dialog")
        answers << ModalAnswerer::For(u"QFileDialog"_s, ModalAnswerer::Reject());
    else if (cancelled == u"login")
        answers << PickFile(AdvantageCdx, path(u"dbf/dbase_03.dbf"_s))
                << ModalAnswerer::For(u"diaLogin"_s, ModalAnswerer::Button(u"cmdCancel"_s));
    else
        answers << PickFile(AccessFile, path(u"mdb/Northwind.mdb"_s))
                << ModalAnswerer::For(u"diaSourceTable"_s, ModalAnswerer::Button(u"cmdCancel"_s));
    QVERIFY(open(u"sqlite"_s, {u"CREATE TABLE towns (city VARCHAR(40))"_s}));
    frmAppendFrom* form = openImport(u"towns"_s);
    QVERIFY(form);
    browse(form, {PickFile(CommaText, path(u"csv/smallpop.csv"_s))});
    auto* box = form->findChild<QLineEdit*>(u"txtImportFilePath"_s);
    const QString shownPath = box->text();
    QCOMPARE(QDir::fromNativeSeparators(shownPath), path(u"csv/smallpop.csv"_s));
    const QString cnx = form->SourceConnectionString();
    const int rows = PreviewRows(form);
    QVERIFY(rows > 0);

    browse(form, answers);
    QCOMPARE(box->text(), shownPath);
    QCOMPARE(form->SourceConnectionString(), cnx);
    QCOMPARE(form->SourceTable(), u"smallpop.csv"_s);
    QCOMPARE(PreviewRows(form), rows);
}

void TestAppendFrom::accessSourceAsksForItsTable()
{
    QVERIFY(open(u"sqlite"_s, {u"CREATE TABLE \"shippers\" (\"ShipperID\" INTEGER, \"CompanyName\" VARCHAR(40))"_s}));
    frmAppendFrom* form = openImport(u"shippers"_s);
    QVERIFY(form);
    QString preselected;
    QStringList offered;
    browse(form, {PickFile(AccessFile, path(u"mdb/Northwind.mdb"_s)), PickTable(u"Shippers"_s, &preselected, &offered)});
    QStringList tables = Run(u"mdb-tables"_s, {u"-1"_s, path(u"mdb/Northwind.mdb"_s)}).split(u'\n', Qt::SkipEmptyParts);
    if (tables.isEmpty())
        QSKIP("mdbtools' command-line tools are not installed");
    // The table named like the target comes selected, letter case aside.
    QCOMPARE(preselected, u"Shippers"_s);
    offered.sort();
    tables.sort();
    QCOMPARE(offered, tables);
    QCOMPARE(form->SourceTable(), u"Shippers"_s);
    QCOMPARE(QDir::fromNativeSeparators(form->findChild<QLineEdit*>(u"txtImportFilePath"_s)->text()),
             path(u"mdb/Northwind.mdb"_s));
    const int count = Run(u"mdb-count"_s, {path(u"mdb/Northwind.mdb"_s), u"Shippers"_s}).trimmed().toInt();
    QCOMPARE(PreviewRows(form), count);
    QCOMPARE(import(form), QStringList{Success});
    QCOMPARE(readBack(u"SELECT * FROM shippers"_s).size(), count);
}

void TestAppendFrom::settingsKeepFolderAndType()
{
    QVERIFY(open(u"sqlite"_s, {u"CREATE TABLE towns (city VARCHAR(40))"_s}));
    frmAppendFrom* form = openImport(u"towns"_s);
    QVERIFY(form);
    browse(form, {PickFile(CommaText, path(u"csv/smallpop.csv"_s))});
    QPointer<frmAppendFrom> guard(form);
    form->findChild<QPushButton*>(u"cmdClose"_s)->click();
    QTRY_VERIFY(!guard);
    QSettings settings(u"Corvanet"_s, u"Dabrix"_s);
    QCOMPARE(settings.value(u"General/ImportDirectory"_s).toString(), path(u"csv"_s));
    QCOMPARE(settings.value(u"General/ImportFileType"_s).toInt(), CommaText);

    frmAppendFrom* next = openImport(u"towns"_s);
    QVERIFY(next);
    QString folder;
    QString filter;
    QStringList filters;
    browse(next, {ModalAnswerer::For(u"QFileDialog"_s, [&](QWidget* w) {
        auto* dialog = static_cast<QFileDialog*>(w);
        folder = dialog->directory().absolutePath();
        filter = dialog->selectedNameFilter();
        filters = dialog->nameFilters();
        static_cast<QDialog*>(dialog)->reject();
    })});
    QCOMPARE(folder, path(u"csv"_s));
    // The dialog shows each entry without the patterns Qt adds to it.
    QVERIFY2(filters.value(CommaText - 1).startsWith(filter), qPrintable(filter));
    QVERIFY(!filters.value(SemicolonText - 1).startsWith(filter));
}

void TestAppendFrom::severalWindowsAtOnce()
{
    QVERIFY(open(u"sqlite"_s, {u"CREATE TABLE a (x INTEGER)"_s, u"CREATE TABLE b (x INTEGER)"_s}));
    frmAppendFrom* first = openImport(u"a"_s);
    frmAppendFrom* second = openImport(u"b"_s);
    frmAppendFrom* third = openImport(u"a"_s);
    QVERIFY(first && second && third);
    QCOMPARE(DbTablesFixture::LoadedCount(u"frmAppendFrom"_s), 3);
    QCOMPARE(first->TargetTable(), u"a"_s);
    QCOMPARE(second->windowTitle(), u"Importer des lignes dans la table - b"_s);
    QVERIFY(first != third);
}

void TestAppendFrom::closingDuringImportStopsIt_data()
{
    QTest::addColumn<bool>("whileStoring");
    QTest::newRow("while the source is read") << false;
    QTest::newRow("while rows are stored") << true;
}

// Closing the window during an import stops it: the rows stored so far stay, each once,
// and the window goes.
void TestAppendFrom::closingDuringImportStopsIt()
{
    QFETCH(bool, whileStoring);
    QVERIFY(open(u"sqlite"_s, {u"CREATE TABLE big (n INTEGER, label VARCHAR(20))"_s}));
    frmAppendFrom* form = openImport(u"big"_s);
    QVERIFY(form);
    browse(form, {PickFile(SemicolonText, path(u"big/rows.csv"_s))});
    QPointer<frmAppendFrom> guard(form);
    auto* label = form->findChild<QLabel*>(u"lblProgress"_s);
    bool wasImporting = false;
    bool buttonGreyed = false;
    QString progress;
    // Runs whenever the import lets the event loop in.
    QTimer poll;
    connect(&poll, &QTimer::timeout, form, [&] {
        const bool storing = !label->text().startsWith(u"0 "_s);
        if (!form->IsImporting() || label->text().isEmpty() || storing != whileStoring)
            return;
        poll.stop();
        wasImporting = true;
        buttonGreyed = !form->findChild<QPushButton*>(u"cmdImport"_s)->isEnabled();
        progress = label->text();
        form->close();
    });
    poll.start(0);
    const QStringList texts = import(form);
    QVERIFY(wasImporting);
    QVERIFY(buttonGreyed);
    QVERIFY2(progress.contains(u"enregistrée(s) sur"_s), qPrintable(progress));
    QCOMPARE(texts, QStringList());
    QTRY_VERIFY(!guard);
    const auto rows = readBack(u"SELECT COUNT(*), COUNT(DISTINCT n), MIN(n), MAX(n) FROM big"_s);
    const int count = rows.value(0).value(0).toInt();
    if (!whileStoring) {
        QCOMPARE(count, 0);
        return;
    }
    QVERIFY2(count > 0 && count < 100000, qPrintable(QString::number(count)));
    QCOMPARE(rows[0][1].toInt(), count);
    QCOMPARE(rows[0][2].toInt(), 1);
    QCOMPARE(rows[0][3].toInt(), count);
}

void TestAppendFrom::importerAgainDuringImportIsIgnored()
{
    QVERIFY(open(u"sqlite"_s, {u"CREATE TABLE big (n INTEGER, label VARCHAR(20))"_s}));
    frmAppendFrom* form = openImport(u"big"_s);
    QVERIFY(form);
    browse(form, {PickFile(SemicolonText, path(u"big/rows.csv"_s))});
    // Enter and a click, once while the source is read and once while rows are stored.
    auto* label = form->findChild<QLabel*>(u"lblProgress"_s);
    QSet<bool> pressedWhileStoring;
    QTimer poll;
    connect(&poll, &QTimer::timeout, form, [&] {
        if (!form->IsImporting() || label->text().isEmpty())
            return;
        const bool storing = !label->text().startsWith(u"0 "_s);
        if (pressedWhileStoring.contains(storing))
            return;
        pressedWhileStoring << storing;
        QTest::keyClick(form, Qt::Key_Return);
        QMetaObject::invokeMethod(form->findChild<QPushButton*>(u"cmdImport"_s), "clicked", Q_ARG(bool, false));
    });
    poll.start(0);
    QCOMPARE(import(form), QStringList{Success});
    poll.stop();
    QCOMPARE(pressedWhileStoring, (QSet<bool>{false, true}));
    const auto rows = readBack(u"SELECT COUNT(*), COUNT(DISTINCT n) FROM big"_s);
    QCOMPARE(rows[0][0].toInt(), 100000);
    QCOMPARE(rows[0][1].toInt(), 100000);
}

DABRIX_TEST_MAIN(TestAppendFrom)
#include "tst_appendfrom.moc"
