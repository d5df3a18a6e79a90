#include "DbTablesFixture.h"
#include "support/TestMain.h"

#include "app/MDabrix.h"
#include "app/SettingsStore.h"
#include "app/frmOpenDB.h"
#include "connections/diaCnxString.h"
#include "connections/frmFileDialog.h"
#include "connections/diaLogin.h"
#include "connections/frmChoixDb.h"
#include "import/frmAppendFrom.h"
#include "managers/frmLstImages.h"
#include "managers/frmLstScripts.h"
#include "windows/frmDbTables.h"
#include "windows/frmSqlCommand.h"
#include "windows/frmTblData.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

// The forms place their controls by hand, in twips from the design; our fonts are not the
// design's, and the run may be at 200% (QT_SCALE_FACTOR): every caption must still be drawn
// whole and every control must lie inside its parent.
class TestLayoutFit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void captionsFitTheirControls_data();
    void captionsFitTheirControls();

private:
    DbTablesFixture m_db;
};

namespace {

using FormMaker = std::function<QWidget*()>;

QString Describe(const QWidget* w, const QString& what)
{
    return u"%1 in %2: %3"_s.arg(w->objectName(), w->window()->objectName(), what);
}

// What is cut: a caption wider or taller than its control, a group title wider than its
// box, a control reaching outside its parent. Only the form's own (named) controls count.
QStringList Clipped(QWidget* form)
{
    QStringList cut;
    for (QWidget* w : form->findChildren<QWidget*>()) {
        if (w->objectName().isEmpty() || w->objectName().startsWith(u"qt_") || !w->isVisibleTo(form))
            continue;
        QSize hint = w->sizeHint();
        if (auto* button = qobject_cast<QPushButton*>(w)) {
            // The style's hint holds a minimum size of its own taste; what counts is that the
            // text fits inside the button's frame.
            const int frame = button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
            hint = QSize(button->fontMetrics().horizontalAdvance(button->text().remove(u'&')) + 2 * frame,
                         button->fontMetrics().height() + 2 * frame);
        }
        const bool captioned = qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w);
        if (captioned && (hint.width() > w->width() || hint.height() > w->height()))
            cut << Describe(w, u"needs %1x%2, has %3x%4"_s.arg(hint.width()).arg(hint.height()).arg(w->width()).arg(w->height()));
        if (auto* box = qobject_cast<QGroupBox*>(w)) {
            const int title = box->fontMetrics().horizontalAdvance(box->title().remove(u'&')) + 12;
            if (title > box->width())
                cut << Describe(w, u"title needs %1, has %2"_s.arg(title).arg(box->width()));
        }
        if (auto* edit = qobject_cast<QLineEdit*>(w); edit && hint.height() > edit->height() + 2)
            cut << Describe(w, u"text box needs height %1, has %2"_s.arg(hint.height()).arg(edit->height()));
        QWidget* parent = w->parentWidget();
        if (parent && parent != form->parentWidget() && !parent->rect().contains(w->geometry()))
            cut << Describe(w, u"lies outside %1"_s.arg(parent->objectName()));
    }
    return cut;
}

} // namespace

void TestLayoutFit::initTestCase()
{
    DbTablesFixture::InitAppState();
    MDabrix::OmbriskSettings = std::make_unique<SettingsStore>();
    MDabrix::OmbriskSettings->Open(u"Corvanet"_s, u"Ombrisk"_s, false);
    MDabrix::OmbriskSettings->WriteValue(u"Connections"_s, u"Démo"_s, u"Provider=SQLite;Data Source=demo.sqlite"_s,
                                         SettingsStore::KindText);
}

void TestLayoutFit::init()
{
    QVERIFY2(m_db.Open(u"sqlite"_s, u"layoutfit"_s,
                       {u"CREATE TABLE Stock (id INTEGER PRIMARY KEY, qty INTEGER)"_s,
                        u"CREATE TABLE Images (Code TEXT PRIMARY KEY, Libelle TEXT, Image BLOB)"_s,
                        u"CREATE TABLE Scripts (Code TEXT PRIMARY KEY, text TEXT)"_s}),
             qPrintable(m_db.error));
}

void TestLayoutFit::cleanup()
{
    DbTablesFixture::Reset();
}

void TestLayoutFit::captionsFitTheirControls_data()
{
    QTest::addColumn<FormMaker>("make");
    QTest::newRow("table list") << FormMaker([] { return new frmDbTables; });
    QTest::newRow("data window") << FormMaker([] {
        auto* w = new frmTblData;
        w->Init(u"Stock"_s, 10, false);
        return w;
    });
    QTest::newRow("SQL window") << FormMaker([] { return new frmSqlCommand; });
    QTest::newRow("chooser") << FormMaker([] { return new frmChoixDb; });
    QTest::newRow("login") << FormMaker([] { return new diaLogin; });
    QTest::newRow("connection string") << FormMaker([] { return new diaCnxString; });
    QTest::newRow("opening") << FormMaker([] { return new frmOpenDB; });
    QTest::newRow("import") << FormMaker([] {
        auto* w = new frmAppendFrom;
        w->Init(u"Stock"_s);
        return w;
    });
    QTest::newRow("file dialog") << FormMaker([] { return new frmFileDialog; });
    QTest::newRow("images") << FormMaker([] {
        auto* w = new frmLstImages;
        w->Init(u"Images"_s);
        return w;
    });
    QTest::newRow("scripts") << FormMaker([] {
        auto* w = new frmLstScripts;
        w->Init(u"Scripts"_s);
        return w;
    });
}

void TestLayoutFit::captionsFitTheirControls()
{
    QFETCH(FormMaker, make);
    std::unique_ptr<QWidget> form(make());
    QWidget* shown = form->parentWidget() ? form->window() : form.get();
    shown->show();
    QVERIFY(QTest::qWaitForWindowExposed(shown));
    const QStringList cut = Clipped(form.get());
    QVERIFY2(cut.isEmpty(), qPrintable(u"scale %1: "_s.arg(qEnvironmentVariable("QT_SCALE_FACTOR", u"1"_s)) + cut.join(u"; "_s)));
}

DABRIX_TEST_MAIN(TestLayoutFit)
#include "tst_layoutfit.moc"
