#include "app/MDabrix.h"
#include "app/SettingsStore.h"
#include "connections/MConnections.h"
#include "connections/diaCnxString.h"
#include "connections/diaLogin.h"
#include "support/ModalAnswerer.h"
#include "support/TestMain.h"

#include <QClipboard>
#include <QFrame>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QSettings>

using namespace Qt::StringLiterals;
using testsupport::ModalAnswerer;

class TestLoginDialogs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void applyLogin_data();
    void applyLogin();
    void applyLoginCancelled_data();
    void applyLoginCancelled();

    void askConnectionString_data();
    void askConnectionString();

    void cnxStringShowsAndCopies_data();
    void cnxStringShowsAndCopies();
    void cnxStringPlacement();
    void cnxStringResizeLayout();

    void fieldTypeCategory_data();
    void fieldTypeCategory();
};

namespace {

// Fills the login dialog and presses one of its buttons.
ModalAnswerer::Answer Login(const QString& user, const QString& password, const QString& button = u"cmdOK"_s)
{
    return [=](QWidget* w) {
        if (!user.isNull())
            w->findChild<QLineEdit*>(u"txtUserName"_s)->setText(user);
        w->findChild<QLineEdit*>(u"txtPassword"_s)->setText(password);
        w->findChild<QPushButton*>(button)->click();
    };
}

QString RememberedString()
{
    return MDabrix::AppSettings->ReadValue(u"General"_s, u"ConnectionString"_s, u"<none>"_s).toString();
}

} // namespace

void TestLoginDialogs::initTestCase()
{
    MDabrix::AppSettings = std::make_unique<SettingsStore>();
    MDabrix::AppSettings->Open(u"Corvanet"_s, u"Dabrix"_s, false);
    MDabrix::OmbriskSettings = std::make_unique<SettingsStore>();
    MDabrix::OmbriskSettings->Open(u"Corvanet"_s, u"Ombrisk"_s, false);
}

void TestLoginDialogs::init()
{
    QSettings(u"Corvanet"_s, u"Dabrix"_s).clear();
    MDabrix::CnxString.clear();
}

void TestLoginDialogs::applyLogin_data()
{
    QTest::addColumn<QString>("cnx");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("expected");
    const QString base = u"Provider=Advantage OLE DB Provider;Data Source=/srv/data;[Login]ServerType=1"_s;
    QTest::newRow("user and password") << base << u"jean"_s << u"s3cret"_s
        << u"Provider=Advantage OLE DB Provider;Data Source=/srv/data;User ID=jean; Password=s3cret;\nServerType=1"_s;
    QTest::newRow("empty password") << base << u"jean"_s << QString()
        << u"Provider=Advantage OLE DB Provider;Data Source=/srv/data;User ID=jean;\nServerType=1"_s;
    QTest::newRow("user name left as offered") << u"[Login]"_s << QString() << QString() << u"User ID=adssys;\n"_s;
    QTest::newRow("two markers") << u"[Login]x;[Login]"_s << u"a"_s << u"b"_s
        << u"User ID=a; Password=b;\nx;User ID=a; Password=b;\n"_s;
    QTest::newRow("marker case is exact") << u"[login];[Login]"_s << u"a"_s << QString()
        << u"[login];User ID=a;\n"_s;
    QTest::newRow("separator in password is quoted") << u"[Login]"_s << u"a"_s << u"x;Data Source=/etc"_s
        << u"User ID=a; Password=\"x;Data Source=/etc\";\n"_s;
    QTest::newRow("quote in password is doubled") << u"[Login]"_s << u"a"_s << u"p\"q"_s
        << u"User ID=a; Password=\"p\"\"q\";\n"_s;
    QTest::newRow("marker typed as a name stays text") << u"[Login]"_s << u"[Login]"_s << QString()
        << u"User ID=[Login];\n"_s;
}

void TestLoginDialogs::applyLogin()
{
    QFETCH(QString, cnx);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, expected);
    ModalAnswerer answerer(ModalAnswerer::Answer([&](QWidget* w) {
        QCOMPARE(w->findChild<QLineEdit*>(u"txtPassword"_s)->echoMode(), QLineEdit::Password);
        Login(user, password)(w);
    }));
    QCOMPARE(MConnections::ApplyLogin(cnx), expected);
    QVERIFY(answerer.done());
    QCOMPARE(answerer.titles(), QStringList{u"Login"_s});
}

void TestLoginDialogs::applyLoginCancelled_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Annuler") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("close box") << 2;
}

void TestLoginDialogs::applyLoginCancelled()
{
    QFETCH(int, how);
    ModalAnswerer answerer([how](QWidget* w) {
        w->findChild<QLineEdit*>(u"txtPassword"_s)->setText(u"typed"_s);
        if (how == 0)
            w->findChild<QPushButton*>(u"cmdCancel"_s)->click();
        else if (how == 1)
            QTest::keyClick(w, Qt::Key_Escape);
        else
            w->close();
    });
    QCOMPARE(MConnections::ApplyLogin(u"Data Source=x;[Login]"_s), QString());
    QVERIFY(answerer.done());
}

void TestLoginDialogs::askConnectionString_data()
{
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first time") << QString() << true << u"DSN=compta"_s << u"DSN=compta"_s;
    QTest::newRow("changed") << u"DSN=old"_s << true << u"DSN=new;[Login]"_s << u"DSN=new;[Login]"_s;
    QTest::newRow("kept as offered") << u"DSN=old"_s << true << QString() << u"DSN=old"_s;
    QTest::newRow("cancel forgets") << u"DSN=old"_s << false << QString() << QString();
}

void TestLoginDialogs::askConnectionString()
{
    QFETCH(QString, remembered);
    QFETCH(bool, accept);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    if (!remembered.isEmpty())
        MDabrix::AppSettings->WriteValue(u"General"_s, u"ConnectionString"_s, remembered, 1);

    QString offered = u"<not shown>"_s;
    ModalAnswerer answerer([&](QWidget* w) {
        auto* box = qobject_cast<QInputDialog*>(w);
        QVERIFY(box);
        offered = box->textValue();
        if (!typed.isNull())
            box->setTextValue(typed);
        accept ? box->accept() : box->reject();
    });
    QCOMPARE(MConnections::AskConnectionString(), expected);
    QCOMPARE(answerer.titles(), QStringList{u"Connection string"_s});
    QCOMPARE(answerer.texts(), QStringList{u"Entrer la chaine de connexion..."_s});
    QCOMPARE(offered, remembered);
    QCOMPARE(RememberedString(), expected);
}

void TestLoginDialogs::cnxStringShowsAndCopies_data()
{
    QTest::addColumn<QString>("cnx");
    QTest::newRow("no database") << QString();
    QTest::newRow("with line feeds") << u"Provider=Advantage OLE DB Provider;\nUser ID=adssys;\nServerType=1"_s;
    QTest::newRow("looks like markup") << u"Data Source=<b>x</b>;Password=a&b"_s;
}

void TestLoginDialogs::cnxStringShowsAndCopies()
{
    QFETCH(QString, cnx);
    MDabrix::CnxString = cnx;
    QGuiApplication::clipboard()->setText(u"left over"_s);

    QMainWindow main;
    diaCnxString dialog(&main);
    QCOMPARE(dialog.windowTitle(), u"Connection String"_s);
    auto* label = dialog.findChild<QLabel*>(u"lblCnxStr"_s);
    QCOMPARE(label->text(), cnx);
    QCOMPARE(label->textFormat(), Qt::PlainText);

    auto* copy = dialog.findChild<QFrame*>(u"fraButtons"_s)->findChild<QPushButton*>(u"cmdCopy"_s);
    QCOMPARE(copy->text(), u"C&opier"_s);
    copy->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), cnx);
}

void TestLoginDialogs::cnxStringPlacement()
{
    QMainWindow main;
    main.setGeometry(150, 120, 600, 450);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));

    diaCnxString dialog(&main);
    const QSize outer = main.frameGeometry().size();
    const QPoint expected((outer.width() - dialog.width()) / 2, (outer.height() - dialog.height()) / 2);
    QCOMPARE(dialog.pos(), expected);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.pos(), expected);
}

void TestLoginDialogs::cnxStringResizeLayout()
{
    MDabrix::CnxString = u"DSN=x"_s;
    diaCnxString dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* label = dialog.findChild<QLabel*>(u"lblCnxStr"_s);
    auto* frame = dialog.findChild<QFrame*>(u"fraButtons"_s);
    const QPoint labelPos = label->pos();

    dialog.resize(700, 400);
    QTRY_COMPARE(frame->geometry().bottomRight(), QPoint(699, 399));
    QCOMPARE(label->pos(), labelPos);
    QCOMPARE(label->width(), 700 - 2 * labelPos.x());
    QCOMPARE(label->height(), frame->y() - 16); // 240 twips

    // Too small for the margins: the frame still follows, the label keeps its last geometry.
    const QRect before = label->geometry();
    dialog.resize(40, 20);
    QTRY_COMPARE(frame->geometry().bottomRight(), QPoint(39, 19));
    QCOMPARE(label->geometry(), before);
}

void TestLoginDialogs::fieldTypeCategory_data()
{
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<int>("category");
    QTest::newRow("variable text") << QList<int>{200, 201, 202, 203} << 0;
    QTest::newRow("numeric") << QList<int>{2, 3, 4, 5, 6, 14, 16, 17, 18, 19, 20, 21, 131} << 1;
    QTest::newRow("date and time") << QList<int>{7, 133, 134, 135} << 2;
    QTest::newRow("guid") << QList<int>{72} << 3;
    QTest::newRow("other") << QList<int>{0, 1, 8, 11, 128, 129, 130, 132, 204, 205, -1, 100000} << 4;
}

void TestLoginDialogs::fieldTypeCategory()
{
    QFETCH(QList<int>, codes);
    QFETCH(int, category);
    for (int code : codes)
        QVERIFY2(MConnections::GetFieldTypeCategory(code) == category, qPrintable(QString::number(code)));
}

DABRIX_TEST_MAIN(TestLoginDialogs)
#include "tst_logindialogs.moc"
