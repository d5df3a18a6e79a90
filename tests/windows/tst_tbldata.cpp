#include "support/TestMain.h"
#include "support/ModalAnswerer.h"

#include "WinFixture.h"
#include "ado/AdoError.h"
#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "app/MDabrix.h"
#include "ui/DataGrid.h"
#include "ui/FailureReport.h"
#include "ui/FormsRegistry.h"
#include "ui/RecordsetModel.h"
#include "windows/CsvExporter.h"
#include "windows/adoLib.h"
#include "windows/frmTblData.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSettings>

using testsupport::ModalAnswerer;

class TestTblData : public QObject {
    Q_OBJECT

private:
    WinFixture m_db;
    QPointer<frmTblData> m_form;

    bool prepare(const QString& kind = QStringLiteral("sqlite"))
    {
        if (!m_db.Open(kind, QStringLiteral("tst_tbldata"))) {
            qWarning("%s", qPrintable(m_db.error));
            return false;
        }
        m_db.Exec({QStringLiteral("CREATE TABLE [Order Details] (id INTEGER PRIMARY KEY, product VARCHAR(20), "
                                  "qty INTEGER, price DOUBLE PRECISION, label VARCHAR(10))")});
        MDabrix::Cnx->BeginTrans();
        for (int i = 1; i <= 12; ++i)
            m_db.Exec({QStringLiteral("INSERT INTO [Order Details] VALUES (%1, 'p%1', %2, %3.5, 'l%1')")
                           .arg(i).arg(i * 10).arg((i * 7) % 12)});
        MDabrix::Cnx->CommitTrans();
        return true;
    }

    frmTblData* openForm(const QString& table = QStringLiteral("Order Details"), int maxCount = 0, bool async = false)
    {
        m_form = new frmTblData;
        m_form->Init(table, maxCount, async);
        m_form->show();
        return m_form;
    }

    DataGrid* grid() const { return m_form->findChild<DataGrid*>(QStringLiteral("Grd")); }
    QWidget* pic() const { return m_form->findChild<QWidget*>(QStringLiteral("picSplitter")); }
    QPlainTextEdit* txt() const { return m_form->findChild<QPlainTextEdit*>(QStringLiteral("Txt")); }

    void drag(int y, Qt::MouseButtons buttons = Qt::LeftButton)
    {
        QWidget* pic = this->pic();
        const QPointF local(5, y);
        QMouseEvent move(QEvent::MouseMove, local, pic->mapToGlobal(local), Qt::NoButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(pic, &move);
    }

    void clickHeader(int column)
    {
        QHeaderView* header = grid()->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    }

    static QString operatorFailure() { return ui::Sentence::OperatorAction + QStringLiteral("\n\n"); }

    // Two columns that may not be Null and one old row, shown in the window.
    bool openPairs(const QString& kind)
    {
        if (!prepare(kind))
            return false;
        m_db.Exec({m_db.IsPostgres()
                       ? QStringLiteral("CREATE TABLE [Pairs] (id SERIAL PRIMARY KEY, a VARCHAR(10) NOT NULL, b INTEGER NOT NULL, c VARCHAR(10))")
                       : QStringLiteral("CREATE TABLE [Pairs] (id INTEGER PRIMARY KEY AUTOINCREMENT, a VARCHAR(10) NOT NULL, "
                                        "b INTEGER NOT NULL, c VARCHAR(10))"),
                   QStringLiteral("INSERT INTO [Pairs] (a, b) VALUES ('old', 1)")});
        openForm(QStringLiteral("Pairs"));
        return QTest::qWaitForWindowExposed(m_form);
    }

    QLineEdit* openEditor(int row, int column)
    {
        DataGrid* g = grid();
        const QModelIndex index = g->model()->index(row, column);
        g->setCurrentIndex(index);
        g->edit(index);
        return qobject_cast<QLineEdit*>(g->indexWidget(index));
    }

    // Types into a cell through its editor and leaves the editor with a key.
    void typeInto(int row, int column, const QString& text, Qt::Key end = Qt::Key_Return)
    {
        QLineEdit* editor = openEditor(row, column);
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, text);
        QPointer<QLineEdit> open = editor;
        QTest::keyClick(editor, end);
        // The delegate commits through a queued call, then deletes the editor.
        QTRY_VERIFY(open.isNull());
    }

private slots:
    void cleanup()
    {
        delete m_form;
        WinFixture::Close();
    }

    void queryText_data();
    void queryText();
    void statusTexts_data();
    void statusTexts();
    void failedLoadKeepsTheGrid();
    void sortToggle();
    void editInGrid_data();
    void editInGrid();
    void keys_data();
    void keys();
    void splitter();
    void exportFromToolbar_data();
    void exportFromToolbar();
    void refreshDataWindows();
    void newRecordset();
    void executeSqlTimeout_data();
    void executeSqlTimeout();
    void newRowThroughTheGrid_data();
    void newRowThroughTheGrid();
    void refusedNewRowKeepsTheTyping_data();
    void refusedNewRowKeepsTheTyping();
    void escapeAbandonsTheEditFirst_data();
    void escapeAbandonsTheEditFirst();
    void deleteKey_data();
    void deleteKey();
    void closeDuringAReport_data();
    void closeDuringAReport();
};

void TestTblData::queryText_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<int>("rows");
    QTest::newRow("0") << 0 << QStringLiteral("SELECT *") << 12;
    QTest::newRow("negative") << -4 << QStringLiteral("SELECT *") << 12;
    QTest::newRow("5") << 5 << QStringLiteral("SELECT TOP 5 *") << 5;
    QTest::newRow("1000") << 1000 << QStringLiteral("SELECT TOP 1000 *") << 12;
}

void TestTblData::queryText()
{
    QFETCH(int, limit);
    QFETCH(QString, firstLine);
    QFETCH(int, rows);
    QVERIFY(prepare());

    QCOMPARE(frmTblData::QueryText(QStringLiteral("Order Details"), limit),
             firstLine + QStringLiteral("\r\nFROM [Order Details]"));
    openForm(QStringLiteral("Order Details"), limit);
    QCOMPARE(txt()->toPlainText(), firstLine + QStringLiteral("\nFROM [Order Details]"));
    QCOMPARE(m_form->StatusText(), QString::number(rows) + QStringLiteral(" objet(s)"));
    QCOMPARE(grid()->Model()->RecordRows(), rows);
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Table"));
    QCOMPARE(m_form->property("Tag").toString(), QStringLiteral("DataWin"));
    QVERIFY(ui::FormsRegistry::Forms().contains(m_form.data()));
}

void TestTblData::statusTexts_data()
{
    QTest::addColumn<bool>("async");
    QTest::addColumn<bool>("hfsql");
    QTest::addColumn<bool>("jet4");
    QTest::addColumn<bool>("countAtOnce");
    QTest::newRow("sync") << false << false << false << true;
    QTest::newRow("async") << true << false << false << false;
    QTest::newRow("async, hfsql") << true << true << false << true;
    QTest::newRow("async, jet4") << true << false << true << true;
}

void TestTblData::statusTexts()
{
    QFETCH(bool, async);
    QFETCH(bool, hfsql);
    QFETCH(bool, jet4);
    QFETCH(bool, countAtOnce);
    QVERIFY(prepare());
    m_db.Exec({QStringLiteral("CREATE TABLE [Big] (id INTEGER PRIMARY KEY, name VARCHAR(20))"),
               QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20000) "
                              "INSERT INTO [Big] SELECT i, 'name ' || i FROM n")});
    MDabrix::IsHfsql = hfsql;
    MDabrix::IsJet4 = jet4;

    openForm(QStringLiteral("Big"), 0, async);
    if (countAtOnce) {
        QCOMPARE(m_form->StatusText(), QStringLiteral("20000 objet(s)"));
        QVERIFY(!m_form->Recordset()->IsFetching());
        return;
    }
    QCOMPARE(m_form->StatusText(), QStringLiteral("Sélection en cours..."));
    QVERIFY(m_form->Recordset()->IsFetching());
    // The grid is bound while the rows are still arriving.
    QVERIFY(grid()->Model()->RecordRows() > 0);
    QTRY_COMPARE(m_form->StatusText(), QStringLiteral("20000 objet(s)"));
    QCOMPARE(grid()->Model()->RecordRows(), 20000);
}

void TestTblData::failedLoadKeepsTheGrid()
{
    QVERIFY(prepare());
    openForm();
    ado::Recordset* shown = m_form->Recordset();
    txt()->setPlainText(QStringLiteral("SELECT * FROM [Nope]"));
    ModalAnswerer answerer(ModalAnswerer::Accept());
    m_form->findChild<QAction*>(QStringLiteral("Execute"))->trigger();
    QVERIFY(answerer.done());
    QCOMPARE(answerer.titles().value(0), QStringLiteral("Table"));
    QVERIFY2(answerer.texts().value(0).startsWith(operatorFailure()), qPrintable(answerer.texts().value(0)));
    QCOMPARE(m_form->StatusText(), QStringLiteral("Sélection en cours..."));
    QVERIFY(!m_form->Recordset()->IsOpen());
    QCOMPARE(grid()->DataSource(), shown);
    QCOMPARE(grid()->Model()->RecordRows(), 12);
    QCOMPARE(grid()->model()->index(0, 1).data().toString(), QStringLiteral("p1"));
}

void TestTblData::sortToggle()
{
    QVERIFY(prepare());
    openForm();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
    QCOMPARE(grid()->ConvertEmptyCell(1), int(RecordsetModel::KeepEmpty));
    QCOMPARE(grid()->ConvertEmptyCell(3), int(RecordsetModel::EmptyToNull));
    // The current row of the grid is the current record.
    grid()->setCurrentIndex(grid()->model()->index(3, 1));
    QCOMPARE(m_form->Recordset()->AbsolutePosition(), 4);

    const struct {
        int column;
        const char* sort;
        int firstId;
    } steps[] = {{0, "id ASC", 1}, {0, "id DESC", 12}, {3, "price ASC", 12}, {3, "price DESC", 5}, {0, "id ASC", 1}};
    for (const auto& step : steps) {
        clickHeader(step.column);
        QCOMPARE(m_form->Recordset()->Sort(), QString::fromLatin1(step.sort));
        QCOMPARE(grid()->model()->index(0, 0).data(Qt::EditRole).toInt(), step.firstId);
        QCOMPARE(m_form->Recordset()->AbsolutePosition(), 4);
        QCOMPARE(grid()->currentIndex().row(), 3);
        QCOMPARE(grid()->ConvertEmptyCell(3), int(RecordsetModel::EmptyToNull));
    }
}

void TestTblData::editInGrid_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("sqlite") << QStringLiteral("sqlite");
    QTest::newRow("postgres") << QStringLiteral("postgres");
}

void TestTblData::editInGrid()
{
    QFETCH(QString, kind);
    QVERIFY(prepare(kind));
    openForm();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
    DataGrid* g = grid();
    const int id = g->model()->index(1, 0).data(Qt::EditRole).toInt();

    const auto typeInto = [g](int row, int column, const QString& text) {
        const QModelIndex index = g->model()->index(row, column);
        g->setCurrentIndex(index);
        g->edit(index);
        auto* editor = qobject_cast<QLineEdit*>(g->indexWidget(index));
        QVERIFY(editor);
        editor->selectAll();
        if (text.isEmpty())
            QTest::keyClick(editor, Qt::Key_Backspace);
        else
            QTest::keyClicks(editor, text);
        QPointer<QLineEdit> open = editor;
        QTest::keyClick(editor, Qt::Key_Return);
        // The delegate commits through a queued call, then deletes the editor.
        QTRY_VERIFY(open.isNull());
    };

    typeInto(1, 1, QStringLiteral("changed"));
    QCOMPARE(m_db.ReadBack(QStringLiteral("SELECT product FROM [Order Details] WHERE id = %1").arg(id)).toString(),
             QStringLiteral("changed"));
    typeInto(1, 2, QString());
    QCOMPARE(m_db.ReadBack(QStringLiteral("SELECT count(*) FROM [Order Details] WHERE id = %1 AND qty IS NULL").arg(id)).toInt(), 1);
    QCOMPARE(g->model()->index(1, 2).data().toString(), QString());

    // A refused value is reported with the window's caption and leaves the row as it was.
    ModalAnswerer answerer(ModalAnswerer::Accept());
    typeInto(1, 3, QStringLiteral("abc"));
    QTRY_VERIFY(answerer.done());
    QCOMPARE(answerer.titles().value(0), QStringLiteral("Table"));
    QVERIFY(answerer.texts().value(0).startsWith(operatorFailure() + QStringLiteral("13 - ")));
    QCOMPARE(m_form->Recordset()->EditMode(), int(ado::Recordset::adEditNone));

    // The empty line at the bottom adds a row; Delete removes the selected ones.
    typeInto(12, 0, QStringLiteral("99"));
    g->setCurrentIndex(g->model()->index(0, 1));
    QCOMPARE(m_db.ReadBack(QStringLiteral("SELECT count(*) FROM [Order Details] WHERE id = 99")).toInt(), 1);
    g->selectRow(0);
    QTest::keyClick(g, Qt::Key_Delete);
    QCOMPARE(m_db.ReadBack(QStringLiteral("SELECT count(*) FROM [Order Details]")).toInt(), 12);
    QCOMPARE(g->Model()->RecordRows(), 12);
}

void TestTblData::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<bool>("reloads");
    QTest::addColumn<bool>("closes");
    QTest::newRow("F5") << int(Qt::Key_F5) << Qt::KeyboardModifiers() << true << false;
    QTest::newRow("Ctrl+F5") << int(Qt::Key_F5) << Qt::KeyboardModifiers(Qt::ControlModifier) << false << false;
    QTest::newRow("Shift+F5") << int(Qt::Key_F5) << Qt::KeyboardModifiers(Qt::ShiftModifier) << false << false;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << Qt::KeyboardModifiers() << false << true;
    QTest::newRow("Shift+Escape") << int(Qt::Key_Escape) << Qt::KeyboardModifiers(Qt::ShiftModifier) << false << false;
    QTest::newRow("Alt+Escape") << int(Qt::Key_Escape) << Qt::KeyboardModifiers(Qt::AltModifier) << false << false;
}

void TestTblData::keys()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(bool, reloads);
    QFETCH(bool, closes);
    QVERIFY(prepare());
    openForm();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
    ado::Recordset* before = m_form->Recordset();
    m_db.Exec({QStringLiteral("INSERT INTO [Order Details] (id) VALUES (50)")});

    // Sent to the grid: the window sees the key first.
    QTest::keyClick(grid(), Qt::Key(key), modifiers);
    if (closes) {
        QTRY_VERIFY(m_form.isNull());
        QVERIFY(QFile::exists(QSettings(frmTblData::PlatformSettingsOrganization(), QStringLiteral("Dabrix")).fileName()));
        return;
    }
    QVERIFY(!m_form.isNull());
    QCOMPARE(m_form->Recordset() != before, reloads);
    QCOMPARE(m_form->StatusText(), reloads ? QStringLiteral("13 objet(s)") : QStringLiteral("12 objet(s)"));
}

void TestTblData::splitter()
{
    QVERIFY(prepare());
    openForm();
    m_form->resize(600, 400); // 9000 x 6000 twips
    QVERIFY(QTest::qWaitForWindowExposed(m_form));

    drag(-100); // far above the floor
    QCOMPARE(m_form->SplitterPosition(), 300.0);
    QCOMPARE(pic()->y(), 20);
    QCOMPARE(grid()->y(), 25);
    // At the floor the splitter lies within the toolbar's height and must still be the
    // widget a click there reaches.
    QCOMPARE(m_form->childAt(pic()->geometry().center()), pic());

    drag(120); // 300 + 1800
    QCOMPARE(m_form->SplitterPosition(), 2100.0);
    QCOMPARE(txt()->geometry(), QRect(0, 28, 600, 112));
    QCOMPARE(pic()->y(), 140);
    const QRect gridBefore(0, 145, 600, 400 - 145 - m_form->findChild<QWidget*>(QStringLiteral("sb"))->height());
    QCOMPARE(grid()->geometry(), gridBefore);

    drag(20, Qt::NoButton);
    drag(20, Qt::LeftButton | Qt::RightButton);
    QCOMPARE(m_form->SplitterPosition(), 2100.0);

    drag(350); // below the bottom: the grid keeps its size, the others follow
    QCOMPARE(m_form->SplitterPosition(), 2100.0 + 350 * 15);
    QCOMPARE(pic()->y(), 490);
    QCOMPARE(txt()->height(), 490 - 28);
    QCOMPARE(grid()->geometry(), gridBefore);

    drag(-350 + 60); // back to 2100 + 900
    QCOMPARE(m_form->SplitterPosition(), 3000.0);
    m_form->close();
    QTRY_VERIFY(m_form.isNull());
    QSettings saved(frmTblData::PlatformSettingsOrganization(), QStringLiteral("Dabrix"));
    QCOMPARE(saved.value(QStringLiteral("frmTblData/SplitterTop")).toString(), QStringLiteral("3000"));

    openForm();
    QCOMPARE(m_form->SplitterPosition(), 3000.0);
    QCOMPARE(pic()->y(), 200);
}

void TestTblData::exportFromToolbar_data()
{
    QTest::addColumn<bool>("missingFolder");
    QTest::newRow("success") << false;
    QTest::newRow("no folder") << true;
}

void TestTblData::exportFromToolbar()
{
    QFETCH(bool, missingFolder);
    QVERIFY(prepare());
    openForm(QStringLiteral("Order Details"), 2);
    const QByteArray tmp = qgetenv("TMPDIR");
    QFile::remove(CsvExporter::DefaultPath());
    if (missingFolder)
        qputenv("TMPDIR", tmp + "/missing");
    const QString cwdFile = QDir::current().filePath(QStringLiteral("Export.csv"));
    QFile::remove(cwdFile);

    ModalAnswerer answerer({ModalAnswerer::Button(QStringLiteral("&No")), ModalAnswerer::Accept()});
    m_form->findChild<QAction*>(QStringLiteral("Export"))->trigger();
    qputenv("TMPDIR", tmp);
    QVERIFY(answerer.done());
    if (missingFolder) {
        QCOMPARE(answerer.titles().value(1), QStringLiteral("Table"));
        QVERIFY(answerer.texts().value(1).startsWith(operatorFailure() + QStringLiteral("76 - ")));
        QVERIFY(!QFile::exists(CsvExporter::DefaultPath()));
        QVERIFY(!QFile::exists(cwdFile));
        return;
    }
    QCOMPARE(answerer.titles().value(1), QStringLiteral("Dabrix"));
    QCOMPARE(answerer.texts().value(1), QStringLiteral("Export terminé avec succès"));
    QFile file(CsvExporter::DefaultPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("id;product;qty;price;label\r\n1;\"p1\";10;7.5;\"l1\"\r\n2;\"p2\";20;2.5;\"l2\"\r\n"));
}

void TestTblData::refreshDataWindows()
{
    QVERIFY(prepare());
    openForm();
    QPointer<frmTblData> second = new frmTblData;
    second->Init(QStringLiteral("Order Details"), 3, false);
    m_db.Exec({QStringLiteral("INSERT INTO [Order Details] (id) VALUES (50)")});
    MDabrix::RefreshDataWindows();
    QCOMPARE(m_form->StatusText(), QStringLiteral("13 objet(s)"));
    QCOMPARE(second->StatusText(), QStringLiteral("3 objet(s)"));
    QCOMPARE(second->Recordset()->RecordCount(), 3);
    delete second;
}

void TestTblData::newRecordset()
{
    auto server = adoLib::NewRecordset(ado::Recordset::adUseServer);
    QCOMPARE(server->CursorLocation(), int(ado::Recordset::adUseServer));
    QVERIFY_THROWS_EXCEPTION(ado::AdoError, server->Properties(QStringLiteral("Update Criteria")));
    auto client = adoLib::NewRecordset(ado::Recordset::adUseClient);
    QCOMPARE(client->CursorLocation(), int(ado::Recordset::adUseClient));
    QCOMPARE(client->Properties(QStringLiteral("Update Criteria")), QVariant(qint32(0)));
    QCOMPARE(client->Properties(QStringLiteral("Update Resync")), QVariant(qint32(0)));
}

void TestTblData::executeSqlTimeout_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<int>("affected"); // -1: the statement fails
    QTest::newRow("keep the timeout") << QStringLiteral("UPDATE [Order Details] SET qty = 0 WHERE id <= 3") << -1 << 3;
    QTest::newRow("own timeout") << QStringLiteral("DELETE FROM [Order Details] WHERE id > 10") << 5 << 2;
    QTest::newRow("zero timeout") << QStringLiteral("UPDATE [Order Details] SET qty = 1") << 0 << 12;
    QTest::newRow("failing statement") << QStringLiteral("UPDATE [Nope] SET x = 1") << 5 << -1;
}

void TestTblData::executeSqlTimeout()
{
    QFETCH(QString, statement);
    QFETCH(int, timeout);
    QFETCH(int, affected);
    QVERIFY(prepare());
    MDabrix::Cnx->SetCommandTimeout(900);
    if (affected < 0)
        QVERIFY_THROWS_EXCEPTION(ado::AdoError, adoLib::ExecuteSql(statement, *MDabrix::Cnx, qint16(timeout)));
    else
        QCOMPARE(adoLib::ExecuteSql(statement, *MDabrix::Cnx, qint16(timeout)), affected);
    QCOMPARE(MDabrix::Cnx->CommandTimeout(), 900);
}

void TestTblData::newRowThroughTheGrid_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("leave");
    for (const char* kind : {"sqlite", "postgres"})
        for (const char* leave : {"other row", "enter on the last cell", "close", "reload"})
            QTest::addRow("%s, %s", kind, leave) << QString::fromLatin1(kind) << QString::fromLatin1(leave);
}

void TestTblData::newRowThroughTheGrid()
{
    QFETCH(QString, kind);
    QFETCH(QString, leave);
    QVERIFY(openPairs(kind));
    DataGrid* g = grid();
    const int line = g->Model()->NewRowLine();
    QCOMPARE(line, 1);

    // Enter moves on along the new row; nothing is written while the user is on it.
    typeInto(line, 1, QStringLiteral("x"));
    QCOMPARE(g->currentIndex(), g->model()->index(line, 2));
    typeInto(line, 2, QStringLiteral("7"));
    QCOMPARE(g->currentIndex(), g->model()->index(line, 3));
    QCOMPARE(g->model()->index(line, 1).data().toString(), QStringLiteral("x"));
    QCOMPARE(m_db.ReadBack(QStringLiteral("SELECT count(*) FROM [Pairs]")).toInt(), 1);

    if (leave == u"other row") {
        g->setCurrentIndex(g->model()->index(0, 1));
    } else if (leave == u"enter on the last cell") {
        QTest::keyClick(g, Qt::Key_Return);
        QCOMPARE(g->currentIndex(), g->model()->index(g->Model()->NewRowLine(), 0));
    } else if (leave == u"close") {
        m_form->close();
        QTRY_VERIFY(m_form.isNull());
    } else {
        QTest::keyClick(g, Qt::Key_F5);
        QCOMPARE(m_form->StatusText(), QStringLiteral("2 objet(s)"));
    }
    QCOMPARE(m_db.ReadBack(QStringLiteral("SELECT count(*) FROM [Pairs] WHERE a = 'x' AND b = 7")).toInt(), 1);
    if (m_form.isNull())
        return;
    QCOMPARE(grid()->Model()->RecordRows(), 2);
    QVERIFY(!grid()->HasPendingRow());
    QCOMPARE(grid()->model()->index(1, 0).data(Qt::EditRole).toLongLong(),
             m_db.ReadBack(QStringLiteral("SELECT id FROM [Pairs] WHERE a = 'x'")).toLongLong());
}

void TestTblData::refusedNewRowKeepsTheTyping_data()
{
    editInGrid_data();
}

void TestTblData::refusedNewRowKeepsTheTyping()
{
    QFETCH(QString, kind);
    QVERIFY(openPairs(kind));
    DataGrid* g = grid();
    const int line = g->Model()->NewRowLine();
    typeInto(line, 1, QStringLiteral("x"));

    // The row lacks b: leaving it reports the refusal and keeps what was typed.
    {
        ModalAnswerer answerer(ModalAnswerer::Accept());
        g->setCurrentIndex(g->model()->index(0, 1));
        QTRY_VERIFY(answerer.done());
        QCOMPARE(answerer.titles().value(0), QStringLiteral("Table"));
        QVERIFY2(answerer.texts().value(0).startsWith(operatorFailure()), qPrintable(answerer.texts().value(0)));
    }
    QVERIFY(g->HasPendingRow());
    QCOMPARE(g->Model()->RecordRows(), 1);
    QCOMPARE(g->model()->index(line, 1).data().toString(), QStringLiteral("x"));

    // Closing tries again and, refused, keeps the window with the row.
    {
        ModalAnswerer answerer(ModalAnswerer::Accept());
        m_form->close();
        QTRY_VERIFY(answerer.done());
    }
    QVERIFY(!m_form.isNull());
    QVERIFY(m_form->isVisible());
    QVERIFY(g->HasPendingRow());

    // Escape abandons the row; the next Escape closes the window.
    QTest::keyClick(g, Qt::Key_Escape);
    QVERIFY(!m_form.isNull());
    QVERIFY(!g->HasPendingRow());
    QCOMPARE(g->model()->index(line, 1).data(), QVariant());
    QTest::keyClick(g, Qt::Key_Escape);
    QTRY_VERIFY(m_form.isNull());
    QCOMPARE(m_db.ReadBack(QStringLiteral("SELECT count(*) FROM [Pairs]")).toInt(), 1);
}

void TestTblData::escapeAbandonsTheEditFirst_data()
{
    QTest::addColumn<int>("row");
    QTest::newRow("record") << 1;
    QTest::newRow("new row") << 12;
}

void TestTblData::escapeAbandonsTheEditFirst()
{
    QFETCH(int, row);
    QVERIFY(prepare());
    openForm();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
    DataGrid* g = grid();
    const QString before = g->model()->index(row, 1).data().toString();

    QPointer<QLineEdit> editor = openEditor(row, 1);
    QVERIFY(editor);
    QTest::keyClicks(editor, QStringLiteral("zzz"));
    QTest::keyClick(editor, Qt::Key_Escape);
    QTRY_VERIFY(editor.isNull());
    QVERIFY(!m_form.isNull());
    QVERIFY(!g->HasPendingRow());
    QCOMPARE(g->model()->index(row, 1).data().toString(), before);
    QCOMPARE(m_db.ReadBack(QStringLiteral("SELECT count(*) FROM [Order Details] WHERE product LIKE '%zzz%'")).toInt(), 0);
    QCOMPARE(m_db.ReadBack(QStringLiteral("SELECT count(*) FROM [Order Details]")).toInt(), 12);

    QTest::keyClick(g, Qt::Key_Escape);
    QTRY_VERIFY(m_form.isNull());
}

void TestTblData::deleteKey_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("deleted");
    QTest::newRow("current cell") << QStringLiteral("cell") << 0;
    QTest::newRow("cells of two rows") << QStringLiteral("cells") << 0;
    QTest::newRow("inside an editor") << QStringLiteral("editor") << 0;
    QTest::newRow("row header") << QStringLiteral("header") << 1;
}

void TestTblData::deleteKey()
{
    QFETCH(QString, how);
    QFETCH(int, deleted);
    QVERIFY(prepare());
    openForm();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
    DataGrid* g = grid();
    const int id = g->model()->index(2, 0).data(Qt::EditRole).toInt();

    QWidget* target = g;
    g->setCurrentIndex(g->model()->index(2, 1));
    if (how == u"cells") {
        g->selectionModel()->select(QItemSelection(g->model()->index(2, 0), g->model()->index(3, 3)),
                                    QItemSelectionModel::ClearAndSelect);
    } else if (how == u"editor") {
        target = openEditor(2, 1);
        QVERIFY(target);
        static_cast<QLineEdit*>(target)->setCursorPosition(0);
    } else if (how == u"header") {
        QHeaderView* header = g->verticalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->width() / 2, header->sectionViewportPosition(2) + header->sectionSize(2) / 2));
        QCOMPARE(g->selectionModel()->selectedRows().size(), 1);
    }
    QTest::keyClick(target, Qt::Key_Delete);
    if (how == u"editor")
        QCOMPARE(static_cast<QLineEdit*>(target)->text(), QStringLiteral("3"));
    QCOMPARE(m_db.ReadBack(QStringLiteral("SELECT count(*) FROM [Order Details]")).toInt(), 12 - deleted);
    QCOMPARE(m_db.ReadBack(QStringLiteral("SELECT count(*) FROM [Order Details] WHERE id = %1").arg(id)).toInt(), 1 - deleted);
    QCOMPARE(g->Model()->RecordRows(), 12 - deleted);
}

void TestTblData::closeDuringAReport_data()
{
    QTest::addColumn<bool>("escape");
    QTest::addColumn<QString>("pending");
    QTest::newRow("Escape") << true << QString();
    QTest::newRow("close, with a row typed") << false << QStringLiteral("p99");
}

void TestTblData::closeDuringAReport()
{
    QFETCH(bool, escape);
    QFETCH(QString, pending);
    QVERIFY(prepare());
    openForm();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
    const int line = grid()->Model()->NewRowLine();
    if (!pending.isEmpty())
        typeInto(line, 1, pending);

    QPointer<frmTblData> form = m_form;
    bool answeredUnderTheWindow = false;
    ModalAnswerer answerer([form, escape, &answeredUnderTheWindow](QWidget* box) {
        // Inside the report's own event loop: the window is asked to close, then the loop
        // runs on for a while before the report is answered.
        if (!form)
            return;
        if (escape)
            QTest::keyClick(form->findChild<DataGrid*>(QStringLiteral("Grd")), Qt::Key_Escape);
        else
            form->close();
        QPointer<QWidget> report = box;
        QTimer::singleShot(100, box, [report, form, &answeredUnderTheWindow] {
            answeredUnderTheWindow = !form.isNull();
            ModalAnswerer::Accept()(report);
        });
    });
    typeInto(line, 3, QStringLiteral("abc")); // a price the column refuses
    QTRY_VERIFY(answerer.done());
    QTRY_VERIFY(m_form.isNull());
    QVERIFY(answeredUnderTheWindow);
    if (!pending.isEmpty())
        QCOMPARE(m_db.ReadBack(QStringLiteral("SELECT count(*) FROM [Order Details] WHERE product = '%1'").arg(pending)).toInt(), 1);
}

DABRIX_TEST_MAIN(TestTblData)
#include "tst_tbldata.moc"
