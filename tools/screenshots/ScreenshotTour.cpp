#include "ScreenshotTour.h"

#include "DemoWorkbook.h"
#include "support/ModalAnswerer.h"

#include "ado/Connection.h"
#include "ado/Field.h"
#include "ado/Recordset.h"
#include "app/MDI.h"
#include "app/MDabrix.h"
#include "windows/frmTblData.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTest>
#include <cstdio>

using testsupport::ModalAnswerer;

namespace {

constexpr int WaitMs = 20000;

template <typename T>
T* Loaded(const QString& name)
{
    for (QWidget* w : QApplication::allWidgets()) {
        if (w->objectName() == name && w->isVisible())
            return qobject_cast<T*>(w);
    }
    return nullptr;
}

QMdiSubWindow* Frame(QWidget* form)
{
    return form ? qobject_cast<QMdiSubWindow*>(form->parentWidget()) : nullptr;
}

} // namespace

bool ScreenshotTour::Run(const QString& scene)
{
    bool done = false;
    if (scene == u"chooser")
        done = Chooser();
    else if (scene == u"main")
        done = MainWindow();
    else if (scene == u"sql")
        done = SqlWindow();
    else if (scene == u"excel")
        done = Workbook();
    else if (scene == u"managers")
        done = Managers();
    else
        std::fprintf(stderr, "unknown scene %s\n", qPrintable(scene));
    // As the user quitting: the connection must go while the application still exists.
    if (MDI* main = MDI::Instance())
        main->close();
    MDabrix::CloseDatabase();
    return done;
}

bool ScreenshotTour::Save(QWidget* window) const
{
    // Let every pending paint and layout run so the picture is what a user would see.
    QTest::qWait(300);
    const bool saved = window && window->grab().save(m_output, "PNG");
    if (!saved)
        std::fprintf(stderr, "could not save %s\n", qPrintable(m_output));
    return saved;
}

bool ScreenshotTour::Chooser()
{
    bool saved = false;
    ModalAnswerer answerer(ModalAnswerer::For(QStringLiteral("frmChoixDb"), [this, &saved](QWidget* chooser) {
        saved = Save(chooser);
        chooser->findChild<QAbstractButton*>(QStringLiteral("cmdCancel"))->click();
    }));
    MDabrix::Main();
    return saved;
}

bool ScreenshotTour::OpenDemo()
{
    ModalAnswerer answerer(ModalAnswerer::For(QStringLiteral("frmChoixDb"), [](QWidget* chooser) {
        chooser->findChild<QAbstractButton*>(QStringLiteral("cmdOK"))->click();
    }));
    MDabrix::Main();
    if (!MDI::Instance() || !MDabrix::Cnx) {
        std::fprintf(stderr, "the demo database did not open\n");
        return false;
    }
    return true;
}

frmTblData* ScreenshotTour::OpenTable(const QString& name)
{
    auto* tables = Loaded<QWidget>(QStringLiteral("frmDbTables"));
    auto* list = tables ? tables->findChild<QListWidget*>(QStringLiteral("Lis")) : nullptr;
    const QList<QListWidgetItem*> items = list ? list->findItems(name, Qt::MatchExactly) : QList<QListWidgetItem*>{};
    if (items.isEmpty()) {
        std::fprintf(stderr, "no table %s in the list\n", qPrintable(name));
        return nullptr;
    }
    list->setCurrentItem(items.first());
    tables->findChild<QAction*>(QStringLiteral("Open"))->trigger();
    frmTblData* data = nullptr;
    const bool fetched = QTest::qWaitFor(
        [&data] {
            data = Loaded<frmTblData>(QStringLiteral("frmTblData"));
            return data && data->Recordset() && !data->Recordset()->IsFetching();
        },
        WaitMs);
    return fetched ? data : nullptr;
}

void ScreenshotTour::Arrange(QWidget* table, QWidget* other)
{
    MDI* main = MDI::Instance();
    main->setWindowState(Qt::WindowNoState);
    main->setGeometry(0, 0, 1120, 700);
    QMdiSubWindow* left = Frame(Loaded<QWidget>(QStringLiteral("frmDbTables")));
    if (left)
        left->move(4, 4);
    const int x = left ? left->geometry().right() + 8 : 4;
    if (QMdiSubWindow* frame = Frame(table))
        frame->setGeometry(x, 4, 1120 - x - 12, 420);
    if (QMdiSubWindow* frame = Frame(other))
        frame->setGeometry(x - 140, 300, 1120 - x + 120, 300);
    if (QMdiSubWindow* frame = Frame(other ? other : table))
        frame->raise();
    if (auto* grid = table ? table->findChild<QTableView*>(QStringLiteral("Grd")) : nullptr) {
        grid->setFocus();
        grid->selectRow(2);
    }
}

bool ScreenshotTour::MainWindow()
{
    if (!OpenDemo())
        return false;
    frmTblData* data = OpenTable(QStringLiteral("Produits"));
    if (!data)
        return false;
    Arrange(data, nullptr);
    return Save(MDI::Instance());
}

bool ScreenshotTour::SqlWindow()
{
    if (!OpenDemo())
        return false;
    frmTblData* data = OpenTable(QStringLiteral("Commandes"));
    if (!data)
        return false;
    MDI::Instance()->findChild<QAction*>(QStringLiteral("mnu_AffSqlCmd"))->trigger();
    QWidget* sql = Loaded<QWidget>(QStringLiteral("frmSqlCommand"));
    if (!sql)
        return false;
    sql->findChild<QPlainTextEdit*>(QStringLiteral("txtSql"))
        ->setPlainText(QStringLiteral("UPDATE [Produits]\nSET [PrixUnitaire] = [PrixUnitaire] * 1.05\n"
                                      "WHERE [IdFournisseur] = 3"));
    Arrange(data, sql);
    return Save(MDI::Instance());
}

bool ScreenshotTour::Managers()
{
    if (!OpenDemo())
        return false;
    MDI* main = MDI::Instance();
    main->findChild<QAction*>(QStringLiteral("mnu_AffImages"))->trigger();
    auto* images = Loaded<QWidget>(QStringLiteral("frmLstImages"));
    auto* status = images ? images->findChild<QLabel*>(QStringLiteral("sbPanel1")) : nullptr;
    if (!status || !QTest::qWaitFor([status] { return status->text().contains(u"objet"); }, WaitMs)) {
        std::fprintf(stderr, "the images window did not load\n");
        return false;
    }
    // A picture of our own, stored the way the user does: "Charge Image" and the file dialog.
    const QString picture = QDir::temp().filePath(QStringLiteral("dabrix.png"));
    if (!QIcon(QStringLiteral(":/icons/com.corvanet.Dabrix.svg")).pixmap(QSize(96, 96)).save(picture, "PNG"))
        return false;
    auto* grid = images->findChild<QTableView*>(QStringLiteral("Grd"));
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(0, 0));
    ModalAnswerer answerer(ModalAnswerer::For(QStringLiteral("frmFileDialog"), [picture](QWidget* dialog) {
        dialog->findChild<QLineEdit*>(QStringLiteral("txtPath"))->setText(picture);
        dialog->findChild<QAbstractButton*>(QStringLiteral("cmdOk"))->click();
    }));
    images->findChild<QAbstractButton*>(QStringLiteral("cmdAddImage"))->click();
    if (!answerer.done())
        return false;

    main->findChild<QAction*>(QStringLiteral("mnu_AffScripts"))->trigger();
    auto* scripts = Loaded<QWidget>(QStringLiteral("frmLstScripts"));
    auto* scriptGrid = scripts ? scripts->findChild<QTableView*>(QStringLiteral("Grd")) : nullptr;
    if (!scriptGrid)
        return false;
    QTest::qWait(500);
    scriptGrid->setCurrentIndex(scriptGrid->model()->index(0, 0));
    main->setWindowState(Qt::WindowNoState);
    main->setGeometry(0, 0, 1120, 700);
    if (QMdiSubWindow* frame = Frame(Loaded<QWidget>(QStringLiteral("frmDbTables"))))
        frame->showMinimized();
    if (QMdiSubWindow* frame = Frame(images))
        frame->move(4, 4);
    if (QMdiSubWindow* frame = Frame(scripts))
        frame->setGeometry(Frame(images)->geometry().right() + 8, 4, 560, 520);
    return Save(main);
}

bool ScreenshotTour::WriteWorkbook(const QString& path) const
{
    ado::Connection cnx;
    cnx.Open(QStringLiteral("Provider=SQLite;Data Source=") + m_database);
    ado::Recordset rs;
    rs.Open(QStringLiteral("SELECT \"Désignation\", \"PrixUnitaire\", \"Stock\", \"Poids\" FROM \"Produits\""), &cnx);
    DemoWorkbook book(QStringLiteral("Tarifs"));
    book.SetHeader({QStringLiteral("Désignation"), QStringLiteral("Prix"), QStringLiteral("Stock"), QStringLiteral("Poids")});
    for (; !rs.Eof(); rs.MoveNext()) {
        QVariantList row;
        for (int c = 0; c < rs.FieldCount(); ++c)
            row << rs.Fields(c).Value();
        book.AddRow(row);
    }
    return book.Write(path);
}

bool ScreenshotTour::Workbook()
{
    const QString path = QDir::temp().filePath(QStringLiteral("Tarifs.xlsx"));
    if (!WriteWorkbook(path)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
        return false;
    }
    // As "dabrix Tarifs.xlsx" would open it.
    MDabrix::PendingSource = path;
    MDabrix::Main();
    auto* tables = Loaded<QWidget>(QStringLiteral("frmDbTables"));
    auto* list = tables ? tables->findChild<QListWidget*>(QStringLiteral("Lis")) : nullptr;
    if (!list || list->count() == 0) {
        std::fprintf(stderr, "the workbook did not open\n");
        return false;
    }
    frmTblData* data = OpenTable(list->item(0)->text());
    if (!data)
        return false;
    Arrange(data, nullptr);
    const bool saved = Save(MDI::Instance());
    QFile::remove(path);
    return saved;
}
