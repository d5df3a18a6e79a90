#include "ado/AdoError.h"
#include "app/FormPlacement.h"
#include "app/InputValidator.h"
#include "app/SettingsStore.h"
#include "support/TestMain.h"

#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QSettings>
#include <QWidget>

using namespace Qt::StringLiterals;

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void roundTripKinds_data();
    void roundTripKinds();
    void numberKindRejectsText_data();
    void numberKindRejectsText();
    void backslashSectionsAreGroups();
    void readSection();
    void readOnlyWritesNothing();
    void fileIsOwnerOnly();
    void existingFileIsProtected();

    void placementNothingSaved();
    void placementTopLevel();
    void placementMaximized();
    void placementOffScreen();
    void placementMdiChild();

    void wholeNumber_data();
    void wholeNumber();

private:
    // A store of its own per test, so no test sees another's values.
    static std::unique_ptr<SettingsStore> openStore(const QString& application, bool readOnly = false);
    static QString nextApplication() { static int n = 0; return u"Store%1"_s.arg(++n); }
};

std::unique_ptr<SettingsStore> TestSettings::openStore(const QString& application, bool readOnly)
{
    auto store = std::make_unique<SettingsStore>();
    store->Open(u"Corvanet"_s, application, readOnly);
    return store;
}

void TestSettings::roundTripKinds_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("expected");
    QTest::newRow("text kind 1") << QVariant(u"C:\\Données\\base.mdb"_s) << 1 << u"C:\\Données\\base.mdb"_s;
    QTest::newRow("text kind 0") << QVariant(u"Provider=SQLite;Data Source=/tmp/a.db"_s) << 0
                                 << u"Provider=SQLite;Data Source=/tmp/a.db"_s;
    QTest::newRow("text with line feed") << QVariant(u"a=1;\nb=2"_s) << 1 << u"a=1;\nb=2"_s;
    QTest::newRow("empty text") << QVariant(QString()) << 1 << QString();
    QTest::newRow("16-bit number") << QVariant::fromValue<qint16>(7) << 4 << u"7"_s;
    QTest::newRow("negative number") << QVariant(-2147483647 - 1) << 4 << u"-2147483648"_s;
    QTest::newRow("number given as text") << QVariant(u"300"_s) << 4 << u"300"_s;
}

void TestSettings::roundTripKinds()
{
    QFETCH(QVariant, value);
    QFETCH(int, kind);
    QFETCH(QString, expected);
    const QString app = nextApplication();
    openStore(app)->WriteValue(u"General"_s, u"Key"_s, value, kind);

    // A fresh store reads what the file holds, not what the writer cached.
    auto reader = openStore(app);
    QCOMPARE(reader->ReadValue(u"General"_s, u"Key"_s, u"default"_s).toString(), expected);
    QCOMPARE(reader->ReadValue(u"General"_s, u"Missing"_s, u"default"_s).toString(), u"default"_s);
    if (kind == 4)
        QCOMPARE(reader->ReadValue(u"General"_s, u"Key"_s, 0).toInt(), expected.toInt());
}

void TestSettings::numberKindRejectsText_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::newRow("letters") << QVariant(u"abc"_s);
    QTest::newRow("beyond 32 bits") << QVariant(qlonglong(1) << 32);
}

void TestSettings::numberKindRejectsText()
{
    QFETCH(QVariant, value);
    auto store = openStore(nextApplication());
    store->WriteValue(u"General"_s, u"FileType"_s, 3, 4);
    try {
        store->WriteValue(u"General"_s, u"FileType"_s, value, 4);
        QFAIL("a number setting took a value that is not a 32-bit number");
    } catch (const ado::AdoError& e) {
        QCOMPARE(e.Number(), ado::err::TypeMismatch);
    }
    QCOMPARE(store->ReadValue(u"General"_s, u"FileType"_s, 0).toInt(), 3);
}

void TestSettings::backslashSectionsAreGroups()
{
    const QString app = nextApplication();
    auto store = openStore(app);
    store->WriteValue(u"Forms\\Mdi"_s, u"Left"_s, 1500, 4);

    QSettings plain(u"Corvanet"_s, app);
    QCOMPARE(plain.value(u"Forms/Mdi/Left"_s).toInt(), 1500);
    QCOMPARE(QFileInfo(store->FileName()).fileName(), app + u".conf"_s);
    QVERIFY(store->FileName().startsWith(qEnvironmentVariable("XDG_CONFIG_HOME") + u"/Corvanet/"_s));

    QVERIFY(store->SectionExists(u"Forms\\Mdi"_s));
    QVERIFY(store->SectionExists(u"Forms"_s));
    QVERIFY(!store->SectionExists(u"Forms\\frmDbTables"_s));
    QVERIFY(!store->SectionExists(u"General"_s));
}

void TestSettings::readSection()
{
    const QString app = nextApplication();
    {
        QSettings plain(u"Corvanet"_s, app);
        plain.setValue(u"Connections/Compta 2023"_s, u"Provider=SQLite;Data Source=/a.db"_s);
        plain.setValue(u"Connections/paie"_s, u"DSN=paie;[Login]"_s);
        plain.setValue(u"Connections/Sub/Nested"_s, u"not a key of the section"_s);
        plain.setValue(u"Other/key"_s, u"elsewhere"_s);
    }
    auto store = openStore(app);
    auto rows = store->ReadSection(u"Connections"_s);
    std::sort(rows.begin(), rows.end());
    const QList<QPair<QString, QString>> expected{
        {u"Compta 2023"_s, u"Provider=SQLite;Data Source=/a.db"_s},
        {u"paie"_s, u"DSN=paie;[Login]"_s},
    };
    QCOMPARE(rows, expected);
    QVERIFY(store->ReadSection(u"Absent"_s).isEmpty());
    // A read inside a section must not leave the store inside it.
    QCOMPARE(store->ReadValue(u"Other"_s, u"key"_s, QString()).toString(), u"elsewhere"_s);
}

void TestSettings::readOnlyWritesNothing()
{
    const QString app = nextApplication();
    auto store = openStore(app, true);
    store->WriteValue(u"General"_s, u"Directory"_s, u"/data"_s, 1);
    QVERIFY(!QFile::exists(store->FileName()));
    QVERIFY(!openStore(app)->SectionExists(u"General"_s));
}

void TestSettings::fileIsOwnerOnly()
{
    auto store = openStore(nextApplication());
    const QFile::Permissions ownerFile = QFile::ReadOwner | QFile::WriteOwner;
    const QFile::Permissions ownerFolder = ownerFile | QFile::ExeOwner;
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    // The second write replaces the file through a temporary one; it must stay protected.
    for (const QString& value : {u"first"_s, u"Password=secret"_s}) {
        store->WriteValue(u"General"_s, u"ConnectionString"_s, value, 0);
        const QFile::Permissions file = QFile::permissions(store->FileName());
        QCOMPARE(file & (ownerFolder | others), ownerFile);
        const QString folder = QFileInfo(store->FileName()).absolutePath();
        QCOMPARE(QFile::permissions(folder) & (ownerFolder | others), ownerFolder);
    }
}

void TestSettings::existingFileIsProtected()
{
    const QString app = nextApplication();
    auto store = openStore(app);
    store->WriteValue(u"General"_s, u"Directory"_s, u"/x"_s, 1);
    const QString name = store->FileName();
    QVERIFY(QFile::setPermissions(name, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));

    store->WriteValue(u"General"_s, u"Directory"_s, u"/y"_s, 1);
    QVERIFY(!(QFile::permissions(name) & (QFile::ReadGroup | QFile::ReadOther)));
    QCOMPARE(openStore(app)->ReadValue(u"General"_s, u"Directory"_s, QString()).toString(), u"/y"_s);
}

void TestSettings::placementNothingSaved()
{
    auto store = openStore(nextApplication());
    QWidget window;
    window.setGeometry(40, 50, 300, 200);
    FormPlacement::Instance().RestorePlacement(*store, window, u"Forms\\frmDbTables"_s);
    QCOMPARE(window.geometry(), QRect(40, 50, 300, 200));
    QVERIFY(!store->SectionExists(u"Forms"_s));
}

void TestSettings::placementTopLevel()
{
    auto store = openStore(nextApplication());
    const QString section = u"Forms\\Mdi"_s;
    {
        QWidget window;
        window.setGeometry(30, 40, 320, 240);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        FormPlacement::Instance().SavePlacement(*store, window, section);
    }
    // Stored in twips, readable in the file.
    QCOMPARE(store->ReadValue(section, u"Width"_s, 0).toInt(), 320 * 15);
    QCOMPARE(store->ReadValue(section, u"WindowState"_s, -1).toInt(), 0);

    QWidget again;
    again.setGeometry(200, 100, 100, 80);
    FormPlacement::Instance().RestorePlacement(*store, again, section);
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    QCOMPARE(again.geometry(), QRect(30, 40, 320, 240));
}

void TestSettings::placementMaximized()
{
    auto store = openStore(nextApplication());
    const QString section = u"Forms\\Mdi"_s;
    {
        QWidget window;
        window.setGeometry(30, 40, 320, 240);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.showMaximized();
        QTRY_VERIFY(window.isMaximized());
        FormPlacement::Instance().SavePlacement(*store, window, section);
    }
    QCOMPARE(store->ReadValue(section, u"WindowState"_s, -1).toInt(), 2);
    // The size kept is the one the window returns to, not the maximised one.
    QCOMPARE(store->ReadValue(section, u"Width"_s, 0).toInt(), 320 * 15);

    QWidget again;
    FormPlacement::Instance().RestorePlacement(*store, again, section);
    again.show();
    QTRY_VERIFY(again.isMaximized());
    again.showNormal();
    QTRY_COMPARE(again.geometry(), QRect(30, 40, 320, 240));
}

void TestSettings::placementOffScreen()
{
    auto store = openStore(nextApplication());
    const QString section = u"Forms\\frmSqlCommand"_s;
    store->WriteValue(section, u"Left"_s, -90000, 4);
    store->WriteValue(section, u"Top"_s, 150000, 4);
    store->WriteValue(section, u"Width"_s, 4500, 4);
    store->WriteValue(section, u"Height"_s, 3000, 4);

    QWidget window;
    FormPlacement::Instance().RestorePlacement(*store, window, section);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(screen.contains(window.geometry()), qPrintable(u"placed at %1,%2"_s.arg(window.x()).arg(window.y())));
    QCOMPARE(window.size(), QSize(300, 200));
}

void TestSettings::placementMdiChild()
{
    auto store = openStore(nextApplication());
    const QString section = u"Forms\\frmTblData"_s;
    QMainWindow main;
    auto* area = new QMdiArea;
    main.setCentralWidget(area);
    main.resize(700, 500);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));

    auto* form = new QWidget;
    QMdiSubWindow* sub = area->addSubWindow(form);
    sub->show();
    sub->setGeometry(25, 35, 260, 180);
    FormPlacement::Instance().SavePlacement(*store, *form, section);
    QCOMPARE(store->ReadValue(section, u"Left"_s, 0).toInt(), 25 * 15);
    QCOMPARE(store->ReadValue(section, u"Height"_s, 0).toInt(), 180 * 15);

    auto* form2 = new QWidget;
    QMdiSubWindow* sub2 = area->addSubWindow(form2);
    sub2->show();
    sub2->setGeometry(300, 200, 120, 100);
    FormPlacement::Instance().RestorePlacement(*store, *form2, section);
    QCOMPARE(sub2->geometry(), QRect(25, 35, 260, 180));

    // Entirely outside the MDI area: brought back into it.
    store->WriteValue(section, u"Left"_s, 60000, 4);
    FormPlacement::Instance().RestorePlacement(*store, *form2, section);
    QVERIFY(area->viewport()->rect().intersects(sub2->geometry()));
    QCOMPARE(sub2->size(), QSize(260, 180));
}

void TestSettings::wholeNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("whole");
    QTest::newRow("digits") << u"1000"_s << true;
    QTest::newRow("leading zeros") << u"007"_s << true;
    QTest::newRow("minus") << u"-5"_s << true;
    QTest::newRow("plus") << u"+5"_s << true;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("sign alone") << u"-"_s << false;
    QTest::newRow("two signs") << u"+-5"_s << false;
    QTest::newRow("decimal point") << u"1.5"_s << false;
    QTest::newRow("exponent") << u"1e3"_s << false;
    QTest::newRow("leading blank") << u" 12"_s << false;
    QTest::newRow("inner blank") << u"1 000"_s << false;
    QTest::newRow("hex") << u"0x1F"_s << false;
    QTest::newRow("arabic-indic digits") << u"\u0661\u0662"_s << false;
}

void TestSettings::wholeNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, whole);
    QCOMPARE(InputValidator::Instance().IsWholeNumber(text), whole);
}

DABRIX_TEST_MAIN(TestSettings)
#include "tst_settings.moc"
