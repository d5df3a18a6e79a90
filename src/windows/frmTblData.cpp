#include "windows/frmTblData.h"

#include "ado/AdoError.h"
#include "ado/Connection.h"
#include "ado/Field.h"
#include "ado/Recordset.h"
#include "ado/SqlToken.h"
#include "app/FormPlacement.h"
#include "app/MDabrix.h"
#include "connections/MConnections.h"
#include "ui/AppIcons.h"
#include "ui/BusyCursor.h"
#include "ui/DataGrid.h"
#include "ui/FailureReport.h"
#include "ui/FormsRegistry.h"
#include "ui/Twips.h"
#include "windows/CsvExportJob.h"
#include "windows/CsvExporter.h"
#include "windows/adoLib.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QScopeGuard>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

using ui::Twips::FromPixels;
using ui::Twips::ToPixels;

namespace {
const QString PlacementSection = QStringLiteral("Forms\\frmTblData");
const QString SplitterKey = QStringLiteral("frmTblData/SplitterTop");
const QString Selecting = QStringLiteral("Sélection en cours...");
constexpr double SplitterFloor = 300;
constexpr double ToolbarHeight = 420;
constexpr double TxtDesignTop = 420;
constexpr double TxtDesignHeight = 1200;
constexpr double SplitterHeight = 75;
constexpr int ProgressIntervalMs = 100;

QSettings PlatformSettings()
{
    return QSettings(frmTblData::PlatformSettingsOrganization(), MDabrix::AppTitle);
}
} // namespace

frmTblData::frmTblData(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmTblData"));
    setWindowTitle(QStringLiteral("Table"));
    setProperty("Tag", QStringLiteral("DataWin"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(ToPixels(9600), ToPixels(6000));

    Txt = new QPlainTextEdit(this);
    Txt->setObjectName(QStringLiteral("Txt"));
    Txt->setGeometry(ui::Twips::Rect(0, TxtDesignTop, FromPixels(width()), TxtDesignHeight));

    picSplitter = new QWidget(this);
    picSplitter->setObjectName(QStringLiteral("picSplitter"));
    picSplitter->setCursor(Qt::SplitVCursor);
    picSplitter->setGeometry(ui::Twips::Rect(0, SplitterFloor, FromPixels(width()), SplitterHeight));
    picSplitter->installEventFilter(this);

    // Created after Txt so that it covers the query box while the splitter is high.
    Grd = new DataGrid(this);
    Grd->setObjectName(QStringLiteral("Grd"));

    sb = new QStatusBar(this);
    sb->setObjectName(QStringLiteral("sb"));
    sb->setSizeGripEnabled(false);
    sbPanel1 = new QLabel(sb);
    sbPanel1->setObjectName(QStringLiteral("sbPanel1"));
    sb->addWidget(sbPanel1, 1);
    // Shown while an export writes the rows.
    pgbExport = new QProgressBar(sb);
    pgbExport->setObjectName(QStringLiteral("pgbExport"));
    pgbExport->setMaximumWidth(ToPixels(2400));
    pgbExport->hide();
    sb->addPermanentWidget(pgbExport);
    cmdCancelExport = new QToolButton(sb);
    cmdCancelExport->setObjectName(QStringLiteral("cmdCancelExport"));
    cmdCancelExport->setText(QStringLiteral("Annuler"));
    cmdCancelExport->setToolTip(QStringLiteral("Annuler l'export"));
    cmdCancelExport->hide();
    sb->addPermanentWidget(cmdCancelExport);

    Tb = new QToolBar(this);
    Tb->setObjectName(QStringLiteral("Tb"));
    m_executeAction = Tb->addAction(ui::AppIcons::Get(ui::AppIcons::Id::Requery), QStringLiteral("Exécuter"));
    m_executeAction->setObjectName(QStringLiteral("Execute"));
    m_exportAction = Tb->addAction(ui::AppIcons::Get(ui::AppIcons::Id::Export), QStringLiteral("Exporter"));
    m_exportAction->setObjectName(QStringLiteral("Export"));
    m_exportAction->setToolTip(QStringLiteral("Exporter le resultat"));
    connect(Tb, &QToolBar::actionTriggered, this, [this](QAction* a) { OnToolbarButton(a->objectName()); });
    Tb->raise();
    // The splitter's floor (300 twips) lies within the toolbar's height (420): kept above
    // it, the splitter can still be caught and dragged down to show the query text.
    picSplitter->raise();

    connect(Grd, &DataGrid::headerClicked, this, &frmTblData::OnHeaderClick);
    connect(Grd, &DataGrid::reportsFinished, this, &frmTblData::CloseIfDeferred);

    // Key preview: the window sees its controls' keys before they do.
    qApp->installEventFilter(this);

    bool ok = false;
    const double top = PlatformSettings().value(SplitterKey, QStringLiteral("300")).toString().toDouble(&ok);
    m_splitterTop = ok ? top : SplitterFloor;

    ui::FormsRegistry::Register(this);
    Layout();
}

frmTblData::~frmTblData()
{
    // Deleted from under its export's wait, the window lets the export end at once.
    if (m_export)
        m_export->Cancel();
    ui::FormsRegistry::Unregister(this);
    Grd->SetDataSource(nullptr);
}

QString frmTblData::QueryText(const QString& tableName, qint32 maxCount)
{
    const QString top = maxCount > 0 ? QStringLiteral("TOP ") + QString::number(maxCount) + u' ' : QString();
    return QStringLiteral("SELECT ") + top + QStringLiteral("*\r\nFROM ") + ado::SqlToken::bracket(tableName);
}

void frmTblData::Init(const QString& TblName, qint32 MaxCount, bool Assync)
{
    m_async = Assync;
    Txt->setPlainText(QueryText(TblName, MaxCount));
    LoadData();
}

void frmTblData::RefreshData()
{
    // The rows an export is writing stay as they are; they are read again once it ends.
    if (m_export) {
        m_refreshDeferred = true;
        return;
    }
    LoadData();
}

QString frmTblData::StatusText() const
{
    return sbPanel1->text();
}

void frmTblData::SetStatus(const QString& text)
{
    sbPanel1->setText(text);
}

void frmTblData::ShowRowCount()
{
    SetStatus(QString::number(m_Rs->RecordCount()) + QStringLiteral(" objet(s)"));
}

void frmTblData::LoadData()
{
    // A row being typed is written first, so that the new rows show it; one the database
    // refuses stays pending in the reloaded grid.
    Grd->CommitEdits();
    SetStatus(Selecting);
    std::unique_ptr<ado::Recordset> rs;
    int cursorType = ado::Recordset::adOpenStatic;
    long options = -1;
    bool countNow = true;
    if (MDabrix::IsJet4) {
        rs = adoLib::NewRecordset(ado::Recordset::adUseServer);
        cursorType = ado::Recordset::adOpenKeyset;
    } else if (MDabrix::IsHfsql) {
        rs = std::make_unique<ado::Recordset>();
        rs->SetCursorLocation(ado::Recordset::adUseClient);
    } else if (m_async) {
        rs = adoLib::NewRecordset(ado::Recordset::adUseClient);
        options = ado::Recordset::adAsyncFetch;
        countNow = false;
    } else {
        rs = adoLib::NewRecordset(ado::Recordset::adUseClient);
    }

    // The grid keeps showing the previous rows until the new recordset is open.
    std::unique_ptr<ado::Recordset> previous = std::move(m_Rs);
    if (previous && previous.get() == Grd->DataSource()) {
        disconnect(previous.get(), nullptr, this, nullptr);
        m_shownRs = std::move(previous);
    }
    previous.reset();
    m_Rs = std::move(rs);
    connect(m_Rs.get(), &ado::Recordset::FetchComplete, this,
            [this](const QString&, int, ado::Recordset* pRecordset) { OnFetchComplete(pRecordset); });
    m_Rs->Open(Txt->toPlainText(), MDabrix::Cnx.get(), cursorType, ado::Recordset::adLockOptimistic, options);

    if (countNow)
        ShowRowCount();
    Grd->SetDataSource(m_Rs.get());
    m_shownRs.reset();
    FormatColumns();
}

void frmTblData::OnFetchComplete(ado::Recordset* pRecordset)
{
    // A fetch of a recordset this window has since replaced is none of its business.
    if (!m_Rs || pRecordset != m_Rs.get())
        return;
    try {
        ShowRowCount();
    } catch (...) {
        ReportOperatorFailure(std::current_exception());
    }
}

void frmTblData::FormatColumns()
{
    const int columns = Grd->model()->columnCount();
    for (int i = 0; i < columns; ++i) {
        Grd->SetAllowSizing(i, true);
        const ado::Field field = m_Rs->Fields(Grd->DataField(i));
        if (MConnections::GetFieldTypeCategory(field.Type()) != 0)
            Grd->SetConvertEmptyCell(i, 1);
    }
}

bool frmTblData::ExportCsv()
{
    if (!m_Rs)
        throw ado::AdoError(ado::err::ObjectClosed, QStringLiteral("Operation is not allowed when the object is closed."));
    if (m_export)
        return false;
    // A row being typed is written first: the rows must not change under the export.
    if (!Grd->CommitEdits())
        return false;
    bool strip = true;
    bool closing = false;
    RunModal([&] {
        strip = CsvExporter::AskStripCrLf(this);
        closing = m_closeDeferred;
    });
    // Closed while the question was up: nothing to write.
    if (closing)
        return false;

    std::unique_ptr<CsvExportJob> job;
    {
        ui::BusyCursor busy;
        job = std::make_unique<CsvExportJob>(*m_Rs, CsvExporter::DefaultPath(), strip);
    }
    // Counted as a modal run: a close asked for meanwhile cancels, then waits for the end.
    ++m_modals;
    m_export = job.get();
    HoldOffChanges(true);
    const QPointer<frmTblData> self(this);
    const auto done = qScopeGuard([this, self] {
        if (!self)
            return;
        m_export = nullptr;
        HoldOffChanges(false);
        --m_modals;
        if (m_refreshDeferred) {
            m_refreshDeferred = false;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    try {
                        LoadData();
                    } catch (...) {
                        ReportOperatorFailure(std::current_exception());
                    }
                },
                Qt::QueuedConnection);
        }
        CloseIfDeferred();
    });

    pgbExport->setRange(0, qMax(1, job->RowCount()));
    pgbExport->setValue(0);
    QTimer progress;
    progress.setInterval(ProgressIntervalMs);
    connect(&progress, &QTimer::timeout, pgbExport, [this, &job] { pgbExport->setValue(job->RowsWritten()); });
    const QMetaObject::Connection cancel =
        connect(cmdCancelExport, &QToolButton::clicked, job.get(), [&job] { job->Cancel(); });
    const auto disconnectCancel = qScopeGuard([cancel] { QObject::disconnect(cancel); });

    QEventLoop loop;
    connect(job.get(), &CsvExportJob::finished, &loop, &QEventLoop::quit);
    job->Start();
    progress.start();
    // The window goes on painting, scrolling and answering while the worker writes.
    loop.exec();
    // Deleted meanwhile, the window has cancelled the export; the job removes the file.
    if (!self)
        return false;
    // The loop also ends when the application quits.
    if (!job->IsCancelled() && job->RowsWritten() < job->RowCount())
        job->Cancel();
    return job->Finish();
}

void frmTblData::HoldOffChanges(bool hold)
{
    if (hold) {
        m_gridAllowedUpdate = Grd->AllowUpdate();
        m_gridAllowedAddNew = Grd->AllowAddNew();
        m_gridAllowedDelete = Grd->AllowDelete();
    }
    Grd->SetAllowUpdate(!hold && m_gridAllowedUpdate);
    Grd->SetAllowAddNew(!hold && m_gridAllowedAddNew);
    Grd->SetAllowDelete(!hold && m_gridAllowedDelete);
    m_executeAction->setEnabled(!hold);
    m_exportAction->setEnabled(!hold);
    pgbExport->setVisible(hold);
    cmdCancelExport->setVisible(hold);
    Layout();
}

void frmTblData::ReportOperatorFailure(std::exception_ptr failure)
{
    Report(ui::Sentence::OperatorAction, failure);
}

void frmTblData::Report(const QString& sentence, std::exception_ptr failure)
{
    RunModal([&] { ui::FailureReport::Show(this, windowTitle(), sentence, failure); });
}

void frmTblData::RunModal(const std::function<void()>& show)
{
    ++m_modals;
    const auto done = qScopeGuard([this] {
        --m_modals;
        CloseIfDeferred();
    });
    show();
}

void frmTblData::CloseIfDeferred()
{
    if (!m_closeDeferred || m_modals > 0 || Grd->IsReporting())
        return;
    m_closeDeferred = false;
    // Not from inside the box's own return path: the window may go at once.
    QMetaObject::invokeMethod(this, &frmTblData::CloseWindow, Qt::QueuedConnection);
}

void frmTblData::OnToolbarButton(const QString& key)
{
    try {
        if (key == u"Execute") {
            ui::BusyCursor busy;
            LoadData();
        } else if (key == u"Export") {
            if (!ExportCsv())
                return;
            QMessageBox box(QMessageBox::NoIcon, MDabrix::AppTitle, QStringLiteral("Export terminé avec succès"),
                            QMessageBox::Ok, this);
            RunModal([&box] { box.exec(); });
        }
    } catch (...) {
        ReportOperatorFailure(std::current_exception());
    }
}

void frmTblData::OnHeaderClick(int column)
{
    // The rows keep their order while an export writes them.
    if (m_export)
        return;
    try {
        ui::BusyCursor busy;
        if (!m_Rs)
            throw ado::AdoError(ado::err::ObjectClosed, QStringLiteral("Operation is not allowed when the object is closed."));
        // A row being typed is written before the rows are reordered under it.
        Grd->CommitEdits();
        const int firstRow = Grd->FirstRow();
        const int leftCol = Grd->LeftCol();
        const int position = m_Rs->AbsolutePosition();
        if (column != m_sortColumn) {
            m_sortColumn = qint16(column);
            m_ascending = true;
        } else {
            m_ascending = !m_ascending;
        }
        m_Rs->SetSort(Grd->DataField(column) + (m_ascending ? QStringLiteral(" ASC") : QStringLiteral(" DESC")));
        FormatColumns();
        if (position >= 0) {
            m_Rs->SetAbsolutePosition(position);
            Grd->SetCurrentRecord(position);
        }
        Grd->SetFirstRow(firstRow);
        Grd->SetLeftCol(leftCol);
    } catch (...) {
        ReportOperatorFailure(std::current_exception());
    }
}

bool frmTblData::KeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))
        return false;
    if (key == Qt::Key_F5) {
        if (m_export)
            return true;
        try {
            ui::BusyCursor busy;
            LoadData();
        } catch (...) {
            ReportOperatorFailure(std::current_exception());
        }
        return true;
    }
    if (key == Qt::Key_Escape) {
        const DataGrid::EscapeOutcome outcome = Grd->Escape();
        if (outcome == DataGrid::EscapeOutcome::CloseWindow)
            CloseWindow();
        return outcome != DataGrid::EscapeOutcome::LeftToEditor;
    }
    return false;
}

void frmTblData::OnSplitterMouseMove(int y, Qt::MouseButtons buttons)
{
    if (buttons != Qt::LeftButton)
        return;
    try {
        double position = FromPixels(picSplitter->y()) + FromPixels(y);
        if (position < SplitterFloor)
            position = SplitterFloor;
        m_splitterTop = position;
        Layout();
    } catch (...) {
        Report(ui::Sentence::OperatorAction, std::current_exception());
    }
}

bool frmTblData::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && (widget == this || isAncestorOf(widget))) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (KeyDown(key->key(), key->modifiers()))
                return true;
        }
    } else if (watched == picSplitter && event->type() == QEvent::MouseMove) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        OnSplitterMouseMove(int(mouse->position().y()), mouse->buttons());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmTblData::Layout()
{
    const double W = FromPixels(width());
    const double H = FromPixels(height());
    const double P = m_splitterTop;
    const double sbHeight = FromPixels(sb->sizeHint().height());

    Tb->setGeometry(0, 0, width(), ToPixels(ToolbarHeight));
    sb->setGeometry(0, height() - sb->sizeHint().height(), width(), sb->sizeHint().height());

    // Each step on its own: a control whose size comes out negative stays where it was.
    const double txtTop = FromPixels(Txt->y());
    const double txtHeight = P - txtTop;
    if (W >= 0 && txtHeight >= 0)
        Txt->setGeometry(ui::Twips::Rect(0, txtTop, W, txtHeight));
    const double splitterHeight = FromPixels(picSplitter->height());
    if (W >= 0)
        picSplitter->setGeometry(ui::Twips::Rect(0, P, W, splitterHeight));
    const double grdHeight = H - (splitterHeight + P) - sbHeight;
    if (W >= 0 && grdHeight >= 0)
        Grd->setGeometry(ui::Twips::Rect(0, P + splitterHeight, W, grdHeight));
}

void frmTblData::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Layout();
}

void frmTblData::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_placed)
        return;
    m_placed = true;
    try {
        if (MDabrix::AppSettings)
            FormPlacement::Instance().RestorePlacement(*MDabrix::AppSettings, *this, PlacementSection);
    } catch (...) {
        Report(ui::Sentence::WindowLoading, std::current_exception());
    }
}

void frmTblData::CloseWindow()
{
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->close();
    else
        close();
}

void frmTblData::Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    try {
        QSettings settings = PlatformSettings();
        settings.setValue(SplitterKey, QString::number(m_splitterTop));
        settings.sync();
        if (MDabrix::AppSettings && m_placed)
            FormPlacement::Instance().SavePlacement(*MDabrix::AppSettings, *this, PlacementSection);
    } catch (...) {
        ReportOperatorFailure(std::current_exception());
    }
    ui::FormsRegistry::Unregister(this);
}

void frmTblData::closeEvent(QCloseEvent* event)
{
    // Deleted under a modal box it opened, the window would take the box with it while
    // the box still runs.
    if (m_modals > 0 || Grd->IsReporting()) {
        m_closeDeferred = true;
        // Closing during an export cancels it; the window closes once the worker has stopped.
        if (m_export)
            m_export->Cancel();
        event->ignore();
        return;
    }
    // A row the database refuses keeps the window open, with the row, for the user to
    // mend it or abandon it with Escape.
    if (!Grd->CommitEdits()) {
        event->ignore();
        return;
    }
    Unload();
    event->accept();
}
