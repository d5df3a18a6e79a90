#include "support/ModalAnswerer.h"
#include "support/TestMain.h"

#include "ManagersFixture.h"
#include "ado/AdoError.h"
#include "ado/Connection.h"
#include "ado/Field.h"
#include "ado/Recordset.h"
#include "app/MDI.h"
#include "app/MDabrix.h"
#include "app/SettingsStore.h"
#include "connections/frmFileDialog.h"
#include "managers/PictureChunkWriter.h"
#include "managers/frmLstImages.h"
#include "ui/DataGrid.h"
#include "ui/FailureReport.h"
#include "ui/FormsRegistry.h"
#include "ui/PictureBox.h"
#include "ui/RecordsetModel.h"

#include <QBuffer>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>

using testsupport::ModalAnswerer;

namespace {

// Types a path into the file dialog and presses "Ok".
ModalAnswerer::Answer Choose(const QString& path)
{
    return ModalAnswerer::For(QStringLiteral("frmFileDialog"), [path](QWidget* w) {
        w->findChild<QLineEdit*>(QStringLiteral("txtPath"))->setText(path);
        w->findChild<QPushButton*>(QStringLiteral("cmdOk"))->click();
    });
}

QString AddImageFailure()
{
    return ui::Sentence::OperatorAction + QStringLiteral(" (cmdAddImage_Click)\n\n");
}

} // namespace

class TestLstImages : public QObject {
    Q_OBJECT

private:
    ManagersFixture m_fx;

    bool prepare(const QString& kind)
    {
        if (!m_fx.Open(kind, QStringLiteral("tst_lstimages"))) {
            qWarning("%s", qPrintable(m_fx.db.error));
            return false;
        }
        return true;
    }

    frmLstImages* open()
    {
        auto* form = qobject_cast<frmLstImages*>(m_fx.Command(QStringLiteral("mnu_AffImages"), QStringLiteral("frmLstImages")));
        if (form) {
            (void)QTest::qWaitForWindowExposed(form);
            // A fetch that never ends fails the caller's check on the window.
            if (!QTest::qWaitFor([form] { return !form->Recordset()->IsFetching(); }))
                return nullptr;
        }
        return form;
    }

    static DataGrid* grid(QWidget* form) { return form->findChild<DataGrid*>(QStringLiteral("Grd")); }
    static PictureBox* picture(QWidget* form) { return form->findChild<PictureBox*>(QStringLiteral("Picture1")); }
    static QPushButton* button(QWidget* form) { return form->findChild<QPushButton*>(QStringLiteral("cmdAddImage")); }

    // Makes the row with that id current, by the first column of the grid.
    static void selectId(QWidget* form, int id)
    {
        DataGrid* g = grid(form);
        for (int row = 0; row < g->Model()->RecordRows(); ++row) {
            if (g->model()->index(row, 0).data(Qt::EditRole).toInt() == id) {
                g->setCurrentIndex(g->model()->index(row, 1));
                return;
            }
        }
        QFAIL("no such row");
    }

private slots:
    void cleanup() { m_fx.Close(); }

    void window();
    void backgroundLoadAndRefresh_data();
    void backgroundLoadAndRefresh();
    void pictureFollowsTheCurrentRow();
    void piecePlan_data();
    void piecePlan();
    void writesInPieces_data();
    void writesInPieces();
    void refusedOrNothingToDo_data();
    void refusedOrNothingToDo();
    void eventsDuringTheWrite_data();
    void eventsDuringTheWrite();
    void twoWindowsHaveTheirOwnRows();
};

void TestLstImages::window()
{
    QVERIFY(prepare(QStringLiteral("sqlite")));
    frmLstImages* form = open();
    QVERIFY(form);
    auto* sub = qobject_cast<QMdiSubWindow*>(form->parentWidget());
    QVERIFY(sub);
    QCOMPARE(sub->windowTitle(), QStringLiteral("Images"));
    QCOMPARE(form->property("Tag").toString(), QStringLiteral("DataWin"));
    QCOMPARE(button(form)->text(), QStringLiteral("Charge Image"));
    // Neither the user nor the frame can change its size.
    QCOMPARE(sub->minimumSize(), sub->maximumSize());
    QVERIFY(!(sub->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    const QSize before = form->size();
    sub->resize(sub->size() + QSize(200, 100));
    QCOMPARE(form->size(), before);
    QCOMPARE(form->StatusText(), QStringLiteral("4 objet(s)"));
    QCOMPARE(grid(form)->Model()->RecordRows(), 4);
    QCOMPARE(form->Recordset()->Source(), QStringLiteral("Images"));
}

void TestLstImages::backgroundLoadAndRefresh_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("sqlite") << QStringLiteral("sqlite");
    QTest::newRow("postgres") << QStringLiteral("postgres");
}

void TestLstImages::backgroundLoadAndRefresh()
{
    QFETCH(QString, kind);
    QVERIFY(prepare(kind));
    MDabrix::Cnx->BeginTrans();
    for (int id = 10; id < 3010; ++id)
        m_fx.db.Exec({QStringLiteral("INSERT INTO [Images] (id, Code) VALUES (%1, 'C%1')").arg(id)});
    MDabrix::Cnx->CommitTrans();

    auto* form = qobject_cast<frmLstImages*>(m_fx.Command(QStringLiteral("mnu_AffImages"), QStringLiteral("frmLstImages")));
    QVERIFY(form);
    QVERIFY(form->Recordset()->IsFetching());
    QCOMPARE(form->StatusText(), QStringLiteral("Sélection en cours..."));
    QTRY_COMPARE(form->StatusText(), QStringLiteral("3004 objet(s)"));

    // F5 reads the rows again; the status is the fetch's to set.
    m_fx.db.Exec({QStringLiteral("INSERT INTO [Images] (id, Code) VALUES (5000, 'late')")});
    QVERIFY(QTest::qWaitForWindowExposed(form));
    QTest::keyClick(grid(form), Qt::Key_F5);
    QVERIFY(form->StatusText() != QStringLiteral("Sélection en cours..."));
    QTRY_COMPARE(grid(form)->Model()->RecordRows(), 3005);
    QTRY_COMPARE(form->StatusText(), QStringLiteral("3005 objet(s)"));

    // The shared refresh reaches it by its tag.
    m_fx.db.Exec({QStringLiteral("INSERT INTO [Images] (id, Code) VALUES (5001, 'later')")});
    MDabrix::RefreshDataWindows();
    QTRY_COMPARE(grid(form)->Model()->RecordRows(), 3006);
}

void TestLstImages::pictureFollowsTheCurrentRow()
{
    QVERIFY(prepare(QStringLiteral("sqlite")));
    const QByteArray first = ManagersFixture::PictureBytes(9000, 1);
    QImage small(12, 8, QImage::Format_RGB32);
    small.fill(Qt::red);
    QByteArray second;
    {
        QBuffer buffer(&second);
        buffer.open(QIODevice::WriteOnly);
        small.save(&buffer, "BMP");
    }
    m_fx.StorePicture(1, first);
    m_fx.StorePicture(4, second);
    frmLstImages* form = open();
    QVERIFY(form);

    // The first row is current from the start.
    QCOMPARE(grid(form)->currentIndex().row(), 0);
    QCOMPARE(picture(form)->Picture().size(), QSize(40, 30));
    selectId(form, 4);
    QCOMPARE(picture(form)->Picture().size(), QSize(12, 8));
    QCOMPARE(picture(form)->Picture().pixelColor(0, 0), QColor(Qt::red));
    selectId(form, 3);
    QVERIFY(picture(form)->Picture().isNull());

    // A sort does not go back to the row that was current: the first row is.
    QHeaderView* header = grid(form)->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
    QCOMPARE(form->Recordset()->Sort(), QStringLiteral("id DESC"));
    QCOMPARE(form->Recordset()->AbsolutePosition(), 1);
    QCOMPARE(form->Recordset()->Fields(QStringLiteral("id")).Value().toInt(), 4);
    QCOMPARE(grid(form)->currentIndex().row(), 0);
    QCOMPARE(picture(form)->Picture().size(), QSize(12, 8));
}

void TestLstImages::piecePlan_data()
{
    QTest::addColumn<qint64>("length");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<int>("whole");
    QTest::addColumn<bool>("overflow");
    QTest::newRow("20000") << qint64(20000) << qint64(3616) << 2 << false;
    QTest::newRow("16384") << qint64(16384) << qint64(0) << 2 << false;
    QTest::newRow("last that fits") << qint64(268427263) << qint64(8191) << 32766 << false;
    QTest::newRow("32767 pieces") << qint64(268427264) << qint64(0) << 0 << true;
}

void TestLstImages::piecePlan()
{
    QFETCH(qint64, length);
    QFETCH(qint64, first);
    QFETCH(int, whole);
    QFETCH(bool, overflow);
    try {
        const PictureChunkWriter::Plan plan = PictureChunkWriter::PlanFor(length);
        QVERIFY(!overflow);
        QCOMPARE(plan.firstPiece, first);
        QCOMPARE(int(plan.wholePieces), whole);
    } catch (const ado::AdoError& e) {
        QVERIFY(overflow);
        QCOMPARE(e.Number(), ado::err::Overflow);
    }
}

void TestLstImages::writesInPieces_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QList<qint64>>("pieces");
    for (const char* kind : {"sqlite", "postgres"}) {
        QTest::addRow("%s, 20000 bytes", kind) << QString::fromLatin1(kind) << qint64(20000) << QList<qint64>{3616, 8192, 8192};
        QTest::addRow("%s, 16384 bytes", kind) << QString::fromLatin1(kind) << qint64(16384) << QList<qint64>{0, 8192, 8192};
    }
}

void TestLstImages::writesInPieces()
{
    QFETCH(QString, kind);
    QFETCH(qint64, size);
    QFETCH(QList<qint64>, pieces);
    QVERIFY(prepare(kind));
    m_fx.StorePicture(4, ManagersFixture::PictureBytes(30000, 9));
    frmLstImages* form = open();
    QVERIFY(form);
    selectId(form, 4);
    const QByteArray bytes = ManagersFixture::PictureBytes(size, 2);
    const QString path = ManagersFixture::WriteFile(QStringLiteral("picture.png"), bytes);

    // What the field holds after each append, and whether events ran during the write.
    QList<qint64> held;
    bool eventsDuringWrite = false;
    connect(form->Recordset(), &ado::Recordset::rowChanged, form, [&] {
        ado::Recordset* rs = form->Recordset();
        if (rs->EditMode() == ado::Recordset::adEditNone)
            return;
        held << rs->Fields(QStringLiteral("Image")).Value().toByteArray().size();
        QTimer::singleShot(0, form, [&] { eventsDuringWrite = eventsDuringWrite || form->IsWriting(); });
    });
    ModalAnswerer answerer(Choose(path));
    QTest::mouseClick(button(form), Qt::LeftButton);
    QVERIFY(answerer.done());
    QCOMPARE(answerer.titles().value(0), QStringLiteral("File Dialog"));

    QList<qint64> written;
    for (int i = 0; i < held.size(); ++i)
        written << held[i] - (i > 0 ? held[i - 1] : 0);
    QCOMPARE(written, pieces);
    QVERIFY(eventsDuringWrite);
    QCOMPARE(m_fx.StoredPicture(4), bytes);
    QCOMPARE(m_fx.StoredPicture(1), QByteArray());
    QCOMPARE(form->Recordset()->EditMode(), int(ado::Recordset::adEditNone));
    // Still on the same row, showing the new picture.
    QCOMPARE(form->Recordset()->Fields(QStringLiteral("id")).Value().toInt(), 4);
    QCOMPARE(picture(form)->Picture().size(), QSize(40, 30));
    QVERIFY(button(form)->isEnabled());
    QCOMPARE(frmFileDialog::FilePath, path);
}

void TestLstImages::refusedOrNothingToDo_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("id");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("failure"); // empty: nothing is reported
    for (const char* kind : {"sqlite", "postgres"}) {
        const QString k = QString::fromLatin1(kind);
        QTest::addRow("%s, not a picture", kind) << k << QStringLiteral("text") << 1 << false << QStringLiteral("481 - ");
        QTest::addRow("%s, blank code", kind) << k << QStringLiteral("picture") << 2 << false << QString();
        QTest::addRow("%s, cancelled", kind) << k << QStringLiteral("picture") << 1 << true << QString();
        QTest::addRow("%s, null code", kind) << k << QStringLiteral("picture") << 3 << false << QStringLiteral("94 - ");
    }
    QTest::newRow("sqlite, missing file") << QStringLiteral("sqlite") << QStringLiteral("missing") << 1 << false << QStringLiteral("53 - ");
    QTest::newRow("sqlite, too long") << QStringLiteral("sqlite") << QStringLiteral("huge") << 1 << false << QStringLiteral("6 - ");
}

void TestLstImages::refusedOrNothingToDo()
{
    QFETCH(QString, kind);
    QFETCH(QString, file);
    QFETCH(int, id);
    QFETCH(bool, cancel);
    QFETCH(QString, failure);
    QVERIFY(prepare(kind));
    const QByteArray old = ManagersFixture::PictureBytes(5000, 3);
    m_fx.StorePicture(id, old);
    frmLstImages* form = open();
    QVERIFY(form);
    selectId(form, id);

    QString path;
    if (file == u"text") {
        path = ManagersFixture::WriteFile(QStringLiteral("notes.png"), QByteArray("not a picture at all\n").repeated(1000));
    } else if (file == u"missing") {
        path = QDir::temp().filePath(QStringLiteral("no-such-picture.png"));
    } else {
        path = ManagersFixture::WriteFile(QStringLiteral("picture.png"), ManagersFixture::PictureBytes(12000, 4));
        if (file == u"huge") {
            // Sparse: the picture at its start, then enough nothing for 32767 pieces.
            QFile huge(path);
            QVERIFY(huge.resize(qint64(32767) * 8192));
        }
    }
    // A box that should not come is answered all the same, and counted.
    ModalAnswerer answerer({cancel ? ModalAnswerer::For(QStringLiteral("frmFileDialog"), ModalAnswerer::Button(QStringLiteral("cmdCancel")))
                                   : Choose(path),
                            ModalAnswerer::Accept()});
    QTest::mouseClick(button(form), Qt::LeftButton);
    if (failure.isEmpty()) {
        QTest::qWait(50);
        QCOMPARE(answerer.answered(), 1);
    } else {
        QTRY_COMPARE(answerer.answered(), 2);
        QCOMPARE(answerer.titles().value(1), QStringLiteral("Images"));
        QVERIFY2(answerer.texts().value(1).startsWith(AddImageFailure() + failure), qPrintable(answerer.texts().value(1)));
    }
    QCOMPARE(m_fx.StoredPicture(id), old);
    QCOMPARE(form->Recordset()->EditMode(), int(ado::Recordset::adEditNone));
    QCOMPARE(form->Recordset()->Fields(QStringLiteral("Image")).Value().toByteArray(), old);
    // The picture shown is the row's own again.
    QCOMPARE(picture(form)->Picture().size(), QSize(40, 30));
    QVERIFY(ui::FormsRegistry::Forms().contains(form));
    QVERIFY(button(form)->isEnabled());
}

void TestLstImages::eventsDuringTheWrite_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("event");
    QTest::addColumn<bool>("closes");
    for (const char* kind : {"sqlite", "postgres"}) {
        const QString k = QString::fromLatin1(kind);
        QTest::addRow("%s, close box", kind) << k << QStringLiteral("close") << true;
        QTest::addRow("%s, second click", kind) << k << QStringLiteral("click") << false;
        QTest::addRow("%s, F5", kind) << k << QStringLiteral("f5") << false;
        QTest::addRow("%s, header click", kind) << k << QStringLiteral("sort") << false;
        QTest::addRow("%s, shared refresh", kind) << k << QStringLiteral("refresh") << false;
    }
}

void TestLstImages::eventsDuringTheWrite()
{
    QFETCH(QString, kind);
    QFETCH(QString, event);
    QFETCH(bool, closes);
    QVERIFY(prepare(kind));
    const QByteArray old = ManagersFixture::PictureBytes(5000, 5);
    m_fx.StorePicture(4, old);
    QPointer<frmLstImages> form = open();
    QVERIFY(form);
    selectId(form, 4);
    const QByteArray bytes = ManagersFixture::PictureBytes(4 * 1024 * 1024, 6);
    const QString path = ManagersFixture::WriteFile(QStringLiteral("large.png"), bytes);

    // Once a few pieces are in, the user does something.
    int appended = 0;
    connect(form->Recordset(), &ado::Recordset::rowChanged, form, [&] {
        if (form->Recordset()->EditMode() == ado::Recordset::adEditNone || ++appended != 3)
            return;
        QTimer::singleShot(0, form, [&] {
            QVERIFY(form->IsWriting());
            if (event == u"close")
                form->parentWidget()->close();
            else if (event == u"click")
                QTest::mouseClick(button(form), Qt::LeftButton);
            else if (event == u"f5")
                QTest::keyClick(form, Qt::Key_F5);
            else if (event == u"sort") {
                QHeaderView* header = grid(form)->horizontalHeader();
                QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(1) + 5, 5));
            } else if (event == u"refresh") {
                m_fx.db.Exec({QStringLiteral("INSERT INTO [Images] (id, Code) VALUES (9, 'Z9')")});
                MDabrix::RefreshDataWindows();
            }
        });
    });
    ModalAnswerer answerer({Choose(path), ModalAnswerer::Accept()});
    QTest::mouseClick(button(form), Qt::LeftButton);
    QVERIFY(appended >= 3);

    if (closes) {
        QTRY_VERIFY(form.isNull());
        QCOMPARE(m_fx.StoredPicture(4), old);
    } else {
        QVERIFY(form);
        QCOMPARE(m_fx.StoredPicture(4), bytes);
        QCOMPARE(form->Recordset()->Sort(), QString());
        QCOMPARE(form->Recordset()->EditMode(), int(ado::Recordset::adEditNone));
    }
    if (event == u"refresh")
        QTRY_COMPARE(grid(form)->Model()->RecordRows(), 5);
    QCOMPARE(m_fx.StoredPicture(1), QByteArray());
    // One file dialog, and no failure to report.
    QTest::qWait(50);
    QCOMPARE(answerer.answered(), 1);
}

void TestLstImages::twoWindowsHaveTheirOwnRows()
{
    QVERIFY(prepare(QStringLiteral("sqlite")));
    frmLstImages* one = open();
    frmLstImages* two = open();
    QVERIFY(one && two && one != two);
    QVERIFY(one->Recordset() != two->Recordset());
    const QByteArray bytes = ManagersFixture::PictureBytes(20000, 7);
    const QString path = ManagersFixture::WriteFile(QStringLiteral("picture.png"), bytes);
    m_fx.main->Area()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(one->parentWidget()));
    ModalAnswerer answerer(Choose(path));
    QTest::mouseClick(button(one), Qt::LeftButton);
    QVERIFY(answerer.done());
    QCOMPARE(one->Recordset()->Fields(QStringLiteral("Image")).Value().toByteArray(), bytes);

    // The other window sees the picture once it is refreshed.
    QCOMPARE(two->Recordset()->Fields(QStringLiteral("id")).Value().toInt(), 1);
    QVERIFY(two->Recordset()->Fields(QStringLiteral("Image")).Value().toByteArray().isEmpty());
    QVERIFY(picture(two)->Picture().isNull());
    two->RefreshData();
    QTRY_VERIFY(!two->Recordset()->IsFetching());
    QCOMPARE(two->Recordset()->Fields(QStringLiteral("Image")).Value().toByteArray(), bytes);
    QCOMPARE(picture(two)->Picture().size(), QSize(40, 30));
}

DABRIX_TEST_MAIN(TestLstImages)
#include "tst_lstimages.moc"
