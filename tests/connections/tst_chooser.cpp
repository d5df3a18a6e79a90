#include "app/MDabrix.h"
#include "app/SettingsStore.h"
#include "connections/frmChoixDb.h"
#include "support/ModalAnswerer.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

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
    void fileChosen_data();
    void fileChosen();
    void fileChoiceCancelled_data();
    void fileChoiceCancelled();

private:
    static void setNamed(const QList<QPair<QString, QString>>& named);
    static QString general(const QString& key);
    QString file(const QString& relative) const { return QDir(m_files.path()).filePath(relative); }

    QTemporaryDir m_files;
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
    QTimer::singleShot(120000, &dlg, [&dlg] { dlg.done(-1); });
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
    return ModalAnswerer::For(u"frmChoixDb"_s, [entry](QWidget* w) {
        auto* list = w->findChild<QListWidget*>(u"Lis"_s);
        const auto found = list->findItems(entry, Qt::MatchExactly | Qt::MatchCaseSensitive);
        QVERIFY(!found.isEmpty());
        list->setCurrentItem(found.first());
        // Queued: the answerer must be free to answer the prompt that OK may open.
        QMetaObject::invokeMethod(w->findChild<QPushButton*>(u"cmdOK"_s), &QPushButton::click, Qt::QueuedConnection);
    });
}

// Answers the file dialog: picks the 1-based file type, types the path, confirms.
ModalAnswerer::Answer PickFile(int fileType, const QString& path)
{
    return ModalAnswerer::For(u"QFileDialog"_s, [=](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), u"Parcourir"_s);
        dialog->selectNameFilter(dialog->nameFilters().value(fileType - 1));
        auto* edit = dialog->findChild<QLineEdit*>(u"fileNameEdit"_s);
        QVERIFY(edit);
        edit->setText(path);
        static_cast<QDialog*>(dialog)->accept();
    });
}

ModalAnswerer::Answer Login(const QString& user, const QString& password)
{
    return ModalAnswerer::For(u"diaLogin"_s, [=](QWidget* w) {
        w->findChild<QLineEdit*>(u"txtUserName"_s)->setText(user);
        w->findChild<QLineEdit*>(u"txtPassword"_s)->setText(password);
        w->findChild<QPushButton*>(u"cmdOK"_s)->click();
    });
}

} // namespace

void TestChooser::initTestCase()
{
    QVERIFY(m_files.isValid());
    for (const QString& name : {u"lite/shop.sqlite"_s, u"ads/t2.dbf"_s, u"text/clients.csv"_s, u"text/orders.csv"_s}) {
        QVERIFY(QDir().mkpath(QFileInfo(file(name)).path()));
        QFile f(file(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("id,name\r\n1,a\r\n");
    }
    MDabrix::InitWorkFolder();
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
    QTest::newRow("SQLite, the last type") << u"15"_s << u"15"_s;
    QTest::newRow("no such type") << u"16"_s << u"1"_s;
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

void TestChooser::fileChosen_data()
{
    QTest::addColumn<int>("fileType");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("login");
    // {path}, {folder} and {work} stand for the chosen file, its folder, the working folder.
    QTest::addColumn<QString>("expected");
    QTest::newRow("SQLite") << 15 << u"lite/shop.sqlite"_s << false << u"Provider=SQLite;Data Source={path};"_s;
    QTest::newRow("Advantage, with login") << 4 << u"ads/t2.dbf"_s << true
        << u"Provider=Advantage OLE DB Provider;\nData Source={folder};\nUser ID=adssys; Password=s3cret;\n"
           "Advantage Table Type=ADS_CDX;\nAdvantage Server Type=ADS_LOCAL_SERVER;\nSecurityMode=ADS_IGNORERIGHTS;\n"
           "TrimTrailingSpaces=TRUE;\nOLE DB Services=-2"_s;
    QTest::newRow("text, comma") << 13 << u"text/clients.csv"_s << false
        << u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source={work};Extended Properties=\"Text\";OLE DB Services=-2;"_s;
}

void TestChooser::fileChosen()
{
    QFETCH(int, fileType);
    QFETCH(QString, chosen);
    QFETCH(bool, login);
    QFETCH(QString, expected);
    const QString path = file(chosen);
    const QString work = QDir(MDabrix::WorkFolder).filePath(u"Main"_s);
    QDir(work).removeRecursively();
    setNamed({{u"Compta"_s, u"DSN=compta"_s}});

    QList<ModalAnswerer::Answer> answers{Choose(FileEntry), PickFile(fileType, path)};
    if (login)
        answers << Login(u"adssys"_s, u"s3cret"_s);
    frmChoixDb dlg;
    ModalAnswerer answerer(answers);
    QCOMPARE(Exec(dlg), int(QDialog::Accepted));
    QVERIFY(answerer.done());
    QVERIFY(dlg.OK());
    const QString folder = QFileInfo(path).path();
    QCOMPARE(dlg.ConnectString(),
             expected.replace(u"{path}"_s, path).replace(u"{folder}"_s, folder).replace(u"{work}"_s, work));
    // The chooser prepares text files for the main database, never in the import folder.
    QCOMPARE(QFile::exists(QDir(work).filePath(u"Schema.ini"_s)), fileType == 13);
    QVERIFY(!QFileInfo::exists(QDir(MDabrix::WorkFolder).filePath(u"Import"_s)));

    dlg.Unload();
    QCOMPARE(general(u"Directory"_s), folder);
    QCOMPARE(general(u"FileType"_s), QString::number(fileType));
    QCOMPARE(general(u"LastDatabase"_s), FileEntry);

    // The next visit offers the entry, the folder and the type again.
    frmChoixDb next;
    QCOMPARE(Selected(next), FileEntry);
    QString offeredFolder;
    QString offeredFilter;
    ModalAnswerer again({Choose(FileEntry),
                         [&](QWidget* w) {
                             auto* dialog = qobject_cast<QFileDialog*>(w);
                             QVERIFY(dialog);
                             offeredFolder = dialog->directory().absolutePath();
                             offeredFilter = dialog->selectedNameFilter();
                             dialog->reject();
                         },
                         ModalAnswerer::Button(u"cmdCancel"_s)});
    QCOMPARE(Exec(next), int(QDialog::Rejected));
    QVERIFY(again.done());
    QCOMPARE(offeredFolder, folder);
    QVERIFY2(offeredFilter.startsWith(fileType == 15 ? u"Base de données SQLite"_s
                                      : fileType == 4 ? u"Fichiers Advantage ADS_CDX"_s
                                                      : u"Fichiers Texte (séparateur : virgule)"_s),
             qPrintable(offeredFilter));
    next.Unload();
}

void TestChooser::fileChoiceCancelled_data()
{
    QTest::addColumn<bool>("atLogin");
    QTest::newRow("file dialog cancelled") << false;
    QTest::newRow("login cancelled") << true;
}

void TestChooser::fileChoiceCancelled()
{
    QFETCH(bool, atLogin);
    setNamed({{u"Compta"_s, u"DSN=compta"_s}});
    MDabrix::AppSettings->WriteValue(u"General"_s, u"Directory"_s, file(u"text"_s), 1);
    MDabrix::AppSettings->WriteValue(u"General"_s, u"FileType"_s, 13, 4);
    MDabrix::AppSettings->WriteValue(u"General"_s, u"LastDatabase"_s, u"Compta"_s, 1);

    QList<ModalAnswerer::Answer> answers{Choose(FileEntry)};
    if (atLogin)
        answers << PickFile(7, file(u"ads/t2.dbf"_s)) << ModalAnswerer::Button(u"cmdCancel"_s);
    else
        answers << ModalAnswerer::Reject();
    // The chooser stays open after either cancel: only this answer closes it.
    answers << ModalAnswerer::Button(u"cmdCancel"_s);

    frmChoixDb dlg;
    ModalAnswerer answerer(answers);
    QCOMPARE(Exec(dlg), int(QDialog::Rejected));
    QVERIFY(answerer.done());
    QVERIFY(!dlg.OK());
    QCOMPARE(dlg.ConnectString(), QString());

    QSettings(u"Corvanet"_s, u"Dabrix"_s).clear();
    dlg.Unload();
    // What the file dialog last confirmed is kept even though the login was refused.
    QCOMPARE(general(u"Directory"_s), atLogin ? file(u"ads"_s) : file(u"text"_s));
    QCOMPARE(general(u"FileType"_s), atLogin ? u"7"_s : u"13"_s);
    QCOMPARE(general(u"LastDatabase"_s), u"Compta"_s);
}

DABRIX_TEST_MAIN(TestChooser)
#include "tst_chooser.moc"
