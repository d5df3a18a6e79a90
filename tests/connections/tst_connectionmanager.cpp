#include "ado/AdoError.h"
#include "ado/Catalog.h"
#include "ado/Connection.h"
#include "ado/ConnectionString.h"
#include "app/MDabrix.h"
#include "connections/ConnectionManager.h"
#include "connections/FileOpenDialog.h"
#include "support/ModalAnswerer.h"
#include "support/TestMain.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using testsupport::ModalAnswerer;

namespace {

// What the file dialog offered when it came up.
struct Offered {
    QString title;
    QString directory;
    int filterIndex = 0;
    QStringList shownFilters;
    QString fileName;
    bool existingFile = false;
    bool nonNative = false;
    bool readOnly = true;
    bool modal = false;
};

QFileDialog* AsFileDialog(QWidget* w)
{
    auto* dialog = qobject_cast<QFileDialog*>(w);
    if (!dialog)
        qWarning("not a file dialog: %s", w->metaObject()->className());
    return dialog;
}

void Record(QFileDialog* dialog, Offered* offered)
{
    if (!offered)
        return;
    offered->title = dialog->windowTitle();
    offered->directory = dialog->directory().absolutePath();
    if (auto* combo = dialog->findChild<QComboBox*>(u"fileTypeCombo"_s)) {
        offered->filterIndex = combo->currentIndex() + 1;
        for (int i = 0; i < combo->count(); ++i)
            offered->shownFilters << combo->itemText(i);
    }
    if (auto* edit = dialog->findChild<QLineEdit*>(u"fileNameEdit"_s))
        offered->fileName = edit->text();
    offered->existingFile = dialog->fileMode() == QFileDialog::ExistingFile;
    offered->nonNative = dialog->testOption(QFileDialog::DontUseNativeDialog);
    offered->readOnly = dialog->testOption(QFileDialog::ReadOnly);
    offered->modal = dialog->isModal();
}

// Picks the 1-based filter entry, selects the file and confirms, as a user would.
ModalAnswerer::Answer Pick(int filter, const QString& path, Offered* offered = nullptr)
{
    return [=](QWidget* w) {
        QFileDialog* dialog = AsFileDialog(w);
        QVERIFY(dialog);
        Record(dialog, offered);
        const QStringList filters = dialog->nameFilters();
        QVERIFY(filter >= 1 && filter <= filters.size());
        dialog->selectNameFilter(filters.at(filter - 1));
        // Typed into the file name box: selectFile() leaves the box alone while it has focus.
        auto* edit = dialog->findChild<QLineEdit*>(u"fileNameEdit"_s);
        QVERIFY(edit);
        edit->setText(path);
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept, which checks the file
    };
}

ModalAnswerer::Answer Cancel(bool escape, Offered* offered = nullptr)
{
    return [=](QWidget* w) {
        QFileDialog* dialog = AsFileDialog(w);
        QVERIFY(dialog);
        Record(dialog, offered);
        if (escape)
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            dialog->reject();
    };
}

QString Browse(ConnectionManager& manager, FileOpenDialog& cdb, const ModalAnswerer::Answer& answer,
               bool isMain = true)
{
    ModalAnswerer answerer(answer);
    // A dialog left open (an answer that did not close it, a message it raised) fails the
    // test instead of hanging it.
    QTimer giveUp;
    giveUp.setInterval(10000);
    QObject::connect(&giveUp, &QTimer::timeout, [] {
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            qWarning("left open: %s \"%s\"", modal->metaObject()->className(), qPrintable(modal->windowTitle()));
            modal->reject();
        }
    });
    giveUp.start();
    const QString result = manager.GetCnxStringFromFile(&cdb, isMain);
    if (!answerer.done())
        qWarning("the file dialog was not shown");
    return result;
}

QString Advantage(const QString& source, const QString& tableType, const QString& serverType)
{
    return u"Provider=Advantage OLE DB Provider;\n"
           "Data Source=%1;\n"
           "[Login]Advantage Table Type=%2;\n"
           "Advantage Server Type=%3;\n"
           "SecurityMode=ADS_IGNORERIGHTS;\n"
           "TrimTrailingSpaces=TRUE;\n"
           "OLE DB Services=-2"_s.replace(u"%1"_s, source).replace(u"%2"_s, tableType).replace(u"%3"_s, serverType);
}

} // namespace

class TestConnectionManager : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void fileTypes_data();
    void fileTypes();
    void dialogOffers_data();
    void dialogOffers();
    void emptyDirectoryKeepsDialogDefault();
    void filterShowsItsPatterns_data();
    void filterShowsItsPatterns();
    void cancelKeepsValues_data();
    void cancelKeepsValues();
    void textNameOutsideCodePageRefused();
    void separatorInPathStaysInItsValue_data();
    void separatorInPathStaysInItsValue();
    void folderNamedLikePairsOpensItself();

private:
    QString path(const QString& relative) const { return QDir(m_root.path()).filePath(relative); }

    QTemporaryDir m_root;
    QStringList m_descriptions;
};

void TestConnectionManager::initTestCase()
{
    QVERIFY(m_root.isValid());
    MDabrix::InitWorkFolder();
    const QStringList files = {
        u"data/base.mdb"_s, u"data/clients.dbf"_s, u"data/legacy.db"_s, u"data/book.xlsx"_s, u"data/book.xls"_s,
        u"ads/app.ADD"_s, u"ads/t1.adt"_s, u"ads/t2.dbf"_s, u"ads/dict.add"_s,
        u"text/clients.csv"_s, u"text/orders.csv"_s, u"text/notes.txt"_s, u"text/CLIENTS2.CSV"_s,
        u"lite/shop.sqlite"_s, u"lite/old.db3"_s,
        u"odd/Ελλάδα.csv"_s,
    };
    for (const QString& file : files) {
        QVERIFY(QDir().mkpath(QFileInfo(path(file)).path()));
        QFile f(path(file));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("a,b\r\n1,2\r\n");
    }
    m_descriptions = QStringList{
        u"Base de données Access (*.mdb)"_s,
        u"Fichiers dBase (*.dbf)"_s,
        u"Fichiers Advantage ADS_ADT (*.adt;*.add)"_s,
        u"Fichiers Advantage ADS_CDX (*.dbf;*.add)"_s,
        u"Fichiers Advantage ADS_NTX (*.dbf;*.add)"_s,
        u"Advantage Server ADS_ADT (*.adt;*.add)"_s,
        u"Advantage Server ADS_CDX (*.dbf;*.add)"_s,
        u"Advantage Server ADS_NTX (*.dbf;*.add)"_s,
        u"Fichiers Paradox (*.db)"_s,
        u"Classeur Excel (*.xlsx)"_s,
        u"Classeur Excel 97-2003 (*.xls)"_s,
        u"Fichiers Texte (séparateur : tabulation) (*.txt; *.csv; *.prn)"_s,
        u"Fichiers Texte (séparateur : virgule) (*.txt; *.csv; *.prn)"_s,
        u"Fichiers Texte (séparateur : point-virgule) (*.txt; *.csv; *.prn)"_s,
        u"Base de données SQLite (*.sqlite;*.sqlite3;*.db3)"_s,
    };
}

void TestConnectionManager::fileTypes_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("isMain");
    // {path} the chosen path, {folder} its folder, {work} the working folder.
    QTest::addColumn<QString>("expected");

    const QString jetText = u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source={work};Extended Properties=\"Text\";OLE DB Services=-2;"_s;
    QTest::newRow("1 Access") << 1 << u"data/base.mdb"_s << true
        << u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source = {path};"_s;
    QTest::newRow("2 dBase: the folder") << 2 << u"data/clients.dbf"_s << true
        << u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source={folder};Extended Properties = Dbase IV;"_s;
    QTest::newRow("3 dictionary, upper case") << 3 << u"ads/app.ADD"_s << true
        << Advantage(u"{path}"_s, u"ADS_ADT"_s, u"ADS_LOCAL_SERVER"_s);
    QTest::newRow("3 free table") << 3 << u"ads/t1.adt"_s << true
        << Advantage(u"{folder}"_s, u"ADS_ADT"_s, u"ADS_LOCAL_SERVER"_s);
    QTest::newRow("4") << 4 << u"ads/t2.dbf"_s << true << Advantage(u"{folder}"_s, u"ADS_CDX"_s, u"ADS_LOCAL_SERVER"_s);
    QTest::newRow("5") << 5 << u"ads/t2.dbf"_s << true << Advantage(u"{folder}"_s, u"ADS_NTX"_s, u"ADS_LOCAL_SERVER"_s);
    QTest::newRow("6 dictionary") << 6 << u"ads/dict.add"_s << true
        << Advantage(u"{path}"_s, u"ADS_ADT"_s, u"ADS_REMOTE_SERVER"_s);
    QTest::newRow("7") << 7 << u"ads/t2.dbf"_s << true << Advantage(u"{folder}"_s, u"ADS_CDX"_s, u"ADS_REMOTE_SERVER"_s);
    QTest::newRow("8 dictionary") << 8 << u"ads/app.ADD"_s << true
        << Advantage(u"{path}"_s, u"ADS_NTX"_s, u"ADS_REMOTE_SERVER"_s);
    QTest::newRow("9 Paradox") << 9 << u"data/legacy.db"_s << true
        << u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source={folder};Extended Properties = Paradox 5.x;"_s;
    QTest::newRow("10 xlsx") << 10 << u"data/book.xlsx"_s << true
        << u"Provider=Microsoft.ACE.OLEDB.12.0;Data Source={path};Extended properties=\"Excel 8.0;HRD=Yes\";OLE DB Services=-2;"_s;
    QTest::newRow("11 xls") << 11 << u"data/book.xls"_s << true
        << u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source={path};Extended properties=\"Excel 8.0;HRD=Yes\";OLE DB Services=-2;"_s;
    QTest::newRow("12 tab") << 12 << u"text/notes.txt"_s << true << jetText;
    QTest::newRow("13 comma") << 13 << u"text/clients.csv"_s << true << jetText;
    QTest::newRow("14 semicolon, import") << 14 << u"text/orders.csv"_s << false << jetText;
    QTest::newRow("15 SQLite") << 15 << u"lite/shop.sqlite"_s << true << u"Provider=SQLite;Data Source={path};"_s;
    QTest::newRow("15 SQLite db3") << 15 << u"lite/old.db3"_s << true << u"Provider=SQLite;Data Source={path};"_s;
}

void TestConnectionManager::fileTypes()
{
    QFETCH(int, type);
    QFETCH(QString, file);
    QFETCH(bool, isMain);
    QFETCH(QString, expected);

    const QString chosen = path(file);
    const QString folder = QFileInfo(chosen).path();
    const QString work = QDir(MDabrix::WorkFolder).filePath(isMain ? u"Main"_s : u"Import"_s);

    FileOpenDialog cdb(nullptr);
    ConnectionManager manager;
    // Primed with another type: the one picked in the dialog is what counts.
    manager.FileType = type == 1 ? 2 : 1;
    const QString cnx = Browse(manager, cdb, Pick(type, chosen), isMain);

    QCOMPARE(cnx, expected.replace(u"{path}"_s, chosen).replace(u"{folder}"_s, folder).replace(u"{work}"_s, work));
    QCOMPARE(manager.Directory, folder); // the user's folder, for text files too
    QCOMPARE(int(manager.FileType), type);
    QCOMPARE(manager.TableName(), QFileInfo(chosen).fileName());
    QCOMPARE(cnx.count(u"[Login]"_s), (type >= 3 && type <= 8) ? 1 : 0);
    if (type >= 12 && type <= 14)
        QVERIFY(QFile::exists(QDir(work).filePath(QFileInfo(chosen).fileName())));
}

void TestConnectionManager::separatorInPathStaysInItsValue_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("dataSource"); // {path} or {folder}
    QTest::newRow("1 Access") << 1 << u"semi;Provider=SQLite/base.mdb"_s << u"{path}"_s;
    QTest::newRow("2 dBase") << 2 << u"dbf;Extended Properties=Text/clients.dbf"_s << u"{folder}"_s;
    QTest::newRow("4 Advantage") << 4 << u"ads;x=1/t2.dbf"_s << u"{folder}"_s;
    QTest::newRow("9 Paradox") << 9 << u"px;Extended Properties=Text/legacy.db"_s << u"{folder}"_s;
    QTest::newRow("11 xls") << 11 << u"x'ls;a/book.xls"_s << u"{path}"_s;
    QTest::newRow("15 SQLite") << 15 << u" lead;ing/shop.sqlite"_s << u"{path}"_s;
}

// A path is one value however it is spelt: ";" or quotes in it never add pairs.
void TestConnectionManager::separatorInPathStaysInItsValue()
{
    QFETCH(int, type);
    QFETCH(QString, file);
    QFETCH(QString, dataSource);
    const QString chosen = path(file);
    QVERIFY(QDir().mkpath(QFileInfo(chosen).path()));
    QFile f(chosen);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();

    FileOpenDialog cdb(nullptr);
    ConnectionManager manager;
    const QString cnx = Browse(manager, cdb, Pick(type, chosen), true);
    const ado::ConnectionString cs = ado::ConnectionString::Parse(cnx);
    const QString expected = dataSource == u"{path}" ? chosen : QFileInfo(chosen).path();
    QCOMPARE(cs.Value(u"Data Source"_s), expected);
    QCOMPARE(manager.Directory, QFileInfo(chosen).path());
    QStringList keys;
    for (const auto& pair : cs.Pairs())
        keys << pair.first;
    QVERIFY2(!keys.contains(u"Extended Properties=Text"_s) && keys.count(u"Provider"_s) == 1 && !keys.contains(u"x"_s)
                 && !keys.contains(u"a"_s),
             qPrintable(keys.join(u'|')));
    if (type == 2)
        QCOMPARE(cs.Value(u"Extended Properties"_s), u"Dbase IV"_s);
}

// The folder "dbf;Extended Properties=Text" beside a folder "dbf" opens its own tables.
void TestConnectionManager::folderNamedLikePairsOpensItself()
{
    const QString tricky = path(u"pairs/dbf;Extended Properties=Text"_s);
    const QString sibling = path(u"pairs/dbf"_s);
    QVERIFY(QDir().mkpath(tricky));
    QVERIFY(QDir().mkpath(sibling));
    QVERIFY(QFile::copy(testsupport::FixturePath(u"dbf/infused/dbase_03.dbf"_s), tricky + u"/people.dbf"_s));
    QFile csv(sibling + u"/other.csv"_s);
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("a,b\r\n1,2\r\n");
    csv.close();

    FileOpenDialog cdb(nullptr);
    ConnectionManager manager;
    const QString cnx = Browse(manager, cdb, Pick(2, tricky + u"/people.dbf"_s), true);
    ado::Connection connection;
    connection.Open(cnx);
    ado::Catalog catalog;
    catalog.SetActiveConnection(&connection);
    QStringList names;
    for (const ado::TableInfo& t : catalog.Tables())
        names << t.Name;
    QCOMPARE(names, QStringList{u"people"_s});
}

void TestConnectionManager::dialogOffers_data()
{
    QTest::addColumn<int>("fileType");
    QTest::addColumn<int>("offeredIndex");
    QTest::newRow("text, comma") << 13 << 13;
    QTest::newRow("SQLite") << 15 << 15;
    QTest::newRow("unset") << 0 << 1;
}

void TestConnectionManager::dialogOffers()
{
    QFETCH(int, fileType);
    QFETCH(int, offeredIndex);
    FileOpenDialog cdb(nullptr);
    cdb.FileName = path(u"data/base.mdb"_s); // left from an earlier browse
    ConnectionManager manager;
    manager.Directory = path(u"text"_s);
    manager.FileType = qint16(fileType);
    Offered offered;
    QCOMPARE(Browse(manager, cdb, Cancel(false, &offered)), QString());

    QCOMPARE(offered.title, u"Parcourir"_s);
    QCOMPARE(offered.directory, path(u"text"_s));
    QCOMPARE(offered.filterIndex, offeredIndex);
    // The descriptions show exactly, in FileType order, the SQLite one last.
    QCOMPARE(offered.shownFilters, m_descriptions);
    QCOMPARE(offered.fileName, QString());
    QVERIFY(offered.existingFile);
    QVERIFY(offered.nonNative);
    QVERIFY(!offered.readOnly);
    QVERIFY(offered.modal);
    QCOMPARE(cdb.Flags, 0x285804u);
}

void TestConnectionManager::emptyDirectoryKeepsDialogDefault()
{
    // What a dialog of the same kind opens in when nobody names a folder.
    QFileDialog plain;
    plain.setOption(QFileDialog::DontUseNativeDialog);
    const QString qtDefault = plain.directory().absolutePath();

    FileOpenDialog cdb(nullptr);
    ConnectionManager manager;
    manager.FileType = 2;
    Offered offered;
    QCOMPARE(Browse(manager, cdb, Cancel(false, &offered)), QString());
    QCOMPARE(offered.directory, qtDefault);
    QCOMPARE(offered.filterIndex, 2);
}

void TestConnectionManager::filterShowsItsPatterns_data()
{
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("visible");
    QTest::newRow("ADT: both patterns, any case") << 3 << u"ads"_s << QStringList{u"app.ADD"_s, u"dict.add"_s, u"t1.adt"_s};
    QTest::newRow("CDX") << 7 << u"ads"_s << QStringList{u"app.ADD"_s, u"dict.add"_s, u"t2.dbf"_s};
    QTest::newRow("text") << 13 << u"text"_s
        << QStringList{u"CLIENTS2.CSV"_s, u"clients.csv"_s, u"notes.txt"_s, u"orders.csv"_s};
    QTest::newRow("SQLite") << 15 << u"lite"_s << QStringList{u"old.db3"_s, u"shop.sqlite"_s};
    QTest::newRow("Paradox") << 9 << u"data"_s << QStringList{u"legacy.db"_s};
}

void TestConnectionManager::filterShowsItsPatterns()
{
    QFETCH(int, filter);
    QFETCH(QString, folder);
    QFETCH(QStringList, visible);

    QStringList listed;
    FileOpenDialog cdb(nullptr);
    ConnectionManager manager;
    manager.Directory = path(folder);
    manager.FileType = qint16(filter);
    Browse(manager, cdb, [&listed](QWidget* w) {
        QFileDialog* dialog = AsFileDialog(w);
        QVERIFY(dialog);
        auto* view = dialog->findChild<QListView*>(u"listView"_s);
        QVERIFY(view);
        const auto names = [view] {
            QStringList result;
            const QModelIndex root = view->rootIndex();
            for (int row = 0; row < view->model()->rowCount(root); ++row)
                result << view->model()->index(row, 0, root).data().toString();
            result.sort(Qt::CaseSensitive);
            return result;
        };
        QTRY_VERIFY(!names().isEmpty());
        listed = names();
        dialog->reject();
    });
    QCOMPARE(listed, visible);
}

void TestConnectionManager::cancelKeepsValues_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("Cancel") << false;
    QTest::newRow("Escape") << true;
}

void TestConnectionManager::cancelKeepsValues()
{
    QFETCH(bool, escape);
    FileOpenDialog cdb(nullptr);
    ConnectionManager manager;
    QVERIFY(!Browse(manager, cdb, Pick(2, path(u"data/clients.dbf"_s))).isEmpty());
    manager.Directory = path(u"ads"_s);
    manager.FileType = 7;

    QCOMPARE(Browse(manager, cdb, Cancel(escape)), QString());
    QCOMPARE(manager.Directory, path(u"ads"_s));
    QCOMPARE(int(manager.FileType), 7);
    QCOMPARE(manager.TableName(), u"clients.dbf"_s);
    QCOMPARE(cdb.FileName, QString());
}

void TestConnectionManager::textNameOutsideCodePageRefused()
{
    const QString work = QDir(MDabrix::WorkFolder).filePath(u"Import"_s);
    QDir(work).removeRecursively();
    FileOpenDialog cdb(nullptr);
    ConnectionManager manager;
    try {
        Browse(manager, cdb, Pick(13, path(u"odd/Ελλάδα.csv"_s)), false);
        QFAIL("a name Schema.ini cannot hold was accepted");
    } catch (const ado::AdoError& e) {
        QCOMPARE(e.Number(), 52L);
        QVERIFY2(e.Description().contains(u"Ελλάδα.csv"_s), qPrintable(e.Description()));
    }
    QVERIFY(!QFile::exists(QDir(work).filePath(u"Schema.ini"_s)));
}

DABRIX_TEST_MAIN(TestConnectionManager)
#include "tst_connectionmanager.moc"
