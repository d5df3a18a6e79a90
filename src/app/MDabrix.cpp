#include "app/MDabrix.h"

#include "ado/AdoError.h"
#include "ado/Backend.h"
#include "ado/Catalog.h"
#include "ado/Connection.h"
#include "app/CommandLine.h"
#include "app/MDI.h"
#include "app/SettingsStore.h"
#include "app/frmOpenDB.h"
#include "connections/MConnections.h"
#include "connections/frmChoixDb.h"
#include "ui/AppIcons.h"
#include "ui/BusyCursor.h"
#include "ui/FailureReport.h"
#include "ui/FormsRegistry.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTemporaryDir>

#include <utility>

namespace MDabrix {

QString AppTitle;
std::unique_ptr<SettingsStore> AppSettings;
std::unique_ptr<SettingsStore> OmbriskSettings;
QString TempFolder;
QString WorkFolder;
std::unique_ptr<ado::Connection> Cnx;
std::unique_ptr<ado::Catalog> Catalog;
QString CnxString;
bool IsJet4 = false;
bool IsHfsql = false;
QString PendingSource;
qint16 PendingTextFileType = CommandLine::CommaText;

void Main()
{
    AppTitle = QStringLiteral("Dabrix");
    // Every window, the chooser and the message boxes included, shows the program's icon.
    QApplication::setWindowIcon(ui::AppIcons::Get(ui::AppIcons::Id::Application));
    try {
        AppSettings = std::make_unique<SettingsStore>();
        AppSettings->Open(QStringLiteral("Corvanet"), AppTitle, false);
        OmbriskSettings = std::make_unique<SettingsStore>();
        OmbriskSettings->Open(QStringLiteral("Corvanet"), QStringLiteral("Ombrisk"), false);
        InitWorkFolder();
    } catch (...) {
        // Nothing can run without its settings and work folder: say why, then end.
        ui::FailureReport::Show(nullptr, AppTitle, ui::Sentence::WindowLoading, std::current_exception());
        DeleteWorkFolder();
        return;
    }
    if (!OpenDatabase()) {
        // The copies of the user's text files must not outlive a start that went no further.
        DeleteWorkFolder();
        return;
    }
    auto* mdi = new MDI();
    mdi->setAttribute(Qt::WA_DeleteOnClose);
    mdi->show();
}

void InitWorkFolder()
{
    TempFolder = QDir::tempPath();
    WorkFolder.clear();
    // A relative or missing TMPDIR would put the copies of the user's files wherever the
    // program happens to run.
    const QFileInfo temp(TempFolder);
    if (!temp.isAbsolute() || !temp.isDir())
        throw ado::AdoError(ado::err::PathNotFound,
                            QStringLiteral("Path not found: the temporary folder '%1' does not exist or is not a folder.")
                                .arg(TempFolder.isEmpty() ? qEnvironmentVariable("TMPDIR") : TempFolder));
    // A fresh folder of this run, readable by its owner only (QTemporaryDir makes it 0700).
    QTemporaryDir dir(QDir(TempFolder).filePath(QStringLiteral("dabrix-XXXXXX")));
    if (!dir.isValid())
        throw ado::AdoError(ado::err::PathNotFound,
                            QStringLiteral("Cannot create the work folder in %1: %2").arg(TempFolder, dir.errorString()));
    dir.setAutoRemove(false);
    WorkFolder = dir.path();
}

void DeleteWorkFolder()
{
    if (WorkFolder.isEmpty() || !QDir(WorkFolder).exists())
        return;
    // Read-only files and folders must go too.
    QDirIterator it(WorkFolder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile::setPermissions(path, QFile::permissions(path) | QFile::WriteOwner | QFile::ReadOwner | QFile::ExeOwner);
    }
    QDir(WorkFolder).removeRecursively();
}

namespace {

// Opens the shared connection on cnx with the splash showing; the caller handles failures.
void OpenShared(const QString& cnx, std::unique_ptr<frmOpenDB>& splash)
{
    splash = std::make_unique<frmOpenDB>();
    splash->show();
    QCoreApplication::processEvents();
    CnxString = cnx;
    {
        ui::BusyCursor busy;
        Cnx->Open(CnxString, QString(), QString(), -1);
    }
    IsJet4 = IsJet4Database();
    IsHfsql = IsHfsqlProvider();
    Catalog->SetActiveConnection(Cnx.get());
    splash.reset();
}

void NewConnection()
{
    CloseDatabase();
    Cnx = std::make_unique<ado::Connection>();
    Cnx->SetCommandTimeout(900);
    Catalog = std::make_unique<ado::Catalog>();
}

void ReportOpenFailure(std::exception_ptr failure, const QString& opening)
{
    long number = 0;
    QString description;
    ui::FailureReport::Describe(failure, number, description);
    ui::BusyCursor::RestoreAll();
    QMessageBox box(QMessageBox::Warning, AppTitle,
                    QStringLiteral("Je n'arrive pas à ouvrir DB '") + opening + QStringLiteral("'\n")
                        + QString::number(number) + u' ' + description,
                    QMessageBox::Ok);
    box.exec();
}

// The database of the command line; false (after the open-failure message) when it
// cannot be opened or the user cancels its login.
bool OpenPendingSource()
{
    const QString source = std::exchange(PendingSource, QString());
    std::unique_ptr<frmOpenDB> splash;
    QString opening = source;
    try {
        NewConnection();
        QString cnx = CommandLine::ConnectionStringFor(source, PendingTextFileType);
        opening = cnx;
        if (cnx.contains(MConnections::LoginMarker)) {
            cnx = MConnections::ApplyLogin(cnx);
            if (cnx.isEmpty())
                return false;
        }
        OpenShared(cnx, splash);
        return true;
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        splash.reset();
        CloseDatabase();
        ReportOpenFailure(failure, opening);
        return false;
    }
}

} // namespace

bool OpenDatabase()
{
    if (!PendingSource.isEmpty() && OpenPendingSource())
        return true;
    std::unique_ptr<frmOpenDB> splash;
    std::unique_ptr<frmChoixDb> chooser;
    QString opening;
    try {
        bool result = false;
        NewConnection();
        chooser = std::make_unique<frmChoixDb>();
        chooser->exec();
        if (chooser->OK()) {
            opening = chooser->ConnectString();
            OpenShared(opening, splash);
            result = true;
        }
        chooser->Unload();
        chooser.reset();
        return result;
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        splash.reset();
        if (chooser) {
            chooser->Unload();
            chooser.reset();
        }
        CloseDatabase();
        ReportOpenFailure(failure, opening);
        return false;
    }
}

void CloseDatabase()
{
    Catalog.reset();
    Cnx.reset();
    CnxString.clear();
}

bool IsJet4Database()
{
    if (!Cnx || Cnx->Provider().toLower() != u"microsoft.jet.oledb.4.0")
        return false;
    return Cnx->Properties(QStringLiteral("Jet OLEDB:Engine Type")).toInt() == 5;
}

bool IsHfsqlProvider()
{
    return Cnx && Cnx->Provider().toLower() == u"pcsoft.hfsql";
}

void RefreshDataWindows()
{
    for (QWidget* form : ui::FormsRegistry::Forms()) {
        if (ui::FormsRegistry::Tag(form) == u"DataWin")
            QMetaObject::invokeMethod(form, "RefreshData", Qt::DirectConnection);
    }
}

} // namespace MDabrix
