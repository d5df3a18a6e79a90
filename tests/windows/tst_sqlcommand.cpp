#include "DbTablesFixture.h"

#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "app/MDabrix.h"
#include "app/SettingsStore.h"
#include "support/ModalAnswerer.h"
#include "support/TestMain.h"
#include "ui/FailureReport.h"
#include "windows/frmSqlCommand.h"
#include "windows/frmTblData.h"

#include <QAction>
#include <QGroupBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSettings>

using namespace Qt::StringLiterals;
using testsupport::ModalAnswerer;

class TestSqlCommand : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void statementReportsCountAndRefreshes_data();
    void statementReportsCountAndRefreshes();
    void failingStatementLeavesDataWindows();
    void f5RunsOnReleaseWhateverModifiers_data();
    void f5RunsOnReleaseWhateverModifiers();
    void escapeClosesOnlyWithoutModifiers_data();
    void escapeClosesOnlyWithoutModifiers();
    void placementSavedOnUnload();

private:
    frmSqlCommand* openWindow(const QString& statement);
    frmTblData* openData();
    static void changeBehindTheWindows();
    static QVariant shownValue(frmTblData* window, int row);
    DbTablesFixture m_db;
};

namespace {

// Answers an information box, checking its icon on the way.
ModalAnswerer::Answer AcceptInformation(QMessageBox::Icon* icon)
{
    return [icon](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w))
            *icon = box->icon();
        ModalAnswerer::Accept()(w);
    };
}

} // namespace

void TestSqlCommand::initTestCase()
{
    DbTablesFixture::InitAppState();
}

void TestSqlCommand::init()
{
    QSettings(u"Corvanet"_s, u"Dabrix"_s).clear();
    QVERIFY2(m_db.Open(u"sqlite"_s, u"sqlcommand"_s,
                       {u"CREATE TABLE Stock (id INTEGER PRIMARY KEY, qty INTEGER)"_s,
                        u"INSERT INTO Stock VALUES (1, 10)"_s, u"INSERT INTO Stock VALUES (2, 20)"_s,
                        u"INSERT INTO Stock VALUES (3, 30)"_s}),
             qPrintable(m_db.error));
}

void TestSqlCommand::cleanup()
{
    DbTablesFixture::Reset();
}

frmSqlCommand* TestSqlCommand::openWindow(const QString& statement)
{
    auto* form = new frmSqlCommand();
    form->show();
    form->findChild<QPlainTextEdit*>(u"txtSql"_s)->setPlainText(statement);
    return form;
}

frmTblData* TestSqlCommand::openData()
{
    auto* data = new frmTblData();
    data->setAttribute(Qt::WA_DeleteOnClose);
    data->Init(u"Stock"_s, 0, false);
    data->show();
    return data;
}

// A change made through a second connection: only a reload shows it.
void TestSqlCommand::changeBehindTheWindows()
{
    ado::Connection other;
    other.Open(MDabrix::CnxString);
    QCOMPARE(other.Execute(u"UPDATE Stock SET qty = 99 WHERE id = 3"_s), 1);
}

QVariant TestSqlCommand::shownValue(frmTblData* window, int row)
{
    return window->Recordset()->ValueAt(row, 1);
}

void TestSqlCommand::statementReportsCountAndRefreshes_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("firstQty");
    QTest::newRow("update two") << u"UPDATE Stock SET qty = qty + 1 WHERE id <= 2"_s
                                << u"2 enregistrements affectés."_s << 11;
    QTest::newRow("update none") << u"UPDATE Stock SET qty = 0 WHERE id > 100"_s
                                 << u"0 enregistrements affectés."_s << 10;
    QTest::newRow("delete one") << u"DELETE FROM Stock WHERE id = 1"_s << u"1 enregistrements affectés."_s << 20;
}

void TestSqlCommand::statementReportsCountAndRefreshes()
{
    QFETCH(QString, statement);
    QFETCH(QString, message);
    QFETCH(int, firstQty);
    frmTblData* data = openData();
    QCOMPARE(shownValue(data, 0).toInt(), 10);
    changeBehindTheWindows();
    frmSqlCommand* form = openWindow(statement);

    QMessageBox::Icon icon = QMessageBox::NoIcon;
    ModalAnswerer answerer(AcceptInformation(&icon));
    form->findChild<QAction*>(u"Execute"_s)->trigger();
    QVERIFY(answerer.done());
    QCOMPARE(answerer.titles().value(0), u"Commande Sql"_s);
    QCOMPARE(answerer.texts().value(0), message);
    QCOMPARE(icon, QMessageBox::Information);
    // Reloaded: the statement's effect and the other connection's change are both shown.
    QCOMPARE(shownValue(data, 0).toInt(), firstQty);
    const int last = data->Recordset()->RecordCount() - 1;
    QCOMPARE(shownValue(data, last).toInt(), 99);
}

void TestSqlCommand::failingStatementLeavesDataWindows()
{
    frmTblData* data = openData();
    changeBehindTheWindows();
    frmSqlCommand* form = openWindow(u"UPDATE NoSuchTable SET qty = 1"_s);

    ModalAnswerer answerer(ModalAnswerer::Accept());
    form->findChild<QAction*>(u"Execute"_s)->trigger();
    QVERIFY(answerer.done());
    QCOMPARE(answerer.titles().size(), 1);
    QCOMPARE(answerer.titles().value(0), u"Commande Sql"_s);
    QVERIFY2(answerer.texts().value(0).startsWith(ui::Sentence::OperatorAction + u"\n\n"_s),
             qPrintable(answerer.texts().value(0)));
    QCOMPARE(shownValue(data, 2).toInt(), 30);
}

void TestSqlCommand::f5RunsOnReleaseWhateverModifiers_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("none") << Qt::KeyboardModifiers();
    QTest::newRow("ctrl") << Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("shift alt") << Qt::KeyboardModifiers(Qt::ShiftModifier | Qt::AltModifier);
}

void TestSqlCommand::f5RunsOnReleaseWhateverModifiers()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);
    frmTblData* data = openData();
    frmSqlCommand* form = openWindow(u"UPDATE Stock SET qty = 5 WHERE id = 1"_s);
    auto* text = form->findChild<QPlainTextEdit*>(u"txtSql"_s);

    ModalAnswerer answerer(ModalAnswerer::Accept());
    QTest::keyPress(text, Qt::Key_F5, modifiers);
    QTest::qWait(50);
    QCOMPARE(answerer.answered(), 0);
    QCOMPARE(shownValue(data, 0).toInt(), 10);
    QTest::keyRelease(text, Qt::Key_F5, modifiers);
    QVERIFY(answerer.done());
    QCOMPARE(answerer.texts().value(0), u"1 enregistrements affectés."_s);
    QCOMPARE(shownValue(data, 0).toInt(), 5);
    QVERIFY(!QGuiApplication::overrideCursor());
    QCOMPARE(text->toPlainText(), u"UPDATE Stock SET qty = 5 WHERE id = 1"_s);
}

void TestSqlCommand::escapeClosesOnlyWithoutModifiers_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("closes");
    QTest::newRow("plain") << Qt::KeyboardModifiers() << true;
    QTest::newRow("ctrl") << Qt::KeyboardModifiers(Qt::ControlModifier) << false;
    QTest::newRow("shift") << Qt::KeyboardModifiers(Qt::ShiftModifier) << false;
}

void TestSqlCommand::escapeClosesOnlyWithoutModifiers()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, closes);
    QPointer<frmSqlCommand> form = openWindow(u"SELECT 1"_s);
    QTest::keyClick(form->findChild<QPlainTextEdit*>(u"txtSql"_s), Qt::Key_Escape, modifiers);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(form.isNull(), closes);
    QCOMPARE(DbTablesFixture::LoadedCount(u"frmSqlCommand"_s), closes ? 0 : 1);
}

void TestSqlCommand::placementSavedOnUnload()
{
    frmSqlCommand* form = openWindow(QString());
    QVERIFY(QTest::qWaitForWindowExposed(form));
    form->resize(480, 300);
    QTRY_COMPARE(form->size(), QSize(480, 300));
    auto* frame = form->findChild<QGroupBox*>(u"Fra"_s);
    auto* text = form->findChild<QPlainTextEdit*>(u"txtSql"_s);
    QCOMPARE(frame->geometry(), QRect(4, 28, 480 - 8, 300 - 28 - 4));
    QCOMPARE(text->geometry(), QRect(8, 16, frame->width() - 16, frame->height() - 16 - 8));
    QVERIFY(!MDabrix::AppSettings->SectionExists(u"Forms\\frmSqlCommand"_s));
    form->close();
    QCOMPARE(MDabrix::AppSettings->ReadValue(u"Forms\\frmSqlCommand"_s, u"Width"_s, 0).toInt(), 480 * 15);

    frmSqlCommand* again = openWindow(QString());
    QVERIFY(QTest::qWaitForWindowExposed(again));
    QCOMPARE(again->size(), QSize(480, 300));
}

DABRIX_TEST_MAIN(TestSqlCommand)
#include "tst_sqlcommand.moc"
