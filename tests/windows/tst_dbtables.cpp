#include "DbTablesFixture.h"

#include "ado/AdoError.h"
#include "ado/Catalog.h"
#include "ado/Connection.h"
#include "ado/Field.h"
#include "ado/Recordset.h"
#include "app/MDI.h"
#include "app/MDabrix.h"
#include "app/SettingsStore.h"
#include "support/ModalAnswerer.h"
#include "support/TestMain.h"
#include "ui/FailureReport.h"
#include "ui/FormsRegistry.h"
#include "windows/frmDbTables.h"
#include "windows/frmTblData.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>

#include <memory>

using namespace Qt::StringLiterals;
using testsupport::ModalAnswerer;

class TestDbTables : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void listsTablesOnly_data();
    void listsTablesOnly();
    void noTableOpenFails();
    void tableNamesNeverRunSql_data();
    void tableNamesNeverRunSql();
    void textFileNamesWithBrackets();
    void hfsqlDisablesAssync_data();
    void hfsqlDisablesAssync();
    void rowLimit_data();
    void rowLimit();
    void openUsesTypedLimit_data();
    void openUsesTypedLimit();
    void rowLimitOverflowOpensNothing();
    void validationOnFocusToList_data();
    void validationOnFocusToList();
    void toolbarClickDoesNotValidate();
    void sameTableTwiceInMainWindow();
    void resizeSavesPlacementAndLaysOut();

private:
    frmDbTables* openList();
    static QList<frmTblData*> dataWindows();
    DbTablesFixture m_db;
};

namespace {

QStringList Names(QListWidget* list)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

QStringList TwentyRows()
{
    QStringList statements{u"CREATE TABLE Nums (id INTEGER PRIMARY KEY, v INTEGER)"_s};
    for (int i = 1; i <= 20; ++i)
        statements << u"INSERT INTO Nums (id, v) VALUES (%1, %1)"_s.arg(i);
    return statements;
}

} // namespace

void TestDbTables::initTestCase()
{
    DbTablesFixture::InitAppState();
}

void TestDbTables::init()
{
    QSettings(u"Corvanet"_s, u"Dabrix"_s).clear();
}

void TestDbTables::cleanup()
{
    DbTablesFixture::Reset();
}

frmDbTables* TestDbTables::openList()
{
    auto* form = new frmDbTables();
    form->show();
    return form;
}

QList<frmTblData*> TestDbTables::dataWindows()
{
    QList<frmTblData*> found;
    for (QWidget* w : QApplication::allWidgets())
        if (auto* data = qobject_cast<frmTblData*>(w); data && data->isVisible())
            found << data;
    return found;
}

void TestDbTables::listsTablesOnly_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<QStringList>("expected");
    const QStringList sqlite{u"CREATE TABLE b (id INTEGER)"_s, u"CREATE TABLE A (id INTEGER)"_s,
                             u"CREATE TABLE C (id INTEGER)"_s, u"CREATE VIEW V AS SELECT * FROM A"_s};
    QTest::newRow("sqlite b A C V") << u"sqlite"_s << sqlite << QStringList{u"A"_s, u"b"_s, u"C"_s};
    const QStringList pg{u"CREATE TABLE \"b\" (id INTEGER)"_s, u"CREATE TABLE \"A\" (id INTEGER)"_s,
                         u"CREATE TABLE \"C\" (id INTEGER)"_s, u"CREATE VIEW \"V\" AS SELECT * FROM \"A\""_s};
    QTest::newRow("postgres b A C V") << u"postgres"_s << pg << QStringList{u"A"_s, u"b"_s, u"C"_s};
    QTest::newRow("sqlite names kept as they are")
        << u"sqlite"_s
        << QStringList{u"CREATE TABLE \"Order Details\" (id INTEGER)"_s, u"CREATE TABLE \"order\" (id INTEGER)"_s,
                       u"CREATE TABLE \"Zeta\" (id INTEGER)"_s}
        << QStringList{u"order"_s, u"Order Details"_s, u"Zeta"_s};
    const QStringList accents{u"CREATE TABLE \"Zebra\" (id INTEGER)"_s, u"CREATE TABLE \"Éclair\" (id INTEGER)"_s,
                              u"CREATE TABLE \"apple\" (id INTEGER)"_s, u"CREATE TABLE \"Eau\" (id INTEGER)"_s,
                              u"CREATE TABLE \"école\" (id INTEGER)"_s};
    const QStringList byLetter{u"apple"_s, u"Eau"_s, u"Éclair"_s, u"école"_s, u"Zebra"_s};
    QTest::newRow("sqlite accents sort with their letter") << u"sqlite"_s << accents << byLetter;
    QTest::newRow("postgres accents sort with their letter") << u"postgres"_s << accents << byLetter;
}

void TestDbTables::listsTablesOnly()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, statements);
    QFETCH(QStringList, expected);
    QVERIFY2(m_db.Open(kind, u"dbtables_list"_s, statements), qPrintable(m_db.error));
    frmDbTables* form = openList();
    auto* list = form->findChild<QListWidget*>(u"Lis"_s);
    QCOMPARE(Names(list), expected);
    QCOMPARE(list->currentRow(), 0);
    QVERIFY(list->item(0)->isSelected());
    QCOMPARE(form->windowTitle(), u"Tables"_s);
    QCOMPARE(ui::FormsRegistry::Forms().count(form), 1);
}

void TestDbTables::noTableOpenFails()
{
    QVERIFY2(m_db.Open(u"sqlite"_s, u"dbtables_empty"_s, {u"CREATE VIEW V AS SELECT 1 AS one"_s}),
             qPrintable(m_db.error));
    frmDbTables* form = openList();
    auto* list = form->findChild<QListWidget*>(u"Lis"_s);
    QCOMPARE(list->count(), 0);
    QCOMPARE(list->currentRow(), -1);

    ModalAnswerer answerer(ModalAnswerer::Accept());
    form->findChild<QAction*>(u"Open"_s)->trigger();
    QVERIFY(answerer.done());
    QCOMPARE(answerer.titles().value(0), u"Tables"_s);
    QVERIFY2(answerer.texts().value(0).startsWith(ui::Sentence::OperatorAction + u"\n\n"_s),
             qPrintable(answerer.texts().value(0)));
    QVERIFY(dataWindows().isEmpty());
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestDbTables::tableNamesNeverRunSql_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("name");
    const QStringList names{u"x]; DROP TABLE victim; --"_s, u"x] --"_s, u"x] UNION SELECT * FROM [secret"_s,
                            u"a]b"_s, u"[sec]"_s};
    for (const QString& kind : {u"sqlite"_s, u"postgres"_s})
        for (const QString& name : names)
            QTest::newRow(qPrintable(kind + u": "_s + name)) << kind << name;
}

// A name from the table list opens that table and nothing else, whatever it holds.
void TestDbTables::tableNamesNeverRunSql()
{
    QFETCH(QString, kind);
    QFETCH(QString, name);
    const QString quoted = u'"' + QString(name).replace(u'"', u"\"\""_s) + u'"';
    QStringList statements{u"CREATE TABLE victim (v VARCHAR(10))"_s, u"INSERT INTO victim VALUES ('victim')"_s,
                           u"CREATE TABLE x (v VARCHAR(10))"_s, u"INSERT INTO x VALUES ('x')"_s,
                           u"CREATE TABLE secret (v VARCHAR(10))"_s, u"INSERT INTO secret VALUES ('secret')"_s,
                           u"CREATE TABLE "_s + quoted + u" (v VARCHAR(10))"_s};
    for (int i = 0; i < 3; ++i)
        statements << u"INSERT INTO "_s + quoted + u" VALUES ('own')"_s;
    QVERIFY2(m_db.Open(kind, u"dbtables_names"_s, statements), qPrintable(m_db.error));

    frmDbTables* form = openList();
    form->findChild<QCheckBox*>(u"chkAssync"_s)->setChecked(false);
    auto* list = form->findChild<QListWidget*>(u"Lis"_s);
    const auto items = list->findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    QCOMPARE(items.size(), 1);
    list->setCurrentItem(items.first());
    form->findChild<QAction*>(u"Open"_s)->trigger();

    const QList<frmTblData*> windows = dataWindows();
    QCOMPARE(windows.size(), 1);
    ado::Recordset* rs = windows.first()->Recordset();
    QVERIFY(rs);
    QCOMPARE(rs->RecordCount(), 3);
    for (int row = 0; row < 3; ++row)
        QCOMPARE(rs->ValueAt(row, 0).toString(), u"own"_s);
    // An edit goes to that table too.
    rs->MoveFirst();
    rs->Fields(0).SetValue(u"edited"_s);
    rs->Update();
    for (const QString& other : {u"victim"_s, u"x"_s, u"secret"_s}) {
        auto check = std::make_unique<ado::Recordset>();
        check->Open(u"SELECT v FROM "_s + other, MDabrix::Cnx.get());
        QCOMPARE(check->RecordCount(), 1);
        QCOMPARE(check->Fields(0).Value().toString(), other);
    }
    auto own = std::make_unique<ado::Recordset>();
    own->Open(u"SELECT v FROM "_s + quoted + u" WHERE v = 'edited'"_s, MDabrix::Cnx.get());
    QCOMPARE(own->RecordCount(), 1);
}

// Text files are tables named after the file: brackets in the name open that file.
void TestDbTables::textFileNamesWithBrackets()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QList<QPair<QString, int>> files{{u"[sec].csv"_s, 2}, {u"br]acket.csv"_s, 3}, {u"br.csv"_s, 4}, {u"sec.csv"_s, 5}};
    for (const auto& [name, rows] : files) {
        QFile f(folder.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("who,n\r\n");
        for (int i = 1; i <= rows; ++i)
            f.write(QStringLiteral("%1,%2\r\n").arg(name).arg(i).toUtf8());
    }
    DbTablesFixture::InitAppState();
    MDabrix::Cnx = std::make_unique<ado::Connection>();
    MDabrix::Cnx->Open(u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + folder.path()
                       + u";Extended Properties=\"Text\";OLE DB Services=-2;"_s);
    MDabrix::Catalog = std::make_unique<ado::Catalog>();
    MDabrix::Catalog->SetActiveConnection(MDabrix::Cnx.get());

    frmDbTables* form = openList();
    form->findChild<QCheckBox*>(u"chkAssync"_s)->setChecked(false);
    auto* list = form->findChild<QListWidget*>(u"Lis"_s);
    for (const auto& [name, rows] : files) {
        const auto items = list->findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
        QCOMPARE(items.size(), 1);
        list->setCurrentItem(items.first());
        form->findChild<QAction*>(u"Open"_s)->trigger();
        frmTblData* window = nullptr;
        for (frmTblData* w : dataWindows())
            if (w->Recordset() && w->Recordset()->RecordCount() > 0 && w->Recordset()->ValueAt(0, 0).toString() == name)
                window = w;
        QVERIFY2(window, qPrintable(name));
        QCOMPARE(window->Recordset()->RecordCount(), rows);
    }
    QCOMPARE(dataWindows().size(), int(files.size()));
}

void TestDbTables::hfsqlDisablesAssync_data()
{
    QTest::addColumn<bool>("hfsql");
    QTest::newRow("hfsql") << true;
    QTest::newRow("other") << false;
}

void TestDbTables::hfsqlDisablesAssync()
{
    QFETCH(bool, hfsql);
    QVERIFY2(m_db.Open(u"sqlite"_s, u"dbtables_hfsql"_s, {u"CREATE TABLE T (id INTEGER)"_s}), qPrintable(m_db.error));
    MDabrix::IsHfsql = hfsql;
    frmDbTables* form = openList();
    auto* check = form->findChild<QCheckBox*>(u"chkAssync"_s);
    QCOMPARE(check->text(), u"Assync."_s);
    QCOMPARE(check->isChecked(), !hfsql);
    QCOMPARE(check->isEnabled(), !hfsql);
}

void TestDbTables::rowLimit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("1000") << u"1000"_s << 1000;
    QTest::newRow("12abc") << u"12abc"_s << 12;
    QTest::newRow("abc") << u"abc"_s << 0;
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("12.5 to even") << u"12.5"_s << 12;
    QTest::newRow("13.5 to even") << u"13.5"_s << 14;
    QTest::newRow("12.6") << u"12.6"_s << 13;
    QTest::newRow("blanks inside") << u" 1 2 3x"_s << 123;
    QTest::newRow("negative") << u"-7"_s << -7;
    QTest::newRow("exponent") << u"1e3"_s << 1000;
    QTest::newRow("exponent without digits") << u"15e"_s << 15;
    QTest::newRow("second point ends") << u"2.5.9"_s << 2;
    QTest::newRow("largest") << u"2147483647"_s << 2147483647;
    QTest::newRow("smallest") << u"-2147483648"_s << int(-2147483647 - 1);
}

void TestDbTables::rowLimit()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(frmDbTables::RowLimit(text), expected);
}

void TestDbTables::openUsesTypedLimit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("assync");
    QTest::addColumn<int>("rows");
    QTest::newRow("12abc") << u"12abc"_s << false << 12;
    QTest::newRow("12.5") << u"12.5"_s << false << 12;
    QTest::newRow("abc is no limit") << u"abc"_s << false << 20;
    QTest::newRow("5 in background") << u"5"_s << true << 5;
}

void TestDbTables::openUsesTypedLimit()
{
    QFETCH(QString, text);
    QFETCH(bool, assync);
    QFETCH(int, rows);
    QVERIFY2(m_db.Open(u"sqlite"_s, u"dbtables_limit"_s, TwentyRows()), qPrintable(m_db.error));
    frmDbTables* form = openList();
    form->findChild<QCheckBox*>(u"chkAssync"_s)->setChecked(assync);
    form->findChild<QLineEdit*>(u"txtMaxCount"_s)->setText(text);
    form->findChild<QAction*>(u"Open"_s)->trigger();

    const QList<frmTblData*> windows = dataWindows();
    QCOMPARE(windows.size(), 1);
    ado::Recordset* rs = windows.first()->Recordset();
    QVERIFY(rs);
    QTRY_VERIFY(!rs->IsFetching());
    QCOMPARE(rs->RecordCount(), rows);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestDbTables::rowLimitOverflowOpensNothing()
{
    QVERIFY2(m_db.Open(u"sqlite"_s, u"dbtables_overflow"_s, TwentyRows()), qPrintable(m_db.error));
    frmDbTables* form = openList();
    form->findChild<QLineEdit*>(u"txtMaxCount"_s)->setText(u"3000000000"_s);
    ModalAnswerer answerer(ModalAnswerer::Accept());
    form->findChild<QAction*>(u"Open"_s)->trigger();
    QVERIFY(answerer.done());
    QCOMPARE(answerer.titles().value(0), u"Tables"_s);
    QCOMPARE(answerer.texts().value(0), ui::FailureReport::Text(ui::Sentence::OperatorAction, ado::err::Overflow, u"Overflow"_s));
    QVERIFY(dataWindows().isEmpty());
}

void TestDbTables::validationOnFocusToList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("rejected");
    QTest::newRow("12.5") << u"12.5"_s << true;
    QTest::newRow("abc") << u"abc"_s << true;
    QTest::newRow("12abc") << u"12abc"_s << true;
    QTest::newRow("blanks around 250") << u" 250 "_s << false;
}

void TestDbTables::validationOnFocusToList()
{
    QFETCH(QString, text);
    QFETCH(bool, rejected);
    QVERIFY2(m_db.Open(u"sqlite"_s, u"dbtables_validate"_s, {u"CREATE TABLE T (id INTEGER)"_s}), qPrintable(m_db.error));
    frmDbTables* form = openList();
    QApplication::setActiveWindow(form);
    QVERIFY(QTest::qWaitForWindowActive(form));
    auto* box = form->findChild<QLineEdit*>(u"txtMaxCount"_s);
    auto* list = form->findChild<QListWidget*>(u"Lis"_s);
    box->setFocus(Qt::MouseFocusReason);
    QTRY_VERIFY(box->hasFocus());
    box->setText(text);

    ModalAnswerer answerer(ModalAnswerer::Accept());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QCOMPARE(answerer.answered(), rejected ? 1 : 0);
    if (rejected) {
        QCOMPARE(answerer.titles().value(0), u"Tables"_s);
        QCOMPARE(answerer.texts().value(0), u"La valeur doit être numérique et entière"_s);
        QTRY_COMPARE(form->focusWidget(), static_cast<QWidget*>(box));
    } else {
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(list));
    }
    // The text is never rewritten, not even trimmed.
    QCOMPARE(box->text(), text);
}

void TestDbTables::toolbarClickDoesNotValidate()
{
    QVERIFY2(m_db.Open(u"sqlite"_s, u"dbtables_toolbar"_s, TwentyRows()), qPrintable(m_db.error));
    frmDbTables* form = openList();
    form->findChild<QCheckBox*>(u"chkAssync"_s)->setChecked(false);
    QApplication::setActiveWindow(form);
    QVERIFY(QTest::qWaitForWindowActive(form));
    auto* box = form->findChild<QLineEdit*>(u"txtMaxCount"_s);
    box->setFocus(Qt::MouseFocusReason);
    QTRY_VERIFY(box->hasFocus());
    box->setText(u"abc"_s);

    auto* toolbar = form->findChild<QToolBar*>(u"Tb"_s);
    QWidget* button = toolbar->widgetForAction(form->findChild<QAction*>(u"Open"_s));
    QVERIFY(button);
    ModalAnswerer answerer(QList<ModalAnswerer::Answer>{});
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(answerer.titles().size(), 0);
    const QList<frmTblData*> windows = dataWindows();
    QCOMPARE(windows.size(), 1);
    QCOMPARE(windows.first()->Recordset()->RecordCount(), 20);
}

void TestDbTables::sameTableTwiceInMainWindow()
{
    QVERIFY2(m_db.Open(u"postgres"_s, u"dbtables_twice"_s,
                       {u"CREATE TABLE \"Clients\" (id INTEGER PRIMARY KEY, nom TEXT)"_s,
                        u"INSERT INTO \"Clients\" VALUES (1, 'Ann'), (2, 'Bob')"_s}),
             qPrintable(m_db.error));
    auto* main = new MDI();
    main->show();
    auto* form = main->findChild<frmDbTables*>(u"frmDbTables"_s);
    QVERIFY(form);
    form->findChild<QCheckBox*>(u"chkAssync"_s)->setChecked(false);
    auto* list = form->findChild<QListWidget*>(u"Lis"_s);
    QCOMPARE(Names(list), QStringList{u"Clients"_s});
    const QPoint at = list->visualItemRect(list->item(0)).center();
    // What a double click delivers: a click, then the double-click event.
    const auto doubleClick = [&] {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    };
    doubleClick();
    QCOMPARE(main->findChildren<frmTblData*>().size(), 1);
    // Far enough apart not to be read as one triple click.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    doubleClick();

    QList<frmTblData*> windows = main->findChildren<frmTblData*>();
    QCOMPARE(windows.size(), 2);
    for (frmTblData* window : windows) {
        auto* sub = qobject_cast<QMdiSubWindow*>(window->parentWidget());
        QVERIFY(sub);
        QVERIFY(sub->isVisible());
        QCOMPARE(sub->windowTitle(), window->windowTitle());
        QCOMPARE(window->Recordset()->RecordCount(), 2);
    }
    QVERIFY(windows[0] != windows[1]);
}

void TestDbTables::resizeSavesPlacementAndLaysOut()
{
    QVERIFY2(m_db.Open(u"sqlite"_s, u"dbtables_resize"_s, {u"CREATE TABLE T (id INTEGER)"_s}), qPrintable(m_db.error));
    frmDbTables* form = openList();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    form->resize(600, 400);
    QTRY_COMPARE(form->size(), QSize(600, 400));
    // Saved at once, before any unload.
    QCOMPARE(MDabrix::AppSettings->ReadValue(u"Forms\\frmDbTables"_s, u"Width"_s, 0).toInt(), 600 * 15);
    QCOMPARE(MDabrix::AppSettings->ReadValue(u"Forms\\frmDbTables"_s, u"Height"_s, 0).toInt(), 400 * 15);
    // 60 twips (4 px) around the frame, 120 twips (8 px) around the list inside it.
    auto* frame = form->findChild<QGroupBox*>(u"Fra"_s);
    auto* list = form->findChild<QListWidget*>(u"Lis"_s);
    QCOMPARE(frame->geometry(), QRect(4, 32, 600 - 8, 400 - 32 - 4));
    QCOMPARE(list->geometry(), QRect(8, 20, frame->width() - 16, frame->height() - 20 - 8));

    // Too small for the frame: the list keeps its last size instead of a negative one.
    const QSize listBefore = list->size();
    form->resize(6, 30);
    QTRY_COMPARE(form->size(), QSize(6, 30));
    QCOMPARE(list->size(), listBefore);

    form->resize(500, 300);
    QTRY_COMPARE(form->size(), QSize(500, 300));
    form->close();
    frmDbTables* again = openList();
    QVERIFY(QTest::qWaitForWindowExposed(again));
    QCOMPARE(again->size(), QSize(500, 300));
}

DABRIX_TEST_MAIN(TestDbTables)
#include "tst_dbtables.moc"
