#include "support/ModalAnswerer.h"
#include "support/TestMain.h"

#include "ado/Catalog.h"
#include "ado/Connection.h"
#include "ado/ConnectionString.h"
#include "ado/ProviderRegistry.h"
#include "ado/providers/SqliteBackend.h"
#include "app/MDI.h"
#include "app/MDabrix.h"
#include "app/SettingsStore.h"
#include "ui/FormsRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

using testsupport::ModalAnswerer;

namespace {

// Stands in for providers that exist elsewhere, over a SQLite file.
class StandIn : public ado::SqliteBackend {
public:
    StandIn(const ado::ConnectionString& cs, QString name, int engineType)
        : SqliteBackend(cs), m_name(std::move(name)), m_engineType(engineType) {}
    QString ProviderName() const override { return m_name; }
    QVariant Property(const QString& name) const override
    {
        if (name == QLatin1String("Jet OLEDB:Engine Type"))
            return m_engineType;
        return SqliteBackend::Property(name);
    }

private:
    QString m_name;
    int m_engineType;
};

// Picks a chooser entry by its text and presses OK.
ModalAnswerer::Answer Choose(const QString& entry)
{
    return [entry](QWidget* dialog) {
        auto* list = dialog->findChild<QListWidget*>(QStringLiteral("Lis"));
        const auto items = list->findItems(entry, Qt::MatchExactly);
        if (items.isEmpty()) {
            qWarning("no entry %s", qPrintable(entry));
            return;
        }
        list->setCurrentItem(items.first());
        dialog->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    };
}

// A small demo-like database file.
QString MakeDatabase(const QString& name)
{
    const QString file = QDir::temp().filePath(name);
    QFile::remove(file);
    QFile(file).open(QIODevice::WriteOnly);
    ado::Connection cnx;
    cnx.Open(QStringLiteral("Provider=SQLite;Data Source=") + file);
    cnx.Execute(QStringLiteral("CREATE TABLE Clients (id INTEGER PRIMARY KEY, nom TEXT)"));
    return file;
}

} // namespace

// A data window as RefreshDataWindows sees it.
class RefreshCounter : public QWidget {
    Q_OBJECT
public:
    int count = 0;
    Q_INVOKABLE void RefreshData() { ++count; }
};

class TestStartup : public QObject {
    Q_OBJECT

private:
    QString m_good;

    void setConnections(const QList<QPair<QString, QString>>& connections)
    {
        QSettings ombrisk(QStringLiteral("Corvanet"), QStringLiteral("Ombrisk"));
        ombrisk.remove(QStringLiteral("Connections"));
        for (const auto& c : connections)
            ombrisk.setValue(QStringLiteral("Connections/") + c.first, c.second);
        ombrisk.sync();
    }

private slots:
    void initTestCase()
    {
        m_good = MakeDatabase(QStringLiteral("startup.sqlite"));
        MDabrix::AppTitle = QStringLiteral("Dabrix");
        MDabrix::AppSettings = std::make_unique<SettingsStore>();
        MDabrix::AppSettings->Open(QStringLiteral("Corvanet"), MDabrix::AppTitle, false);
        MDabrix::OmbriskSettings = std::make_unique<SettingsStore>();
        MDabrix::OmbriskSettings->Open(QStringLiteral("Corvanet"), QStringLiteral("Ombrisk"), false);
        MDabrix::InitWorkFolder();
        auto& registry = ado::ProviderRegistry::Instance();
        registry.Register(QStringLiteral("pcsoft.hfsql"), [](const ado::ConnectionString& cs) {
            return std::make_unique<StandIn>(cs, QStringLiteral("pcsoft.hfsql"), 0);
        });
        registry.Register(QStringLiteral("Microsoft.Jet.OLEDB.4.0"), [](const ado::ConnectionString& cs) {
            return std::make_unique<StandIn>(cs, QStringLiteral("Microsoft.Jet.OLEDB.4.0"), cs.Value(QStringLiteral("Engine")).toInt());
        });
        registry.Register(QStringLiteral("Microsoft.ACE.OLEDB.12.0"), [](const ado::ConnectionString& cs) {
            return std::make_unique<StandIn>(cs, QStringLiteral("Microsoft.ACE.OLEDB.12.0"), 5);
        });
    }

    void workFolderIsFreshAndPrivate()
    {
        const QString first = MDabrix::WorkFolder;
        QVERIFY(QFileInfo(first).isDir());
        QCOMPARE(QFileInfo(first).absolutePath(), QFileInfo(MDabrix::TempFolder).absoluteFilePath());
        QCOMPARE(QFileInfo(first).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther), QFile::Permissions());
        MDabrix::InitWorkFolder();
        QVERIFY(MDabrix::WorkFolder != first);
        QDir(first).removeRecursively();
    }

    void cancellingTheChooserOpensNothing()
    {
        setConnections({{QStringLiteral("Good"), QStringLiteral("Provider=SQLite;Data Source=") + m_good}});
        ModalAnswerer answer(ModalAnswerer::Button(QStringLiteral("cmdCancel")));
        QVERIFY(!MDabrix::OpenDatabase());
        QVERIFY(answer.done());
        QCOMPARE(answer.titles(), QStringList{QStringLiteral("Choisir une base de données")});
        QVERIFY(MDabrix::CnxString.isEmpty());
        QVERIFY(MDabrix::Cnx);
        QCOMPARE(MDabrix::Cnx->State(), int(ado::Connection::adStateClosed));
        // The chooser's unload saved its settings even so.
        QCOMPARE(MDabrix::AppSettings->ReadValue(QStringLiteral("General"), QStringLiteral("FileType"), 0).toInt(), 1);
    }

    void aWrongConnectionStringIsReported()
    {
        const QString bad = QStringLiteral("Provider=SQLite;Data Source=/no/such/base.sqlite");
        setConnections({{QStringLiteral("Broken"), bad}});
        ModalAnswerer answers({Choose(QStringLiteral("Broken")), ModalAnswerer::Accept()});
        QVERIFY(!MDabrix::OpenDatabase());
        QVERIFY(answers.done());
        QCOMPARE(answers.titles().at(1), QStringLiteral("Dabrix"));
        QCOMPARE(answers.texts().at(1), QStringLiteral("Je n'arrive pas à ouvrir DB '") + bad
                                            + QStringLiteral("'\n-2147467259 Could not find file '/no/such/base.sqlite'."));
        QVERIFY(MDabrix::CnxString.isEmpty());
        QVERIFY(!MDabrix::Cnx);
        QVERIFY(!MDabrix::Catalog);
    }

    void providerFlagsFollowTheOpenDatabase_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<bool>("jet4");
        QTest::addColumn<bool>("hfsql");
        QTest::newRow("sqlite") << "Provider=SQLite" << false << false;
        QTest::newRow("jet 4") << "Provider=Microsoft.Jet.OLEDB.4.0;Engine=5" << true << false;
        QTest::newRow("jet 4, upper case") << "Provider=MICROSOFT.JET.OLEDB.4.0;Engine=5" << true << false;
        QTest::newRow("jet 3") << "Provider=Microsoft.Jet.OLEDB.4.0;Engine=4" << false << false;
        QTest::newRow("ace") << "Provider=Microsoft.ACE.OLEDB.12.0" << false << false;
        QTest::newRow("hfsql") << "Provider=PCSOFT.HFSQL" << false << true;
    }
    void providerFlagsFollowTheOpenDatabase()
    {
        QFETCH(QString, prefix);
        QFETCH(bool, jet4);
        QFETCH(bool, hfsql);
        const QString cs = prefix + QStringLiteral(";Data Source=") + m_good;
        setConnections({{QStringLiteral("Target"), cs}});
        ModalAnswerer answer(Choose(QStringLiteral("Target")));
        QVERIFY(MDabrix::OpenDatabase());
        QCOMPARE(MDabrix::CnxString, cs);
        QCOMPARE(MDabrix::IsJet4, jet4);
        QCOMPARE(MDabrix::IsHfsql, hfsql);
        bool listed = false;
        for (const ado::TableInfo& t : MDabrix::Catalog->Tables())
            listed = listed || t.Name == QLatin1String("Clients");
        QVERIFY(listed);
        // Closing keeps the flags of the last open, as callers expect.
        MDabrix::CloseDatabase();
        QVERIFY(MDabrix::CnxString.isEmpty());
        QCOMPARE(MDabrix::IsHfsql, hfsql);
    }

    void refreshReachesTaggedWindowsOnly()
    {
        RefreshCounter tagged;
        tagged.setProperty("Tag", QStringLiteral("DataWin"));
        RefreshCounter untagged;
        QWidget taggedWithoutSlot;
        taggedWithoutSlot.setProperty("Tag", QStringLiteral("DataWin"));
        MDabrix::RefreshDataWindows();
        QCOMPARE(tagged.count, 0);
        ui::FormsRegistry::Register(&tagged);
        ui::FormsRegistry::Register(&untagged);
        ui::FormsRegistry::Register(&taggedWithoutSlot);
        MDabrix::RefreshDataWindows();
        QCOMPARE(tagged.count, 1);
        QCOMPARE(untagged.count, 0);
        ui::FormsRegistry::Unregister(&tagged);
        ui::FormsRegistry::Unregister(&untagged);
        ui::FormsRegistry::Unregister(&taggedWithoutSlot);
    }

    void mainShowsTheMainWindowAndClosingCleansUp()
    {
        setConnections({{QStringLiteral("Démo"), QStringLiteral("Provider=SQLite;Data Source=") + m_good}});
        ModalAnswerer answer(Choose(QStringLiteral("Démo")));
        MDabrix::Main();
        QVERIFY(answer.done());
        MDI* mdi = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* m = qobject_cast<MDI*>(w); m && m->isVisible())
                mdi = m;
        QVERIFY(mdi);
        QCOMPARE(mdi->windowTitle(), QStringLiteral("Velk Dabrix %1.%2.%3").arg(DABRIX_VERSION_MAJOR).arg(DABRIX_VERSION_MINOR).arg(DABRIX_VERSION_PATCH));
        const QString work = MDabrix::WorkFolder;
        QVERIFY(QFileInfo(work).isDir());
        QFile readOnly(work + QStringLiteral("/Main/x.csv"));
        QDir().mkpath(work + QStringLiteral("/Main"));
        QVERIFY(readOnly.open(QIODevice::WriteOnly));
        readOnly.close();
        QFile::setPermissions(readOnly.fileName(), QFile::ReadOwner);
        QPointer<MDI> guard(mdi);
        QVERIFY(mdi->close());
        QVERIFY(!QFileInfo::exists(work));
        QVERIFY(MDabrix::CnxString.isEmpty());
        QTRY_VERIFY(guard.isNull());
    }

    void mainEndsWithoutWindowWhenCancelled()
    {
        ModalAnswerer answer(ModalAnswerer::Reject());
        MDabrix::Main();
        QVERIFY(answer.done());
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible() || !qobject_cast<MDI*>(w), "a main window was shown");
        // The copies of the user's text files go with the run.
        QVERIFY(!MDabrix::WorkFolder.isEmpty());
        QVERIFY(!QFileInfo::exists(MDabrix::WorkFolder));
    }

    void mainRemovesTheWorkFolderWhenTheOpenFails()
    {
        setConnections({{QStringLiteral("Broken"), QStringLiteral("Provider=SQLite;Data Source=/no/such/base.sqlite")}});
        ModalAnswerer answers({Choose(QStringLiteral("Broken")), ModalAnswerer::Accept()});
        MDabrix::Main();
        QVERIFY(answers.done());
        QVERIFY(answers.texts().at(1).startsWith(QStringLiteral("Je n'arrive pas à ouvrir DB '")));
        QVERIFY(!QFileInfo::exists(MDabrix::WorkFolder));
    }

    void mainReportsAWorkFolderItCannotMake_data()
    {
        QTest::addColumn<QString>("tmpdir");
        QTest::newRow("a file") << QStringLiteral("file");
        QTest::newRow("a missing folder") << QStringLiteral("missing/folder");
        QTest::newRow("a relative name") << QStringLiteral("relative");
    }
    void mainReportsAWorkFolderItCannotMake()
    {
        QFETCH(QString, tmpdir);
        const QString realTemp = qEnvironmentVariable("TMPDIR");
        QTemporaryDir scratch;
        QVERIFY(scratch.isValid());
        QFile file(scratch.filePath(QStringLiteral("file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString value = tmpdir == u"relative" ? tmpdir : scratch.filePath(tmpdir);
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(scratch.path());
        qputenv("TMPDIR", value.toLocal8Bit());
        // The second answer only closes a chooser that must not appear.
        ModalAnswerer answers({ModalAnswerer::Accept(), ModalAnswerer::Reject()});
        MDabrix::Main();
        qputenv("TMPDIR", realTemp.toLocal8Bit());
        QDir::setCurrent(cwd);
        QCOMPARE(answers.titles(), QStringList{QStringLiteral("Dabrix")});
        QVERIFY2(answers.texts().at(0).startsWith(QStringLiteral("Une erreur s'est produite au cours du chargement de la fenêtre\n\n76 - ")),
                 qPrintable(answers.texts().at(0)));
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY2(!w->isVisible() || !qobject_cast<MDI*>(w), "a main window was shown");
        // Nothing was made beside the program either.
        QCOMPARE(QDir(scratch.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
    }
};

DABRIX_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
