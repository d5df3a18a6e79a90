#include "support/ModalAnswerer.h"
#include "support/TestMain.h"

#include "ManagersFixture.h"
#include "ado/Connection.h"
#include "ado/Field.h"
#include "ado/Recordset.h"
#include "app/MDI.h"
#include "app/MDabrix.h"
#include "managers/frmLstImages.h"
#include "managers/frmLstScripts.h"
#include "ui/DataGrid.h"
#include "ui/FormsRegistry.h"
#include "ui/LimitedTextEdit.h"
#include "ui/RecordsetModel.h"
#include "ui/Twips.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QStatusBar>

using testsupport::ModalAnswerer;
using ui::Twips::ToPixels;

class TestLstScripts : public QObject {
    Q_OBJECT

private:
    ManagersFixture m_fx;
    QPointer<frmLstScripts> m_own;

    bool prepare(const QString& kind = QStringLiteral("sqlite"))
    {
        if (!m_fx.Open(kind, QStringLiteral("tst_lstscripts"))) {
            qWarning("%s", qPrintable(m_fx.db.error));
            return false;
        }
        return true;
    }

    frmLstScripts* open()
    {
        auto* form = qobject_cast<frmLstScripts*>(m_fx.Command(QStringLiteral("mnu_AffScripts"), QStringLiteral("frmLstScripts")));
        if (form) {
            (void)QTest::qWaitForWindowExposed(form);
            // A fetch that never ends fails the caller's check on the window.
            if (!QTest::qWaitFor([form] { return !form->Recordset()->IsFetching(); }))
                return nullptr;
        }
        return form;
    }

    static DataGrid* grid(QWidget* form) { return form->findChild<DataGrid*>(QStringLiteral("Grd")); }
    static LimitedTextEdit* text(QWidget* form) { return form->findChild<LimitedTextEdit*>(QStringLiteral("TxtScript")); }
    static void selectRow(QWidget* form, int row) { grid(form)->setCurrentIndex(grid(form)->model()->index(row, 1)); }

    QString stored(int id) const
    {
        return m_fx.db.ReadBack(QStringLiteral("SELECT text FROM [Scripts] WHERE id = %1").arg(id)).toString();
    }

    static void typeAtEnd(QWidget* form, const QString& typed)
    {
        QPlainTextEdit* box = text(form);
        box->moveCursor(QTextCursor::End);
        const QStringList lines = typed.split(u'\n');
        for (int i = 0; i < lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(box, Qt::Key_Return);
            QTest::keyClicks(box, lines[i]);
        }
    }

private slots:
    void cleanup()
    {
        delete m_own;
        m_fx.Close();
    }

    void window();
    void editSavedWhenTheRowChanges_data();
    void editSavedWhenTheRowChanges();
    void editSavedOnRefreshAndClose_data();
    void editSavedOnRefreshAndClose();
    void typedTextIsLimited();
    void sqlCommandRefreshesImagesOnly_data();
    void sqlCommandRefreshesImagesOnly();
    void layout_data();
    void layout();
    void minimisedAndRestored();
};

void TestLstScripts::window()
{
    QVERIFY(prepare());
    frmLstScripts* one = open();
    frmLstScripts* two = open();
    QVERIFY(one && two && one != two);
    QVERIFY(one->Recordset() != two->Recordset());
    QCOMPARE(qobject_cast<QMdiSubWindow*>(one->parentWidget())->windowTitle(), QStringLiteral("Scripts"));
    QVERIFY(one->property("Tag").toString().isEmpty());
    QCOMPARE(one->StatusText(), QStringLiteral("3 objet(s)"));
    QCOMPARE(one->Recordset()->Source(), QStringLiteral("Scripts"));
    QCOMPARE(text(one)->toPlainText(), QStringLiteral("DELETE FROM Logs"));
    QCOMPARE(text(one)->MaxLength(), 50000);
    selectRow(one, 1);
    QCOMPARE(text(one)->toPlainText(), QStringLiteral("SELECT count(*)\nFROM Clients"));
    selectRow(one, 2);
    QCOMPARE(text(one)->toPlainText(), QString());
    // The other window stays on its own row.
    QCOMPARE(text(two)->toPlainText(), QStringLiteral("DELETE FROM Logs"));

    QTest::keyClick(text(one), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!ui::FormsRegistry::Forms().contains(one));
    QVERIFY(ui::FormsRegistry::Forms().contains(two));
}

void TestLstScripts::editSavedWhenTheRowChanges_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("sqlite") << QStringLiteral("sqlite");
    QTest::newRow("postgres") << QStringLiteral("postgres");
}

void TestLstScripts::editSavedWhenTheRowChanges()
{
    QFETCH(QString, kind);
    QVERIFY(prepare(kind));
    frmLstScripts* form = open();
    QVERIFY(form);

    typeAtEnd(form, QStringLiteral(" WHERE day = 3"));
    // Typed, not yet saved: the database has it once the row is left.
    QCOMPARE(stored(1), QStringLiteral("DELETE FROM Logs"));
    selectRow(form, 1);
    QCOMPARE(stored(1), QStringLiteral("DELETE FROM Logs WHERE day = 3"));

    // A script with Windows line breaks keeps them, new lines included.
    typeAtEnd(form, QStringLiteral("\nWHERE 1 = 1"));
    selectRow(form, 2);
    QCOMPARE(stored(2), QStringLiteral("SELECT count(*)\r\nFROM Clients\r\nWHERE 1 = 1"));

    // A row without a script gets one.
    typeAtEnd(form, QStringLiteral("VACUUM"));
    selectRow(form, 0);
    QCOMPARE(stored(3), QStringLiteral("VACUUM"));
    QCOMPARE(text(form)->toPlainText(), QStringLiteral("DELETE FROM Logs WHERE day = 3"));
    QCOMPARE(form->Recordset()->EditMode(), int(ado::Recordset::adEditNone));
}

void TestLstScripts::editSavedOnRefreshAndClose_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("close");
    QTest::newRow("sqlite, F5") << QStringLiteral("sqlite") << false;
    QTest::newRow("sqlite, close") << QStringLiteral("sqlite") << true;
    QTest::newRow("postgres, F5") << QStringLiteral("postgres") << false;
    QTest::newRow("postgres, close") << QStringLiteral("postgres") << true;
}

void TestLstScripts::editSavedOnRefreshAndClose()
{
    QFETCH(QString, kind);
    QFETCH(bool, close);
    QVERIFY(prepare(kind));
    QPointer<frmLstScripts> form = open();
    QVERIFY(form);
    selectRow(form, 2);
    typeAtEnd(form, QStringLiteral("ANALYZE"));
    if (close) {
        form->parentWidget()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(form.isNull());
    } else {
        QTest::keyClick(text(form), Qt::Key_F5);
        QTRY_VERIFY(!form->Recordset()->IsFetching());
        QCOMPARE(form->StatusText(), QStringLiteral("3 objet(s)"));
    }
    QCOMPARE(stored(3), QStringLiteral("ANALYZE"));
}

void TestLstScripts::typedTextIsLimited()
{
    QVERIFY(prepare());
    m_fx.db.Exec({QStringLiteral("UPDATE [Scripts] SET text = '%1' WHERE id = 1").arg(QString(49995, u'a')),
                  QStringLiteral("UPDATE [Scripts] SET text = '%1' WHERE id = 2").arg(QString(60000, u'b'))});
    frmLstScripts* form = open();
    QVERIFY(form);
    typeAtEnd(form, QStringLiteral("0123456789"));
    QCOMPARE(text(form)->toPlainText(), QString(49995, u'a') + QStringLiteral("01234"));
    QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
    text(form)->paste();
    QCOMPARE(text(form)->Length(), 50000);

    // A longer script from the database is shown and saved whole.
    selectRow(form, 1);
    QCOMPARE(stored(1), QString(49995, u'a') + QStringLiteral("01234"));
    QCOMPARE(text(form)->toPlainText().size(), 60000);
    typeAtEnd(form, QStringLiteral("x"));
    text(form)->moveCursor(QTextCursor::Start);
    QTest::keyClick(text(form), Qt::Key_Delete);
    selectRow(form, 0);
    QCOMPARE(stored(2), QString(59999, u'b'));
}

void TestLstScripts::sqlCommandRefreshesImagesOnly_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("sqlite") << QStringLiteral("sqlite");
    QTest::newRow("postgres") << QStringLiteral("postgres");
}

void TestLstScripts::sqlCommandRefreshesImagesOnly()
{
    QFETCH(QString, kind);
    QVERIFY(prepare(kind));
    auto* images = qobject_cast<frmLstImages*>(m_fx.Command(QStringLiteral("mnu_AffImages"), QStringLiteral("frmLstImages")));
    frmLstScripts* scripts = open();
    QVERIFY(images && scripts);
    QTRY_VERIFY(!images->Recordset()->IsFetching());
    QWidget* sql = m_fx.Command(QStringLiteral("mnu_AffSqlCmd"), QStringLiteral("frmSqlCommand"));
    QVERIFY(sql);
    auto* txtSql = sql->findChild<QPlainTextEdit*>(QStringLiteral("txtSql"));
    auto* execute = sql->findChild<QAction*>(QStringLiteral("Execute"));
    for (const QString& statement : {QStringLiteral("INSERT INTO [Images] (id, Code) VALUES (7, 'N7')"),
                                     QStringLiteral("INSERT INTO [Scripts] (id, name, text) VALUES (7, 'new', 'SELECT 1')")}) {
        txtSql->setPlainText(statement);
        ModalAnswerer answerer(ModalAnswerer::Accept());
        execute->trigger();
        QVERIFY(answerer.done());
        QCOMPARE(answerer.texts().value(0), QStringLiteral("1 enregistrements affectés."));
    }
    QTRY_COMPARE(grid(images)->Model()->RecordRows(), 5);
    QTest::qWait(50);
    QCOMPARE(grid(scripts)->Model()->RecordRows(), 3);
    QCOMPARE(scripts->StatusText(), QStringLiteral("3 objet(s)"));

    QTest::keyClick(grid(scripts), Qt::Key_F5);
    QTRY_COMPARE(grid(scripts)->Model()->RecordRows(), 4);
    QTRY_COMPARE(scripts->StatusText(), QStringLiteral("4 objet(s)"));
}

void TestLstScripts::layout_data()
{
    // Sizes in twips: the window's inner size, then what the layout gives; -1 where the
    // control keeps the size it had.
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("boxWidth");
    QTest::addColumn<int>("boxHeight");
    QTest::addColumn<int>("gridWidth");
    QTest::newRow("design") << 9315 << 7200 << 9265 << 4135 << 9265;
    QTest::newRow("larger") << 12000 << 9000 << 11950 << 5935 << 11950;
    QTest::newRow("lower than grid and status bar") << 12000 << 1995 << 11950 << -1 << 11950;
    QTest::newRow("narrower than the margin") << 30 << 9000 << -1 << 5935 << -1;
    QTest::newRow("no room at all") << 15 << 15 << -1 << -1 << -1;
}

void TestLstScripts::layout()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, boxWidth);
    QFETCH(int, boxHeight);
    QFETCH(int, gridWidth);
    m_own = new frmLstScripts;
    m_own->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_own));
    const QSize box = text(m_own)->size();
    const QSize table = grid(m_own)->size();
    m_own->resize(ToPixels(width), ToPixels(height));
    QTRY_COMPARE(m_own->size(), QSize(ToPixels(width), ToPixels(height)));
    QCOMPARE(m_own->findChild<QStatusBar*>(QStringLiteral("sb"))->height(), ToPixels(315));
    QCOMPARE(text(m_own)->size(), QSize(boxWidth < 0 ? box.width() : ToPixels(boxWidth),
                                        boxHeight < 0 ? box.height() : ToPixels(boxHeight)));
    QCOMPARE(grid(m_own)->size(), QSize(gridWidth < 0 ? table.width() : ToPixels(gridWidth), ToPixels(2700)));
    // Tops and lefts stay where they were designed.
    QCOMPARE(text(m_own)->pos(), QPoint(0, ToPixels(2745)));
    QCOMPARE(grid(m_own)->pos(), QPoint(0, 0));
}

void TestLstScripts::minimisedAndRestored()
{
    QVERIFY(prepare());
    frmLstScripts* form = open();
    QVERIFY(form);
    auto* sub = qobject_cast<QMdiSubWindow*>(form->parentWidget());
    sub->showMinimized();
    QTest::qWait(20);
    sub->showNormal();
    QTest::qWait(20);
    const int W = form->width() * 15;
    const int H = form->height() * 15;
    QCOMPARE(text(form)->width(), ToPixels(W - 50));
    QCOMPARE(text(form)->height(), ToPixels(H - 2700 - 315 - 50));
    QCOMPARE(text(form)->toPlainText(), QStringLiteral("DELETE FROM Logs"));
}

DABRIX_TEST_MAIN(TestLstScripts)
#include "tst_lstscripts.moc"
