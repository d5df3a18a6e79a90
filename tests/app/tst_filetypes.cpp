#include "support/FileBytes.h"
#include "support/TestMain.h"

#include "ado/AdoError.h"
#include "ado/Connection.h"
#include "app/MDI.h"
#include "app/MDabrix.h"
#include "ui/DataGrid.h"
#include "ui/FormsRegistry.h"
#include "windows/frmTblData.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>

#include <quazipfile.h>

using testsupport::ReadBytes;
using testsupport::WriteBytes;

using namespace Qt::StringLiterals;

namespace {

// How a file's rows are counted without the program's own readers.
enum class Counter { Mdb, Dbf, Paradox, Xlsx, Text, Sqlite };

const QString FileEntry = u"(Fichier...)"_s;
const QString OpenFailure = u"Je n'arrive pas à ouvrir DB '"_s;
constexpr int NotAnswered = -1;

QString Run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning("%s failed: %s", qPrintable(program), process.readAllStandardError().constData());
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

int XlsxRows(const QString& file)
{
    QuaZipFile sheet(file, u"xl/worksheets/sheet1.xml"_s);
    if (!sheet.open(QIODevice::ReadOnly))
        return -1;
    return int(sheet.readAll().count("<row "));
}

// Data rows of a file or table, counted by a reader that is not the program's.
int IndependentCount(Counter counter, const QString& file, const QString& table)
{
    switch (counter) {
    case Counter::Mdb:
        return Run(u"mdb-count"_s, {file, table}).trimmed().toInt();
    case Counter::Dbf:
        // dbfdump prints a line of field names, then one line per record.
        return int(Run(u"dbfdump"_s, {file}).count(u'\n')) - 1;
    case Counter::Paradox: {
        // The header keeps the record count at offset 6, little-endian.
        const QByteArray header = ReadBytes(file).left(10);
        return header.size() == 10 ? int(qFromLittleEndian<quint32>(header.constData() + 6)) : -1;
    }
    case Counter::Xlsx:
        return XlsxRows(file) - 1;
    case Counter::Text:
        return int(ReadBytes(file).count('\n')) - 1;
    case Counter::Sqlite:
        return Run(u"sqlite3"_s, {file, u"SELECT count(*) FROM [%1]"_s.arg(table)}).trimmed().toInt();
    }
    return -1;
}

// What an independent reader finds in the file after a change.
QString IndependentDump(Counter counter, const QString& file, const QString& table)
{
    switch (counter) {
    case Counter::Dbf:
        return Run(u"dbfdump"_s, {file});
    case Counter::Text:
        return QString::fromUtf8(ReadBytes(file));
    case Counter::Sqlite:
        return Run(u"sqlite3"_s, {file, u"SELECT * FROM [%1]"_s.arg(table)});
    default:
        return {};
    }
}

// Plays the dialogs of one user action in order. Each step waits for its window among the
// visible ones: under the offscreen platform the modal stack may name the window below
// the newest for a moment, so the active modal widget cannot tell which dialog is up.
// Once every step is played, a message box nobody planned is noted and dismissed, so that
// an unexpected failure report fails the test instead of blocking it.
class DialogScript : public QObject {
public:
    struct Step {
        std::function<bool(QWidget*)> matches;
        std::function<void(QWidget*)> play;
    };

    explicit DialogScript(QList<Step> steps) : m_steps(std::move(steps))
    {
        connect(&m_timer, &QTimer::timeout, this, &DialogScript::poll);
        m_timer.start(20);
    }

    bool Done() const { return m_next == m_steps.size(); }
    void Stop() { m_timer.stop(); }
    // Title and text of every message box seen, planned or not.
    const QStringList& Messages() const { return m_messages; }
    QString Strays() const { return m_strays.join(u"\n---\n"_s); }

private:
    void poll()
    {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible() || m_played.contains(w))
                continue;
            auto* box = qobject_cast<QMessageBox*>(w);
            const bool planned = !Done() && m_steps.at(m_next).matches(w);
            if (!planned && !(Done() && box))
                continue;
            m_played << w;
            if (box)
                m_messages << box->windowTitle() + u": "_s + box->text();
            const auto play = planned ? m_steps.at(m_next++).play : [](QWidget* stray) {
                static_cast<QDialog*>(stray)->done(QMessageBox::Ok);
            };
            if (!planned)
                m_strays << m_messages.last();
            // Played outside this slot: a step that opens the next dialog runs its event loop.
            QTimer::singleShot(0, this, [play, target = QPointer<QWidget>(w)] {
                if (target)
                    play(target);
            });
            return;
        }
    }

    QList<Step> m_steps;
    qsizetype m_next = 0;
    QList<QPointer<QWidget>> m_played;
    QStringList m_messages;
    QStringList m_strays;
    QTimer m_timer;
};

bool Named(QWidget* w, const QString& name)
{
    return w->objectName() == name;
}

DialogScript::Step Choose(const QString& entry)
{
    return {[](QWidget* w) { return Named(w, u"frmChoixDb"_s); },
            [entry](QWidget* w) {
                auto* list = w->findChild<QListWidget*>(u"Lis"_s);
                const auto found = list->findItems(entry, Qt::MatchExactly | Qt::MatchCaseSensitive);
                QVERIFY(!found.isEmpty());
                list->setCurrentItem(found.first());
                w->findChild<QPushButton*>(u"cmdOK"_s)->click();
            }};
}

// Answers the file dialog as a user does: picks the file type, types the path, confirms.
DialogScript::Step PickFile(int fileType, const QString& path)
{
    return {[](QWidget* w) { return qobject_cast<QFileDialog*>(w) != nullptr; },
            [=](QWidget* w) {
                auto* dialog = static_cast<QFileDialog*>(w);
                dialog->selectNameFilter(dialog->nameFilters().value(fileType - 1));
                auto* edit = dialog->findChild<QLineEdit*>(u"fileNameEdit"_s);
                QVERIFY(edit);
                edit->setText(path);
                static_cast<QDialog*>(dialog)->accept();
            }};
}

DialogScript::Step Login()
{
    return {[](QWidget* w) { return Named(w, u"diaLogin"_s); },
            [](QWidget* w) {
                w->findChild<QLineEdit*>(u"txtUserName"_s)->setText(u"adssys"_s);
                w->findChild<QPushButton*>(u"cmdOK"_s)->click();
            }};
}

DialogScript::Step AcceptMessage()
{
    return {[](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
            [](QWidget* w) { static_cast<QMessageBox*>(w)->buttons().value(0)->click(); }};
}

QList<DialogScript::Step> OpeningSteps(int fileType, const QString& path)
{
    QList<DialogScript::Step> steps{Choose(FileEntry), PickFile(fileType, path)};
    if (fileType >= 3 && fileType <= 8)
        steps << Login();
    return steps;
}

MDI* ShownMainWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* m = qobject_cast<MDI*>(w); m && m->isVisible())
            return m;
    return nullptr;
}

QList<QWidget*> LoadedForms(const QString& name)
{
    QList<QWidget*> forms;
    for (QWidget* form : ui::FormsRegistry::Forms())
        if (form->objectName() == name)
            forms << form;
    return forms;
}

// The connection's "Jet OLEDB:Engine Type", or NotAnswered when it has no such property.
int EngineType(const ado::Connection& connection)
{
    try {
        return connection.Properties(u"Jet OLEDB:Engine Type"_s).toInt();
    } catch (const ado::AdoError& e) {
        if (e.Number() != ado::err::ItemNotFound)
            throw;
        return NotAnswered;
    }
}

QString Objects(int count)
{
    return QString::number(count) + u" objet(s)"_s;
}

// Where a field of a record lies in a dBase file, read from its header; -1 when it has no
// such field.
qsizetype DbfFieldOffset(const QByteArray& bytes, int record, const QByteArray& field)
{
    const qsizetype headerLength = qFromLittleEndian<quint16>(bytes.constData() + 8);
    const qsizetype recordLength = qFromLittleEndian<quint16>(bytes.constData() + 10);
    qsizetype offset = 1; // the deletion flag
    for (qsizetype d = 32; d + 32 <= headerLength && bytes[d] != '\r'; d += 32) {
        if (QByteArray(bytes.constData() + d, 11).split('\0').first() == field)
            return headerLength + record * recordLength + offset;
        offset += quint8(bytes[d + 16]);
    }
    return -1;
}

} // namespace

class TestFileTypes : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void engineTypeNamesTheFormat_data();
    void engineTypeNamesTheFormat();
    void everyFileTypeOpensFromTheChooser_data();
    void everyFileTypeOpensFromTheChooser();
    void unavailableTypesSayWhy_data();
    void unavailableTypesSayWhy();
    void gridEditOfASortedFileTableReachesItsRecord();
    void gridEditOfADateReachesItsRecord();

private:
    QString path(const QString& relative) const { return QDir(m_files.path()).filePath(relative); }
    void copyFixture(const QString& fixture, const QString& target);
    void writeFile(const QString& target, const QByteArray& bytes);
    // Through the main window's table list, as a user does: the table's data window, shown
    // with all its rows.
    void openTableWindow(const QString& table, int rows, frmTblData** window, DataGrid** grid);
    // Types text over a cell of the grid and leaves it with Return.
    void typeOver(DataGrid* grid, const QModelIndex& cell, const QString& text);

    QTemporaryDir m_files;
};

void TestFileTypes::copyFixture(const QString& fixture, const QString& target)
{
    QVERIFY(QDir().mkpath(QFileInfo(path(target)).path()));
    QVERIFY2(QFile::copy(testsupport::FixturePath(fixture), path(target)), qPrintable(fixture));
    // The fixtures are read-only; the copies are ours to change.
    QVERIFY(QFile::setPermissions(path(target), QFile::ReadOwner | QFile::WriteOwner));
}

void TestFileTypes::writeFile(const QString& target, const QByteArray& bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path(target)).path()));
    QFile f(path(target));
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

void TestFileTypes::initTestCase()
{
    QVERIFY(m_files.isValid());
    for (const QString& tool : {u"mdb-count"_s, u"dbfdump"_s, u"sqlite3"_s})
        QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(), qPrintable(tool + u" is needed for the independent counts"_s));
    copyFixture(u"mdb/northwind-jet4/Northwind.mdb"_s, u"jet4/Northwind.mdb"_s);
    copyFixture(u"mdb/mdbtestdata/nwind.mdb"_s, u"jet3/nwind.mdb"_s);
    for (const QString& folder : {u"dbase"_s, u"cdx"_s, u"ntx"_s, u"remote"_s, u"gridedit"_s}) {
        copyFixture(u"dbf/infused/dbase_8b.dbf"_s, folder + u"/dbase_8b.dbf"_s);
        copyFixture(u"dbf/infused/dbase_8b.dbt"_s, folder + u"/dbase_8b.dbt"_s);
    }
    for (const QString& ext : {u"DB"_s, u"PX"_s, u"VAL"_s})
        copyFixture(u"paradox/paradoxdriver/db/AREACODE."_s + ext, u"paradox/AREACODE."_s + ext);
    copyFixture(u"xlsx/readxl/iris-excel-xlsx.xlsx"_s, u"xlsx/iris.xlsx"_s);
    copyFixture(u"xls/readxl/iris-excel-xls.xls"_s, u"xls/iris.xls"_s);
    // The same rows under the three separators; the fields hold none of them and no quotes.
    const QByteArray products = ReadBytes(testsupport::FixturePath(u"csv/northwind-neo4j/products.csv"_s));
    QVERIFY(!products.isEmpty() && !products.contains('"') && !products.contains(';') && !products.contains('\t'));
    writeFile(u"tab/products.txt"_s, QByteArray(products).replace(',', '\t'));
    writeFile(u"comma/products.csv"_s, products);
    writeFile(u"semicolon/products.csv"_s, QByteArray(products).replace(',', ';'));
    QVERIFY(QDir().mkpath(path(u"lite"_s)));
    QVERIFY(!Run(u"sqlite3"_s, {path(u"lite/shop.sqlite"_s),
                                u"CREATE TABLE Clients (id INTEGER PRIMARY KEY, nom TEXT);"
                                u"INSERT INTO Clients (nom) VALUES ('Alpha'), ('Beta'), ('Gamma'); SELECT 'made';"_s})
                 .isEmpty());
    writeFile(u"ads/t1.adt"_s, "not read");
    writeFile(u"ads/app.add"_s, "not read");
}

void TestFileTypes::init()
{
    QSettings(u"Corvanet"_s, u"Dabrix"_s).clear();
    QSettings(u"Corvanet"_s, u"Ombrisk"_s).clear();
}

void TestFileTypes::cleanup()
{
    // A failed row must not leave its main window to the next one, nor wait on a dialog it
    // left behind (a failure reported after the row gave up): those are closed, and named.
    QTimer dismisser;
    QObject::connect(&dismisser, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            qWarning("closing a dialog left open: %s \"%s\"", modal->metaObject()->className(), qPrintable(modal->windowTitle()));
            modal->close();
        }
    });
    dismisser.start(50);
    if (QTest::currentTestFailed())
        QTest::qWait(300); // for a report still on its way
    if (MDI* mdi = ShownMainWindow()) {
        QPointer<MDI> guard(mdi);
        mdi->close();
        QTRY_VERIFY(guard.isNull());
    }
    MDabrix::CloseDatabase();
}

void TestFileTypes::engineTypeNamesTheFormat_data()
{
    QTest::addColumn<QString>("cnx");
    QTest::addColumn<int>("engineType");
    const QString jet = u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s;
    const QString ace = u"Provider=Microsoft.ACE.OLEDB.12.0;Data Source="_s;
    const QString dbase = path(u"dbase"_s);
    const QString paradox = path(u"paradox"_s);
    QTest::newRow("Access, Jet 4") << jet + path(u"jet4/Northwind.mdb"_s) << 5;
    QTest::newRow("Access, Jet 3") << jet + path(u"jet3/nwind.mdb"_s) << 4;
    QTest::newRow("Access, Jet 4 through ACE") << ace + path(u"jet4/Northwind.mdb"_s) << 5;
    QTest::newRow("dBase III") << jet + dbase + u";Extended Properties=dBASE III;"_s << 10;
    QTest::newRow("dBase IV, as the chooser writes it") << jet + dbase + u";Extended Properties = Dbase IV;"_s << 11;
    QTest::newRow("dBase 5") << jet + dbase + u";Extended Properties=dBASE 5.0;"_s << 12;
    QTest::newRow("dBase, unknown version") << jet + dbase + u";Extended Properties=dBASE 7;"_s << 0;
    QTest::newRow("Paradox 3") << jet + paradox + u";Extended Properties=Paradox 3.x;"_s << 50;
    QTest::newRow("Paradox 4") << jet + paradox + u";Extended Properties=Paradox 4.x;"_s << 51;
    QTest::newRow("Paradox 5") << jet + paradox + u";Extended Properties = Paradox 5.x;"_s << 52;
    QTest::newRow("Paradox 7") << jet + paradox + u";Extended Properties=Paradox 7.x;"_s << 53;
    QTest::newRow("Excel 5") << jet + path(u"xls/iris.xls"_s) + u";Extended Properties=\"Excel 5.0;HDR=Yes\";"_s << 22;
    QTest::newRow("Excel 8 .xls") << jet + path(u"xls/iris.xls"_s) + u";Extended properties=\"Excel 8.0;HRD=Yes\";"_s << 23;
    QTest::newRow("Excel 8 .xlsx through ACE") << ace + path(u"xlsx/iris.xlsx"_s) + u";Extended properties=\"Excel 8.0;HRD=Yes\";"_s << 23;
    QTest::newRow("Excel 12 Xml has no code") << ace + path(u"xlsx/iris.xlsx"_s) + u";Extended Properties=\"Excel 12.0 Xml;HDR=Yes\";"_s << 0;
    QTest::newRow("text") << jet + path(u"comma"_s) + u";Extended Properties=\"Text\";"_s << 60;
    QTest::newRow("text, options after the name") << jet + path(u"comma"_s) + u";Extended Properties=\"text;HDR=Yes;FMT=Delimited\";"_s << 60;
    QTest::newRow("Advantage free tables") << u"Provider=Advantage OLE DB Provider;Data Source="_s + dbase
            + u";Advantage Table Type=ADS_CDX;Advantage Server Type=ADS_LOCAL_SERVER;"_s
                                           << NotAnswered;
    QTest::newRow("SQLite") << u"Provider=SQLite;Data Source="_s + path(u"lite/shop.sqlite"_s) << NotAnswered;
}

void TestFileTypes::engineTypeNamesTheFormat()
{
    QFETCH(QString, cnx);
    QFETCH(int, engineType);
    ado::Connection connection;
    connection.Open(cnx);
    QCOMPARE(EngineType(connection), engineType);
}

void TestFileTypes::everyFileTypeOpensFromTheChooser_data()
{
    QTest::addColumn<int>("fileType");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("engineType");
    QTest::addColumn<bool>("jet4");
    QTest::addColumn<Counter>("counter");
    // The file that holds the rows when it is not the chosen one (a twin or a working copy).
    QTest::addColumn<QString>("countedFile");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<int>("affected");
    QTest::addColumn<int>("added");
    QTest::addColumn<QString>("expected");

    const QString dbfInsert = u"INSERT INTO dbase_8b ([CHARACTER], NUMERICAL) VALUES ('Ajout Dabrix', 42)"_s;
    const QString textInsert = u"INSERT INTO [%1] (productID, productName, unitPrice) VALUES (78, 'Ajout Dabrix', 9.5)"_s;
    QTest::newRow("1 Access, Jet 4") << 1 << u"jet4/Northwind.mdb"_s << u"Customers"_s << 5 << true << Counter::Mdb
                                     << QString() << QString() << 0 << 0 << QString();
    QTest::newRow("1 Access, Jet 3") << 1 << u"jet3/nwind.mdb"_s << u"Shippers"_s << 4 << false << Counter::Mdb
                                     << QString() << QString() << 0 << 0 << QString();
    QTest::newRow("2 dBase") << 2 << u"dbase/dbase_8b.dbf"_s << u"dbase_8b"_s << 11 << false << Counter::Dbf
                             << QString() << dbfInsert << 1 << 1 << u"Ajout Dabrix"_s;
    QTest::newRow("4 Advantage CDX free tables") << 4 << u"cdx/dbase_8b.dbf"_s << u"dbase_8b"_s << NotAnswered << false
                                                 << Counter::Dbf << QString()
                                                 << u"UPDATE dbase_8b SET [CHARACTER] = 'Deux CDX' WHERE NUMERICAL = 2"_s
                                                 << 1 << 0 << u"Deux CDX"_s;
    QTest::newRow("5 Advantage NTX free tables") << 5 << u"ntx/dbase_8b.dbf"_s << u"dbase_8b"_s << NotAnswered << false
                                                 << Counter::Dbf << QString()
                                                 << u"UPDATE dbase_8b SET [CHARACTER] = 'Trois NTX' WHERE NUMERICAL = 3"_s
                                                 << 1 << 0 << u"Trois NTX"_s;
    QTest::newRow("9 Paradox") << 9 << u"paradox/AREACODE.DB"_s << u"AREACODE"_s << 52 << false << Counter::Paradox
                               << QString() << QString() << 0 << 0 << QString();
    QTest::newRow("10 Excel .xlsx") << 10 << u"xlsx/iris.xlsx"_s << u"iris$"_s << 23 << false << Counter::Xlsx
                                    << QString() << QString() << 0 << 0 << QString();
    // The .xls holds the same sheet as the .xlsx, whose rows a zip reader can count.
    QTest::newRow("11 Excel 97-2003 .xls") << 11 << u"xls/iris.xls"_s << u"iris$"_s << 23 << false << Counter::Xlsx
                                           << u"xlsx/iris.xlsx"_s << QString() << 0 << 0 << QString();
    // Text tables are the copies in the work folder; the INSERT lands there.
    QTest::newRow("12 text, tab") << 12 << u"tab/products.txt"_s << u"products.txt"_s << 60 << false << Counter::Text
                                  << QString() << textInsert.arg(u"products.txt"_s) << 1 << 1 << u"78\tAjout Dabrix"_s;
    QTest::newRow("13 text, comma") << 13 << u"comma/products.csv"_s << u"products.csv"_s << 60 << false << Counter::Text
                                    << QString() << textInsert.arg(u"products.csv"_s) << 1 << 1 << u"78,Ajout Dabrix"_s;
    QTest::newRow("14 text, semicolon") << 14 << u"semicolon/products.csv"_s << u"products.csv"_s << 60 << false
                                        << Counter::Text << QString() << textInsert.arg(u"products.csv"_s) << 1 << 1
                                        << u"78;Ajout Dabrix"_s;
    QTest::newRow("15 SQLite") << 15 << u"lite/shop.sqlite"_s << u"Clients"_s << NotAnswered << false << Counter::Sqlite
                               << QString() << u"UPDATE Clients SET nom = 'Bêta' WHERE id = 2"_s << 1 << 0
                               << u"2|Bêta"_s;
}

void TestFileTypes::everyFileTypeOpensFromTheChooser()
{
    QFETCH(int, fileType);
    QFETCH(QString, file);
    QFETCH(QString, table);
    QFETCH(int, engineType);
    QFETCH(bool, jet4);
    QFETCH(Counter, counter);
    QFETCH(QString, countedFile);
    QFETCH(QString, statement);
    QFETCH(int, affected);
    QFETCH(int, added);
    QFETCH(QString, expected);

    DialogScript opening(OpeningSteps(fileType, path(file)));
    MDabrix::Main();
    QVERIFY(opening.Done());
    MDI* mdi = ShownMainWindow();
    QVERIFY2(mdi && opening.Strays().isEmpty(), qPrintable(u"the main window was not shown. "_s + opening.Strays()));
    QCOMPARE(MDabrix::IsJet4, jet4);
    QCOMPARE(EngineType(*MDabrix::Cnx), engineType);

    // Text tables are read from the work folder's copies, which the open prepared.
    const QString rows = countedFile.isEmpty()
        ? counter == Counter::Text
            ? QDir(MDabrix::WorkFolder).filePath(u"Main/"_s + table)
            : path(file)
        : path(countedFile);
    const int before = IndependentCount(counter, rows, table);
    QVERIFY2(before > 0, qPrintable(rows));

    QList<QWidget*> lists = LoadedForms(u"frmDbTables"_s);
    QCOMPARE(lists.size(), 1);
    auto* list = lists.first()->findChild<QListWidget*>(u"Lis"_s);
    const auto items = list->findItems(table, Qt::MatchExactly);
    QVERIFY2(items.size() == 1, qPrintable(u"not listed: "_s + table));
    list->setCurrentItem(items.first());
    lists.first()->findChild<QAction*>(u"Open"_s)->trigger();
    const QList<QWidget*> shown = LoadedForms(u"frmTblData"_s);
    QVERIFY2(shown.size() == 1, qPrintable(opening.Strays()));
    auto* data = qobject_cast<frmTblData*>(shown.first());
    QVERIFY(data);
    QTRY_COMPARE_WITH_TIMEOUT(data->StatusText(), Objects(before), 30000);
    QVERIFY2(opening.Strays().isEmpty(), qPrintable(opening.Strays()));

    if (statement.isEmpty())
        return;
    opening.Stop();
    mdi->findChild<QAction*>(u"mnu_AffSqlCmd"_s)->trigger();
    const QList<QWidget*> sqlWindows = LoadedForms(u"frmSqlCommand"_s);
    QCOMPARE(sqlWindows.size(), 1);
    auto* txtSql = sqlWindows.first()->findChild<QPlainTextEdit*>(u"txtSql"_s);
    txtSql->setPlainText(statement);
    DialogScript run({AcceptMessage()});
    QTest::keyPress(txtSql, Qt::Key_F5);
    QTest::keyRelease(txtSql, Qt::Key_F5);
    QTRY_VERIFY(run.Done());
    QCOMPARE(run.Messages(), QStringList{u"Commande Sql: "_s + QString::number(affected) + u" enregistrements affectés."_s});
    // The data window reloads after the statement and sees the change.
    QTRY_COMPARE_WITH_TIMEOUT(data->StatusText(), Objects(before + added), 30000);
    QCOMPARE(IndependentCount(counter, rows, table), before + added);
    const QString dump = IndependentDump(counter, rows, table);
    QVERIFY2(dump.contains(expected), qPrintable(dump.right(400)));
}

void TestFileTypes::unavailableTypesSayWhy_data()
{
    QTest::addColumn<int>("fileType");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("why");
    QTest::newRow("3 ADT tables") << 3 << u"ads/t1.adt"_s << u"ads"_s << u"Advantage ADT tables are not available here"_s;
    QTest::newRow("3 data dictionary") << 3 << u"ads/app.add"_s << u"ads/app.add"_s
                                       << u"Advantage data dictionaries (.add) are not available here"_s;
    QTest::newRow("4 data dictionary") << 4 << u"ads/app.add"_s << u"ads/app.add"_s
                                       << u"Advantage data dictionaries (.add) are not available here"_s;
    QTest::newRow("6 remote ADT") << 6 << u"ads/t1.adt"_s << u"ads"_s << u"The Advantage remote server is not available here"_s;
    QTest::newRow("7 remote CDX") << 7 << u"remote/dbase_8b.dbf"_s << u"remote"_s
                                  << u"The Advantage remote server is not available here"_s;
    QTest::newRow("8 remote NTX") << 8 << u"remote/dbase_8b.dbf"_s << u"remote"_s
                                  << u"The Advantage remote server is not available here"_s;
}

void TestFileTypes::unavailableTypesSayWhy()
{
    QFETCH(int, fileType);
    QFETCH(QString, file);
    QFETCH(QString, source);
    QFETCH(QString, why);

    DialogScript opening(OpeningSteps(fileType, path(file)) << AcceptMessage());
    MDabrix::Main();
    QVERIFY(opening.Done());
    QVERIFY(!ShownMainWindow());
    QVERIFY(!MDabrix::Cnx);
    QCOMPARE(opening.Messages().size(), 1);
    const QString message = opening.Messages().first();
    QVERIFY2(message.startsWith(u"Dabrix: "_s + OpenFailure + u"Provider=Advantage OLE DB Provider;\nData Source="_s + path(source) + u";\n"_s),
             qPrintable(message));
    const QString failure = message.section(u"'\n"_s, -1);
    QVERIFY2(failure.startsWith(QString::number(ado::err::Unspecified) + u' ' + why), qPrintable(failure));
}

// The user's whole way to change a dBase record: the chooser, the table list, the data
// window (whose rows are read straight from the file), a sort by a header click, a cell
// typed over; then the file, read by dbfdump, holds the change in that record only.
void TestFileTypes::gridEditOfASortedFileTableReachesItsRecord()
{
    const QString file = path(u"gridedit/dbase_8b.dbf"_s);
    const QStringList before = IndependentDump(Counter::Dbf, file, {}).split(u'\n');
    QCOMPARE(before.size(), 12); // the names, ten records and the end
    DialogScript opening(OpeningSteps(2, file));
    MDabrix::Main();
    QVERIFY(opening.Done());
    frmTblData* data = nullptr;
    DataGrid* grid = nullptr;
    openTableWindow(u"dbase_8b"_s, 10, &data, &grid);
    if (QTest::currentTestFailed())
        return;

    QHeaderView* header = grid->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
    // By CHARACTER: Eight, Five, Four... The second row shown is record 5.
    QTRY_COMPARE(grid->model()->index(0, 0).data().toString(), u"Eight"_s);
    QCOMPARE(grid->model()->index(1, 0).data().toString(), u"Five"_s);
    typeOver(grid, grid->model()->index(1, 0), u"Grille Dabrix"_s);
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(opening.Strays().isEmpty(), qPrintable(opening.Strays()));
    QCOMPARE(grid->model()->index(1, 0).data().toString(), u"Grille Dabrix"_s);

    const QStringList after = IndependentDump(Counter::Dbf, file, {}).split(u'\n');
    QCOMPARE(after.size(), before.size());
    for (int line = 0; line < before.size(); ++line) {
        if (line == 5) {
            QVERIFY2(after[line].startsWith(u"Grille Dabrix "_s), qPrintable(after[line]));
            QCOMPARE(after[line].mid(before[line].indexOf(u"5.00"_s)), before[line].mid(before[line].indexOf(u"5.00"_s)));
        } else {
            QCOMPARE(after[line], before[line]);
        }
    }
}

// A date typed over in a dBase grid. The edit finds its record by the date as it was read,
// which the file engine gives as "yyyy-MM-dd" text; the file then differs in that date
// alone (and the header's date of last update).
void TestFileTypes::gridEditOfADateReachesItsRecord()
{
    copyFixture(u"dbf/infused/dbase_03.dbf"_s, u"dates/dbase_03.dbf"_s);
    const QString file = path(u"dates/dbase_03.dbf"_s);
    const QByteArray before = ReadBytes(file);
    const qsizetype visited = DbfFieldOffset(before, 4, "Date_Visit");
    QVERIFY(visited > 0);
    QCOMPARE(before.mid(visited, 8), QByteArray("20050712"));
    DialogScript opening(OpeningSteps(2, file));
    MDabrix::Main();
    QVERIFY(opening.Done());
    frmTblData* data = nullptr;
    DataGrid* grid = nullptr;
    openTableWindow(u"dbase_03"_s, 14, &data, &grid);
    if (QTest::currentTestFailed())
        return;

    QHeaderView* header = grid->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
    // By Point_ID as text: 0507121, 05071210... The second row shown is the fifth record.
    QTRY_COMPARE(grid->model()->index(1, 0).data().toString(), u"05071210"_s);
    QCOMPARE(grid->model()->headerData(8, Qt::Horizontal).toString(), u"Date_Visit"_s);
    const QString shown = grid->model()->index(1, 8).data().toString();
    QVERIFY2(shown.contains(u"2005"_s), qPrintable(shown));
    const QString typed = QString(shown).replace(u"2005"_s, u"2026"_s);
    typeOver(grid, grid->model()->index(1, 8), typed);
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(opening.Strays().isEmpty(), qPrintable(opening.Strays()));
    QCOMPARE(grid->model()->index(1, 8).data().toString(), typed);

    QByteArray expected = before;
    expected.replace(visited, 8, "20260712");
    QByteArray after = ReadBytes(file);
    QCOMPARE(after.size(), expected.size());
    after.replace(1, 3, expected.mid(1, 3));
    QCOMPARE(after, expected);
}

void TestFileTypes::openTableWindow(const QString& table, int rows, frmTblData** window, DataGrid** grid)
{
    QVERIFY(ShownMainWindow());
    QList<QWidget*> lists = LoadedForms(u"frmDbTables"_s);
    QCOMPARE(lists.size(), 1);
    auto* list = lists.first()->findChild<QListWidget*>(u"Lis"_s);
    const auto items = list->findItems(table, Qt::MatchExactly);
    QCOMPARE(items.size(), 1);
    list->setCurrentItem(items.first());
    lists.first()->findChild<QAction*>(u"Open"_s)->trigger();
    const QList<QWidget*> shown = LoadedForms(u"frmTblData"_s);
    QCOMPARE(shown.size(), 1);
    *window = qobject_cast<frmTblData*>(shown.first());
    QVERIFY(*window);
    QTRY_COMPARE_WITH_TIMEOUT((*window)->StatusText(), Objects(rows), 30000);
    *grid = (*window)->findChild<DataGrid*>(u"Grd"_s);
    QVERIFY(*grid && QTest::qWaitForWindowExposed(*window));
}

void TestFileTypes::typeOver(DataGrid* grid, const QModelIndex& cell, const QString& text)
{
    grid->setCurrentIndex(cell);
    grid->edit(cell);
    auto* editor = qobject_cast<QLineEdit*>(grid->indexWidget(cell));
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, text);
    QPointer<QLineEdit> open = editor;
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(open.isNull());
}

DABRIX_TEST_MAIN(TestFileTypes)
#include "tst_filetypes.moc"
