#include "import/frmAppendFrom.h"

#include "ado/AdoError.h"
#include "ado/Catalog.h"
#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "app/MDabrix.h"
#include "app/SettingsStore.h"
#include "connections/ConnectionManager.h"
#include "connections/FileOpenDialog.h"
#include "connections/MConnections.h"
#include "ui/CaptionFit.h"
#include "ui/BusyCursor.h"
#include "ui/DataGrid.h"
#include "ui/FailureReport.h"
#include "ui/FormsRegistry.h"
#include "ui/Twips.h"
#include "import/diaSourceTable.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>

using ui::Twips::Rect;

namespace {

const QString General = QStringLiteral("General");
const QString ImportDirectoryKey = QStringLiteral("ImportDirectory");
const QString ImportFileTypeKey = QStringLiteral("ImportFileType");
const QString CaptionPrefix = QStringLiteral("Importer des lignes dans la table - ");
constexpr qint16 DefaultFileType = 1;

// Thrown from the progress report when the window is closed during an import: the
// import stops after the row it was storing.
struct ImportStopped {};

SettingsStore& AppSettings()
{
    if (!MDabrix::AppSettings)
        throw ado::AdoError(ado::err::ObjectClosed, QStringLiteral("The settings store is not open"));
    return *MDabrix::AppSettings;
}

// One import at a time in the whole program: two would share the one connection's
// transaction, and the failure of one would undo the other's rows.
bool g_importRunning = false;

} // namespace

frmAppendFrom::frmAppendFrom(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmAppendFrom"));
    setWindowTitle(QStringLiteral("Importer des lignes"));
    BuildControls();
    resize(ui::Twips::ToPixels(8160), ui::Twips::ToPixels(5205));
    Form_Load();
}

frmAppendFrom::~frmAppendFrom()
{
    Form_Unload();
}

void frmAppendFrom::BuildControls()
{
    lblPrompt = new QLabel(QStringLiteral("Fichier à importer"), this);
    lblPrompt->setObjectName(QStringLiteral("lblPrompt"));
    lblPrompt->setGeometry(Rect(240, 300, 1200, 195));
    // Our fonts are wider than the design's: the caption runs on to the right, above the box.
    ui::CaptionFit::Grow(*lblPrompt);

    txtImportFilePath = new QLineEdit(this);
    txtImportFilePath->setObjectName(QStringLiteral("txtImportFilePath"));
    txtImportFilePath->setGeometry(Rect(240, 540, 6195, 300));

    cmdBrowse = new QPushButton(QStringLiteral("..."), this);
    cmdBrowse->setObjectName(QStringLiteral("cmdBrowse"));
    cmdBrowse->setGeometry(Rect(6480, 540, 300, 300));

    Grd = new DataGrid(this);
    Grd->setObjectName(QStringLiteral("Grd"));
    Grd->setGeometry(Rect(240, 1020, 6555, 2835));
    Grd->SetAllowUpdate(false);
    Grd->SetAllowAddNew(false);
    Grd->SetAllowDelete(false);

    cmdImport = new QPushButton(QStringLiteral("Importer"), this);
    cmdImport->setObjectName(QStringLiteral("cmdImport"));
    cmdImport->setGeometry(Rect(240, 4020, 1095, 375));
    cmdImport->setDefault(true);

    lblProgress = new QLabel(this);
    lblProgress->setObjectName(QStringLiteral("lblProgress"));
    lblProgress->setGeometry(Rect(1455, 4080, 5340, 255));

    cmdClose = new QPushButton(QStringLiteral("Fermer"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setGeometry(Rect(6900, 4680, 1095, 375));

    cdb = new FileOpenDialog(this);
    cdb->setObjectName(QStringLiteral("cdb"));

    connect(cmdBrowse, &QPushButton::clicked, this, &frmAppendFrom::cmdBrowse_Click);
    connect(cmdImport, &QPushButton::clicked, this, &frmAppendFrom::cmdImport_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmAppendFrom::cmdClose_Click);
}

void frmAppendFrom::Init(const QString& cTableName)
{
    m_targetTable = cTableName;
    setWindowTitle(CaptionPrefix + cTableName);
}

void frmAppendFrom::Form_Load()
{
    ui::FormsRegistry::Register(this);
    ui::FailureReport::Guard(this, windowTitle(), ui::Sentence::DialogueLoading, [this] {
        const SettingsStore& settings = AppSettings();
        m_importDirectory = settings.ReadValue(General, ImportDirectoryKey, QString()).toString();
        bool ok = false;
        const int type = settings.ReadValue(General, ImportFileTypeKey, DefaultFileType).toInt(&ok);
        // A damaged value falls back to the first type rather than failing every browse.
        m_importFileType = ok && type >= 1 && type <= ConnectionManager::FileTypeCount ? qint16(type) : DefaultFileType;
    });
}

void frmAppendFrom::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    ui::FormsRegistry::Unregister(this);
    Grd->SetDataSource(nullptr);
    m_preview = ImportRows::Source();
    ui::FailureReport::Guard(this, windowTitle(), ui::Sentence::DialogueLoading, [this] {
        SettingsStore& settings = AppSettings();
        settings.WriteValue(General, ImportDirectoryKey, m_importDirectory, SettingsStore::KindText);
        settings.WriteValue(General, ImportFileTypeKey, qint32(m_importFileType), SettingsStore::KindNumber);
    });
}

bool frmAppendFrom::HoldsSeveralTables(qint16 fileType, const QString& fileName)
{
    switch (fileType) {
    case 1: case 10: case 11: case 15:
        return true;
    case 3: case 4: case 5: case 6: case 7: case 8:
        return QFileInfo(fileName).suffix().compare(QStringLiteral("add"), Qt::CaseInsensitive) == 0;
    default:
        return false;
    }
}

QString frmAppendFrom::ChooseSourceTable(const QString& connectionString, const QString& fileName)
{
    if (!HoldsSeveralTables(m_importFileType, fileName))
        return fileName;
    QStringList tables;
    {
        ado::Connection cnx;
        cnx.Open(connectionString);
        ado::Catalog catalog;
        catalog.SetActiveConnection(&cnx);
        for (const ado::TableInfo& table : catalog.Tables())
            if (table.Type == u"TABLE")
                tables << table.Name;
    }
    if (tables.isEmpty())
        throw ado::AdoError(ado::err::TableNotFound, QStringLiteral("The file '%1' holds no table.").arg(fileName));
    diaSourceTable dialog(tables, diaSourceTable::Preselect(tables, m_targetTable), this);
    dialog.exec();
    return dialog.OK() ? dialog.TableName() : QString();
}

void frmAppendFrom::cmdBrowse_Click()
{
    if (m_importing)
        return;
    ui::FailureReport::Guard(this, windowTitle(), ui::Sentence::OperatorAction, [this] {
        ConnectionManager manager;
        manager.Directory = m_importDirectory;
        manager.FileType = m_importFileType;
        QString cnx = manager.GetCnxStringFromFile(cdb, false);
        m_importDirectory = manager.Directory;
        m_importFileType = manager.FileType;
        if (cnx.contains(MConnections::LoginMarker, Qt::CaseSensitive))
            cnx = MConnections::ApplyLogin(cnx);
        if (cnx.isEmpty())
            return;
        const QString table = ChooseSourceTable(cnx, manager.TableName());
        if (table.isEmpty())
            return;
        // Opened before anything is replaced: a source that cannot be read leaves the
        // previous one in place.
        ImportRows::Source preview;
        {
            ui::BusyCursor busy;
            preview = ImportRows::GetSourceRecordset(cnx, table);
        }
        m_sourceCnx = cnx;
        m_sourceTable = table;
        txtImportFilePath->setText(QDir::toNativeSeparators(QDir(m_importDirectory).filePath(manager.TableName())));
        Grd->SetDataSource(preview.rows.get());
        m_preview = std::move(preview);
        lblProgress->clear();
    });
}

void frmAppendFrom::ShowProgress(qint64 stored, qint64 read)
{
    lblProgress->setText(QStringLiteral("%1 ligne(s) enregistrée(s) sur %2 lue(s)").arg(stored).arg(read));
    // No threads: the window answers, repaints and can be asked to close between rows.
    QCoreApplication::processEvents();
    if (m_closeRequested)
        throw ImportStopped();
}

void frmAppendFrom::SetImporting(bool importing)
{
    m_importing = importing;
    g_importRunning = importing;
    cmdImport->setEnabled(!importing);
    cmdBrowse->setEnabled(!importing);
}

void frmAppendFrom::cmdImport_Click()
{
    // Enter, a click queued before the button was greyed, or a second window: one import
    // at a time, so that no row is stored twice.
    if (m_busy)
        return;
    m_busy = true;
    QPointer<frmAppendFrom> self(this);
    try {
        if (g_importRunning)
            throw ado::AdoError(ado::err::NotSupported, QStringLiteral("Another import is running; wait until it ends."));
        if (!MDabrix::Cnx)
            throw ado::AdoError(ado::err::ObjectClosed, QStringLiteral("Operation is not allowed when the object is closed."));
        {
            SetImporting(true);
            const auto done = qScopeGuard([this] { SetImporting(false); });
            ui::BusyCursor busy;
            lblProgress->clear();
            const qint64 stored = ImportRows::Run(m_sourceCnx, m_sourceTable, *MDabrix::Cnx, m_targetTable,
                                                  MDabrix::IsJet4, MDabrix::IsHfsql,
                                                  [this](qint64 s, qint64 r) { ShowProgress(s, r); });
            lblProgress->setText(QStringLiteral("%1 ligne(s) importée(s)").arg(stored));
        }
        QMessageBox box(QMessageBox::NoIcon, MDabrix::AppTitle, QStringLiteral("Import terminé avec succès"),
                        QMessageBox::Ok, this);
        box.exec();
        MDabrix::RefreshDataWindows();
    } catch (const ImportStopped&) {
        ui::BusyCursor::RestoreAll();
    } catch (...) {
        ui::FailureReport::Show(this, windowTitle(), ui::Sentence::Operation, std::current_exception());
    }
    if (!self)
        return;
    m_busy = false;
    if (m_closeRequested)
        QMetaObject::invokeMethod(this, &frmAppendFrom::cmdClose_Click, Qt::QueuedConnection);
}

void frmAppendFrom::cmdClose_Click()
{
    if (auto* sub = parentWidget(); sub && sub->inherits("QMdiSubWindow"))
        sub->close();
    else
        close();
}

void frmAppendFrom::closeEvent(QCloseEvent* event)
{
    // Never unloaded under a running import or its message: the import stops after its
    // current row, and the window closes once the rows stored so far are committed.
    if (m_busy) {
        m_closeRequested = true;
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

void frmAppendFrom::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (auto* button = qobject_cast<QPushButton*>(QApplication::focusWidget()); button && isAncestorOf(button))
            button->click();
        else
            cmdImport->click();
        return;
    case Qt::Key_Escape:
        cmdClose->click();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}
