#include "app/MDabrix.h"
#include "app/SettingsStore.h"
#include "connections/frmChoixDb.h"
#include "support/ModalAnswerer.h"
#include "support/TestMain.h"

#include <QInputDialog>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>

using namespace Qt::StringLiterals;
using testsupport::ModalAnswerer;

class TestChooser : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void firstStart();
    void namedConnectionsSorted_data();
    void namedConnectionsSorted();
    void lastDatabasePreselected_data();
    void lastDatabasePreselected();
    void namedConnectionChosen_data();
    void namedConnectionChosen();
    void nothingSelectedStaysOpen();
    void typedConnectionString();
    void cancelled_data();
    void cancelled();
    void damagedFileTypeFallsBack_data();
    void damagedFileTypeFallsBack();

private:
    static void setNamed(const QList<QPair<QString, QString>>& named);
    static QString general(const QString& key);
};

namespace {

const QString ConnectionEntry = u"(Connection string...)"_s;
const QString FileEntry = u"(Fichier...)"_s;

QStringList Entries(const frmChoixDb& dlg)
{
    QStringList texts;
    auto* list = dlg.findChild<QListWidget*>(u"Lis"_s);
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

// exec() that gives up after a while, so a chooser that wrongly stays open fails the test
// instead of hanging it.
int Exec(frmChoixDb& dlg)
{
    QTimer::singleShot(10000, &dlg, [&dlg] { dlg.done(-1); });
    return dlg.exec();
}

QString Selected(const frmChoixDb& dlg)
{
    const auto items = dlg.findChild<QListWidget*>(u"Lis"_s)->selectedItems();
    return items.isEmpty() ? QString() : items.first()->text();
}

// Selects an entry of the chooser, then presses OK.
ModalAnswerer::Answer Choose(const QString& entry)
{
    return [entry](QWidget* w) {
        auto* list = w->findChild<QListWidget*>(u"Lis"_s);
        const auto found = list->findItems(entry, Qt::MatchExactly | Qt::MatchCaseSensitive);
        QVERIFY(!found.isEmpty());
        list->setCurrentItem(found.first());
        // Queued: the answerer must be free to answer the prompt that OK may open.
        QMetaObject::invokeMethod(w->findChild<QPushButton*>(u"cmdOK"_s), &QPushButton::click, Qt::QueuedConnection);
    };
}

} // namespace

void TestChooser::initTestCase()
{
    MDabrix::AppSettings = std::make_unique<SettingsStore>();
    MDabrix::AppSettings->Open(u"Corvanet"_s, u"Dabrix"_s, false);
    MDabrix::OmbriskSettings = std::make_unique<SettingsStore>();
    MDabrix::OmbriskSettings->Open(u"Corvanet"_s, u"Ombrisk"_s, false);
}

void TestChooser::init()
{
    QSettings(u"Corvanet"_s, u"Dabrix"_s).clear();
    QSettings(u"Corvanet"_s, u"Ombrisk"_s).clear();
}

void TestChooser::setNamed(const QList<QPair<QString, QString>>& named)
{
    QSettings ombrisk(u"Corvanet"_s, u"Ombrisk"_s);
    ombrisk.beginGroup(u"Connections"_s);
    for (const auto& [name, cnx] : named)
        ombrisk.setValue(name, cnx);
}

QString TestChooser::general(const QString& key)
{
    return MDabrix::AppSettings->ReadValue(u"General"_s, key, u"<unset>"_s).toString();
}

void TestChooser::firstStart()
{
    frmChoixDb dlg;
    QCOMPARE(dlg.objectName(), u"frmChoixDb"_s);
    QCOMPARE(dlg.windowTitle(), u"Choisir une base de données"_s);
    QVERIFY(dlg.findChild<QPushButton*>(u"cmdOK"_s)->isDefault());
    QCOMPARE(Entries(dlg), (QStringList{ConnectionEntry, FileEntry}));
    QCOMPARE(Selected(dlg), QString());
    QVERIFY(!dlg.OK());
    QCOMPARE(dlg.ConnectString(), QString());

    dlg.Unload();
    QCOMPARE(general(u"FileType"_s), u"1"_s);
    QCOMPARE(general(u"Directory"_s), QString());
    QCOMPARE(general(u"LastDatabase"_s), QString());
}

void TestChooser::namedConnectionsSorted_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("mixed case") << QStringList{u"zeta"_s, u"Alpha"_s, u"beta"_s, u"Gamma"_s}
        << QStringList{ConnectionEntry, FileEntry, u"Alpha"_s, u"beta"_s, u"Gamma"_s, u"zeta"_s};
    QTest::newRow("a name before the fixed entries") << QStringList{u"compta"_s, u"!essai"_s, u"#1"_s}
        << QStringList{u"!essai"_s, u"#1"_s, ConnectionEntry, FileEntry, u"compta"_s};
    QTest::newRow("digits and blanks") << QStringList{u"Paie 2024"_s, u"2023"_s, u"paie 2023"_s}
        << QStringList{ConnectionEntry, FileEntry, u"2023"_s, u"paie 2023"_s, u"Paie 2024"_s};
}

void TestChooser::namedConnectionsSorted()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, expected);
    QList<QPair<QString, QString>> named;
    for (const QString& name : names)
        named.append({name, u"DSN="_s + name});
    setNamed(named);

    frmChoixDb dlg;
    QCOMPARE(Entries(dlg), expected);
    // No last choice: the first entry of the sorted list.
    QCOMPARE(Selected(dlg), expected.first());
}

void TestChooser::lastDatabasePreselected_data()
{
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("selected");
    QTest::newRow("named connection") << u"Paie"_s << u"Paie"_s;
    QTest::newRow("file entry") << FileEntry << FileEntry;
    QTest::newRow("exact case only") << u"paie"_s << ConnectionEntry;
    QTest::newRow("removed since") << u"Ancienne"_s << ConnectionEntry;
}

void TestChooser::lastDatabasePreselected()
{
    QFETCH(QString, last);
    QFETCH(QString, selected);
    setNamed({{u"Compta"_s, u"DSN=compta"_s}, {u"Paie"_s, u"DSN=paie"_s}});
    MDabrix::AppSettings->WriteValue(u"General"_s, u"LastDatabase"_s, last, 1);
    frmChoixDb dlg;
    QCOMPARE(Selected(dlg), selected);
}

void TestChooser::namedConnectionChosen_data()
{
    QTest::addColumn<bool>("doubleClick");
    QTest::newRow("OK button") << false;
    QTest::newRow("double-click") << true;
}

void TestChooser::namedConnectionChosen()
{
    QFETCH(bool, doubleClick);
    // The stored string is used as it is, "[Login]" included: no login dialog.
    const QString cnx = u"Provider=Advantage OLE DB Provider;Data Source=/srv;[Login]"_s;
    setNamed({{u"Compta"_s, u"DSN=compta"_s}, {u"Paie"_s, cnx}});

    frmChoixDb dlg;
    ModalAnswerer answerer([doubleClick](QWidget* w) {
        auto* list = w->findChild<QListWidget*>(u"Lis"_s);
        QListWidgetItem* item = list->findItems(u"Paie"_s, Qt::MatchExactly).value(0);
        QVERIFY(item);
        list->setCurrentItem(item);
        if (doubleClick)
            emit list->itemDoubleClicked(item);
        else
            w->findChild<QPushButton*>(u"cmdOK"_s)->click();
    });
    QCOMPARE(Exec(dlg), int(QDialog::Accepted));
    QCOMPARE(answerer.titles(), QStringList{u"Choisir une base de données"_s});
    QVERIFY(dlg.OK());
    QCOMPARE(dlg.ConnectString(), cnx);

    dlg.Unload();
    QCOMPARE(general(u"LastDatabase"_s), u"Paie"_s);
}

void TestChooser::nothingSelectedStaysOpen()
{
    frmChoixDb dlg; // no named connection: nothing selected
    ModalAnswerer answerer({
        [](QWidget* w) { w->findChild<QPushButton*>(u"cmdOK"_s)->click(); },
        // Only reached when OK left the chooser open.
        ModalAnswerer::Button(u"cmdCancel"_s),
    });
    QCOMPARE(Exec(dlg), int(QDialog::Rejected));
    QVERIFY(answerer.done());
    QVERIFY(!dlg.OK());
    dlg.Unload();
    QCOMPARE(general(u"LastDatabase"_s), QString());
}

void TestChooser::typedConnectionString()
{
    setNamed({{u"Compta"_s, u"DSN=compta"_s}});
    MDabrix::AppSettings->WriteValue(u"General"_s, u"ConnectionString"_s, u"DSN=before"_s, 1);
    QString offered;
    const QString typed = u"Provider=SQLite;Data Source=/tmp/x.db;[Login]"_s;

    frmChoixDb dlg;
    ModalAnswerer answerer({
        Choose(ConnectionEntry),
        [&](QWidget* w) {
            auto* box = qobject_cast<QInputDialog*>(w);
            QVERIFY(box);
            offered = box->textValue();
            box->setTextValue(typed);
            box->accept();
        },
    });
    QCOMPARE(Exec(dlg), int(QDialog::Accepted));
    QVERIFY(answerer.done());
    QCOMPARE(answerer.titles().value(1), u"Connection string"_s);
    QCOMPARE(offered, u"DSN=before"_s);
    QVERIFY(dlg.OK());
    QCOMPARE(dlg.ConnectString(), typed); // typed strings are not scanned for "[Login]"
    QCOMPARE(general(u"ConnectionString"_s), typed);

    dlg.Unload();
    QCOMPARE(general(u"LastDatabase"_s), ConnectionEntry);
}

void TestChooser::cancelled_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Annuler") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("close box") << 2;
}

void TestChooser::cancelled()
{
    QFETCH(int, how);
    setNamed({{u"Compta"_s, u"DSN=compta"_s}});
    MDabrix::AppSettings->WriteValue(u"General"_s, u"Directory"_s, u"/data/dbf"_s, 1);
    MDabrix::AppSettings->WriteValue(u"General"_s, u"FileType"_s, 7, 4);
    MDabrix::AppSettings->WriteValue(u"General"_s, u"LastDatabase"_s, u"Compta"_s, 1);
    MDabrix::AppSettings->WriteValue(u"General"_s, u"ConnectionString"_s, u"DSN=before"_s, 1);

    frmChoixDb dlg;
    ModalAnswerer answerer({
        Choose(ConnectionEntry),
        ModalAnswerer::Reject(),
        // Cancelling the prompt leaves the chooser open for this answer.
        [how](QWidget* w) {
            if (how == 0)
                w->findChild<QPushButton*>(u"cmdCancel"_s)->click();
            else if (how == 1)
                QTest::keyClick(w, Qt::Key_Escape);
            else
                w->close();
        },
    });
    QCOMPARE(Exec(dlg), int(QDialog::Rejected));
    QVERIFY(answerer.done());
    QVERIFY(!dlg.OK());
    QCOMPARE(dlg.ConnectString(), QString());
    QCOMPARE(general(u"ConnectionString"_s), QString()); // the prompt's cancel forgot it

    // Wiped, then saved again by the unload that every outcome runs.
    QSettings(u"Corvanet"_s, u"Dabrix"_s).clear();
    dlg.Unload();
    QCOMPARE(general(u"Directory"_s), u"/data/dbf"_s);
    QCOMPARE(general(u"FileType"_s), u"7"_s);
    QCOMPARE(general(u"LastDatabase"_s), ConnectionEntry);
}

void TestChooser::damagedFileTypeFallsBack_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("saved");
    QTest::newRow("valid") << u"14"_s << u"14"_s;
    QTest::newRow("not a number") << u"abc"_s << u"1"_s;
    QTest::newRow("no such type") << u"15"_s << u"1"_s;
    QTest::newRow("beyond 16 bits") << u"70000"_s << u"1"_s;
}

void TestChooser::damagedFileTypeFallsBack()
{
    QFETCH(QString, stored);
    QFETCH(QString, saved);
    MDabrix::AppSettings->WriteValue(u"General"_s, u"FileType"_s, stored, 1);
    frmChoixDb dlg;
    QCOMPARE(Entries(dlg).size(), 2); // the load went through
    dlg.Unload();
    QCOMPARE(general(u"FileType"_s), saved);
}

DABRIX_TEST_MAIN(TestChooser)
#include "tst_chooser.moc"
