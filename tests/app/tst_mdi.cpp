#include "ado/Catalog.h"
#include "ado/Connection.h"
#include "app/MDI.h"
#include "app/MDabrix.h"
#include "app/SettingsStore.h"
#include "support/ModalAnswerer.h"
#include "support/TestMain.h"
#include "ui/FailureReport.h"
#include "ui/FormsRegistry.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSettings>

using namespace Qt::StringLiterals;
using testsupport::ModalAnswerer;

class TestMdi : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void showsTableListOnLoad();
    void programWideWindows_data();
    void programWideWindows();
    void managersWithoutTheirTableReportFailure_data();
    void managersWithoutTheirTableReportFailure();
    void managersOpenANewWindowEachTime_data();
    void managersOpenANewWindowEachTime();
    void closingRemovesWorkFolder();
    void ouvrirCancelledKeepsChildren();
    void fermerThenTableListReportsFailure();

private:
    MDI* showMain();
    static int loaded(const QString& name);
    QPointer<MDI> m_main;
};

namespace {

void OpenSqlite(const QString& name)
{
    const QString file = QDir::temp().filePath(name + u".sqlite"_s);
    QFile::remove(file);
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    MDabrix::Cnx = std::make_unique<ado::Connection>();
    MDabrix::Cnx->Open(u"Provider=SQLite;Data Source="_s + file);
    MDabrix::Cnx->Execute(u"CREATE TABLE Clients (id INTEGER PRIMARY KEY, nom TEXT)"_s);
    MDabrix::Catalog = std::make_unique<ado::Catalog>();
    MDabrix::Catalog->SetActiveConnection(MDabrix::Cnx.get());
    MDabrix::CnxString = MDabrix::Cnx->ConnectionString();
}

QAction* Menu(MDI* main, const QString& name)
{
    return main->findChild<QAction*>(name);
}

} // namespace

void TestMdi::initTestCase()
{
    MDabrix::AppTitle = u"Dabrix"_s;
    MDabrix::AppSettings = std::make_unique<SettingsStore>();
    MDabrix::AppSettings->Open(u"Corvanet"_s, u"Dabrix"_s, false);
    MDabrix::OmbriskSettings = std::make_unique<SettingsStore>();
    MDabrix::OmbriskSettings->Open(u"Corvanet"_s, u"Ombrisk"_s, false);
}

void TestMdi::init()
{
    QSettings(u"Corvanet"_s, u"Dabrix"_s).clear();
    MDabrix::InitWorkFolder();
    OpenSqlite(u"mdi"_s);
}

void TestMdi::cleanup()
{
    if (m_main)
        m_main->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    MDabrix::CloseDatabase();
}

MDI* TestMdi::showMain()
{
    m_main = new MDI();
    m_main->show();
    return m_main;
}

int TestMdi::loaded(const QString& name)
{
    int count = 0;
    for (QWidget* form : ui::FormsRegistry::Forms())
        count += form->objectName() == name ? 1 : 0;
    return count;
}

void TestMdi::showsTableListOnLoad()
{
    MDI* main = showMain();
    QCOMPARE(main->windowTitle(), u"Velk Dabrix %1.%2.%3"_s.arg(DABRIX_VERSION_MAJOR).arg(DABRIX_VERSION_MINOR).arg(DABRIX_VERSION_PATCH));
    QCOMPARE(loaded(u"frmDbTables"_s), 1);
    QVERIFY(Menu(main, u"mnu_AffDbTables"_s)->isChecked());
    auto* list = main->findChild<QListWidget*>(u"Lis"_s);
    QVERIFY(list);
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), u"Clients"_s);
    // The child's subwindow shows the form's caption.
    auto* sub = qobject_cast<QMdiSubWindow*>(main->findChild<QWidget*>(u"frmDbTables"_s)->parentWidget());
    QVERIFY(sub);
    QCOMPARE(sub->windowTitle(), u"Tables"_s);
    // With nothing saved the list opens at its design size, and that is what gets saved.
    QTest::qWait(20);
    QWidget* form = sub->widget();
    QVERIFY2(form->width() >= 380 && form->height() >= 250, qPrintable(u"%1x%2"_s.arg(form->width()).arg(form->height())));
    QVERIFY(MDabrix::AppSettings->ReadValue(u"Forms\\frmDbTables"_s, u"Height"_s, 0).toInt() >= 3750);

    // Closing the table list clears the check mark.
    sub->close();
    QVERIFY(!Menu(main, u"mnu_AffDbTables"_s)->isChecked());
    QCOMPARE(loaded(u"frmDbTables"_s), 0);
}

void TestMdi::programWideWindows_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("form");
    QTest::newRow("table list") << u"mnu_AffDbTables"_s << u"frmDbTables"_s;
    QTest::newRow("sql command") << u"mnu_AffSqlCmd"_s << u"frmSqlCommand"_s;
}

void TestMdi::programWideWindows()
{
    QFETCH(QString, command);
    QFETCH(QString, form);
    MDI* main = showMain();
    Menu(main, command)->trigger();
    Menu(main, command)->trigger();
    QCOMPARE(loaded(form), 1);
    // Brought forward: the window is the active one.
    QMdiSubWindow* active = main->Area()->activeSubWindow();
    QVERIFY(active);
    QCOMPARE(active->widget()->objectName(), form);
}

void TestMdi::managersWithoutTheirTableReportFailure_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("form");
    QTest::newRow("images") << u"mnu_AffImages"_s << u"frmLstImages"_s;
    QTest::newRow("scripts") << u"mnu_AffScripts"_s << u"frmLstScripts"_s;
}

void TestMdi::managersWithoutTheirTableReportFailure()
{
    QFETCH(QString, command);
    QFETCH(QString, form);
    MDI* main = showMain();
    const int before = main->Area()->subWindowList().size();
    ModalAnswerer answerer(ModalAnswerer::Accept());
    Menu(main, command)->trigger();
    QTRY_VERIFY(answerer.done());
    QCOMPARE(answerer.titles().value(0), main->windowTitle());
    QVERIFY(answerer.texts().value(0).startsWith(ui::Sentence::OperatorAction + u"\n\n"_s));
    // A window whose loading failed is never shown.
    QCOMPARE(main->Area()->subWindowList().size(), before);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(loaded(form), 0);
}

void TestMdi::managersOpenANewWindowEachTime_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("table");
    QTest::newRow("images") << u"mnu_AffImages"_s << u"frmLstImages"_s << u"CREATE TABLE Images (Code TEXT, Image BLOB)"_s;
    QTest::newRow("scripts") << u"mnu_AffScripts"_s << u"frmLstScripts"_s << u"CREATE TABLE Scripts (name TEXT, text TEXT)"_s;
}

void TestMdi::managersOpenANewWindowEachTime()
{
    QFETCH(QString, command);
    QFETCH(QString, form);
    QFETCH(QString, table);
    MDabrix::Cnx->Execute(table);
    MDI* main = showMain();
    Menu(main, command)->trigger();
    Menu(main, command)->trigger();
    QCOMPARE(loaded(form), 2);
    QMdiSubWindow* active = main->Area()->activeSubWindow();
    QVERIFY(active);
    QCOMPARE(active->widget()->objectName(), form);
    QCOMPARE(loaded(u"frmDbTables"_s), 1);
}

void TestMdi::closingRemovesWorkFolder()
{
    const QString folder = MDabrix::WorkFolder;
    QVERIFY(QDir().mkpath(folder + u"/Main"_s));
    QFile file(folder + u"/Main/Schema.ini"_s);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[a.txt]\r\n");
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner));

    MDI* main = showMain();
    Menu(main, u"mnu_AffSqlCmd"_s)->trigger();
    QCOMPARE(loaded(u"frmSqlCommand"_s), 1);
    Menu(main, u"mnu_DbQuitter"_s)->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QVERIFY(m_main.isNull());
    QCOMPARE(MDI::Instance(), nullptr);
    QVERIFY(!QDir(folder).exists());
    QVERIFY(!MDabrix::Cnx);
    QVERIFY(MDabrix::CnxString.isEmpty());
    // Every child saved its placement on unload, then the main window saved its own.
    QVERIFY(MDabrix::AppSettings->SectionExists(u"Forms\\frmSqlCommand"_s));
    QVERIFY(MDabrix::AppSettings->SectionExists(u"Forms\\Mdi"_s));
    QCOMPARE(ui::FormsRegistry::Forms().size(), 0);
    // Nothing is left on screen, so the event loop of the program ends.
    for (QWidget* w : QApplication::topLevelWidgets())
        QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
}

void TestMdi::ouvrirCancelledKeepsChildren()
{
    MDI* main = showMain();
    Menu(main, u"mnu_AffSqlCmd"_s)->trigger();
    ModalAnswerer answerer(ModalAnswerer::Button(u"cmdCancel"_s));
    Menu(main, u"mnu_DbOuvrir"_s)->trigger();
    QVERIFY(answerer.done());
    QCOMPARE(answerer.titles().size(), 1);
    QCOMPARE(loaded(u"frmDbTables"_s), 1);
    QCOMPARE(loaded(u"frmSqlCommand"_s), 1);
    QVERIFY(Menu(main, u"mnu_AffDbTables"_s)->isChecked());
    // The old database was closed all the same.
    QVERIFY(MDabrix::CnxString.isEmpty());
    QCOMPARE(MDabrix::Cnx->State(), int(ado::Connection::adStateClosed));
}

void TestMdi::fermerThenTableListReportsFailure()
{
    MDI* main = showMain();
    Menu(main, u"mnu_AffSqlCmd"_s)->trigger();
    Menu(main, u"mnu_DbFermer"_s)->trigger();
    QCOMPARE(loaded(u"frmDbTables"_s), 0);
    QCOMPARE(loaded(u"frmSqlCommand"_s), 0);
    QVERIFY(!Menu(main, u"mnu_AffDbTables"_s)->isChecked());
    QVERIFY(!MDabrix::Cnx);

    ModalAnswerer answerer(ModalAnswerer::Accept());
    Menu(main, u"mnu_AffDbTables"_s)->trigger();
    QVERIFY(answerer.done());
    QCOMPARE(answerer.titles().value(0), u"Tables"_s);
    QVERIFY2(answerer.texts().value(0).startsWith(ui::Sentence::WindowLoading + u"\n\n3704 - "_s),
             qPrintable(answerer.texts().value(0)));
    // The window opens all the same, empty.
    QCOMPARE(loaded(u"frmDbTables"_s), 1);
    QCOMPARE(main->findChild<QListWidget*>(u"Lis"_s)->count(), 0);
    QVERIFY(Menu(main, u"mnu_AffDbTables"_s)->isChecked());
}

DABRIX_TEST_MAIN(TestMdi)
#include "tst_mdi.moc"
