#include "managers/frmLstScripts.h"

#include "ado/AdoError.h"
#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "app/FormPlacement.h"
#include "app/MDabrix.h"
#include "ui/BusyCursor.h"
#include "ui/DataGrid.h"
#include "ui/FailureReport.h"
#include "ui/FieldBinding.h"
#include "ui/FormsRegistry.h"
#include "ui/LimitedTextEdit.h"
#include "ui/RecordsetModel.h"
#include "ui/Twips.h"
#include "windows/adoLib.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QStatusBar>

using ui::Twips::FromPixels;
using ui::Twips::Rect;
using ui::Twips::ToPixels;

namespace {
const QString PlacementSection = QStringLiteral("Forms\\frmLstScripts");
const QString Selecting = QStringLiteral("Sélection en cours...");
const QString TextField = QStringLiteral("text");
constexpr double StatusBarHeight = 315;
constexpr double Margin = 50;
} // namespace

frmLstScripts::frmLstScripts(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmLstScripts"));
    setWindowTitle(QStringLiteral("Scripts"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(ToPixels(9315), ToPixels(7200));

    Grd = new DataGrid(this);
    Grd->setObjectName(QStringLiteral("Grd"));
    Grd->setGeometry(Rect(0, 0, 9225, 2700));
    TxtScript = new LimitedTextEdit(this);
    TxtScript->setObjectName(QStringLiteral("TxtScript"));
    TxtScript->setGeometry(Rect(0, 2745, 9195, 4020));
    TxtScript->SetMaxLength(ScriptMaxLength);
    TxtScript->setLineWrapMode(QPlainTextEdit::NoWrap);
    TxtScript->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TxtScript->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    TxtScript->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    sb = new QStatusBar(this);
    sb->setObjectName(QStringLiteral("sb"));
    sb->setSizeGripEnabled(false);
    sb->setFixedHeight(ToPixels(StatusBarHeight));
    sb->setGeometry(Rect(0, 6885, 9315, StatusBarHeight));
    sbPanel1 = new QLabel(sb);
    sbPanel1->setObjectName(QStringLiteral("sbPanel1"));
    sb->addWidget(sbPanel1, 1);

    m_script = new FieldBinding(this);
    m_script->FollowGrid(Grd);
    connect(m_script, &FieldBinding::valueChanged, this, &frmLstScripts::ShowScript);
    connect(TxtScript, &QPlainTextEdit::textChanged, this, &frmLstScripts::TxtScript_Change);
    connect(Grd, &DataGrid::headerClicked, this, &frmLstScripts::Grd_HeadClick);
    connect(Grd, &DataGrid::reportsFinished, this, &frmLstScripts::CloseIfDeferred);

    // Key preview: the window sees its controls' keys before they do.
    qApp->installEventFilter(this);
    ui::FormsRegistry::Register(this);
    Layout();
}

frmLstScripts::~frmLstScripts()
{
    ui::FormsRegistry::Unregister(this);
    m_script->Bind(nullptr, TextField);
    Grd->SetDataSource(nullptr);
}

void frmLstScripts::Init(const QString& TblName)
{
    LoadData(TblName);
    m_script->Bind(m_Rs.get(), TextField);
    ShowCurrentRecord();
}

void frmLstScripts::LoadData(const QString& tableName)
{
    m_Rs = adoLib::NewRecordset(ado::Recordset::adUseClient);
    SetStatus(Selecting);
    connect(m_Rs.get(), &ado::Recordset::FetchComplete, this,
            [this](const QString&, int, ado::Recordset* pRecordset) { m_Rs_FetchComplete(pRecordset); });
    m_Rs->Open(tableName, MDabrix::Cnx.get(), ado::Recordset::adOpenStatic, ado::Recordset::adLockOptimistic,
               ado::Recordset::adAsyncFetch);
    Grd->SetDataSource(m_Rs.get());
    FormatColumns();
}

void frmLstScripts::RefreshData()
{
    if (!m_Rs)
        throw ado::AdoError(ado::err::ObjectClosed, QStringLiteral("Operation is not allowed when the object is closed."));
    Grd->CommitEdits();
    // Re-reading the rows would drop the script being edited: it is saved first.
    if (m_Rs->IsOpen() && m_Rs->EditMode() != ado::Recordset::adEditNone)
        m_Rs->Update();
    m_Rs->Requery();
    FormatColumns();
    ShowCurrentRecord();
}

void frmLstScripts::FormatColumns()
{
    const int columns = Grd->model()->columnCount();
    for (int i = 0; i < columns; ++i)
        Grd->SetAllowSizing(i, true);
}

void frmLstScripts::ShowCurrentRecord()
{
    // The grid marks the record the bound control shows, which a load or a sort puts first.
    Grd->MarkSourceRecord();
}

QString frmLstScripts::StatusText() const
{
    return sbPanel1->text();
}

void frmLstScripts::SetStatus(const QString& text)
{
    sbPanel1->setText(text);
}

void frmLstScripts::ShowScript(const QVariant& value, bool hasRecord)
{
    QString text = hasRecord && value.isValid() && !value.isNull() ? value.toString() : QString();
    m_crlf = text.contains(QStringLiteral("\r\n"));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    TxtScript->setReadOnly(!hasRecord);
    // The text box already holds what it wrote; setting it again would move the caret.
    if (TxtScript->toPlainText() == text)
        return;
    const QScopedValueRollback<bool> showing(m_showing, true);
    TxtScript->setPlainText(text);
}

void frmLstScripts::TxtScript_Change()
{
    if (m_showing)
        return;
    m_saveRefused = false;
    try {
        QString text = TxtScript->toPlainText();
        if (m_crlf)
            text.replace(u'\n', QStringLiteral("\r\n"));
        m_script->Write(text);
    } catch (...) {
        ReportOperatorFailure(std::current_exception());
        m_script->Refresh();
    }
}

bool frmLstScripts::SaveEdit()
{
    if (!m_Rs || !m_Rs->IsOpen() || m_Rs->EditMode() == ado::Recordset::adEditNone)
        return true;
    try {
        m_Rs->Update();
        return true;
    } catch (...) {
        ReportOperatorFailure(std::current_exception());
        return false;
    }
}

void frmLstScripts::m_Rs_FetchComplete(ado::Recordset* pRecordset)
{
    if (!m_Rs || pRecordset != m_Rs.get())
        return;
    try {
        SetStatus(QString::number(m_Rs->RecordCount()) + QStringLiteral(" objet(s)"));
        ShowCurrentRecord();
    } catch (...) {
        ReportOperatorFailure(std::current_exception());
    }
}

bool frmLstScripts::Form_KeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))
        return false;
    if (key == Qt::Key_F5) {
        try {
            ui::BusyCursor busy;
            RefreshData();
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

void frmLstScripts::Grd_HeadClick(int column)
{
    try {
        ui::BusyCursor busy;
        if (!m_Rs)
            throw ado::AdoError(ado::err::ObjectClosed, QStringLiteral("Operation is not allowed when the object is closed."));
        Grd->CommitEdits();
        if (column != m_sortColumn) {
            m_sortColumn = qint16(column);
            m_ascending = true;
        } else {
            m_ascending = !m_ascending;
        }
        m_Rs->SetSort(Grd->DataField(column) + (m_ascending ? QStringLiteral(" ASC") : QStringLiteral(" DESC")));
        FormatColumns();
        ShowCurrentRecord();
    } catch (...) {
        ReportOperatorFailure(std::current_exception());
    }
}

void frmLstScripts::Layout()
{
    const double W = FromPixels(width());
    const double H = FromPixels(height());
    sb->setGeometry(0, height() - sb->height(), width(), sb->height());
    // Each step on its own: a size that comes out negative leaves that control as it was.
    const double txtWidth = W - Margin;
    if (txtWidth >= 0)
        TxtScript->resize(ToPixels(txtWidth), TxtScript->height());
    const double txtHeight = H - FromPixels(Grd->height()) - FromPixels(sb->height()) - Margin;
    if (txtHeight >= 0)
        TxtScript->resize(TxtScript->width(), ToPixels(txtHeight));
    const double grdWidth = W - Margin;
    if (grdWidth >= 0)
        Grd->resize(ToPixels(grdWidth), Grd->height());
}

void frmLstScripts::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Layout();
}

void frmLstScripts::ReportOperatorFailure(std::exception_ptr failure)
{
    RunModal([this, failure] { ui::FailureReport::Show(this, windowTitle(), ui::Sentence::OperatorAction, failure); });
}

void frmLstScripts::RunModal(const std::function<void()>& show)
{
    ++m_modals;
    const auto done = qScopeGuard([this] {
        --m_modals;
        CloseIfDeferred();
    });
    show();
}

void frmLstScripts::CloseIfDeferred()
{
    if (!m_closeDeferred || m_modals > 0 || Grd->IsReporting())
        return;
    m_closeDeferred = false;
    QMetaObject::invokeMethod(this, &frmLstScripts::CloseWindow, Qt::QueuedConnection);
}

bool frmLstScripts::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && (widget == this || isAncestorOf(widget))) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (Form_KeyDown(key->key(), key->modifiers()))
                return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmLstScripts::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_placed)
        return;
    m_placed = true;
    try {
        if (MDabrix::AppSettings)
            FormPlacement::Instance().RestorePlacement(*MDabrix::AppSettings, *this, PlacementSection);
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        RunModal([this, failure] { ui::FailureReport::Show(this, windowTitle(), ui::Sentence::WindowLoading, failure); });
    }
}

void frmLstScripts::CloseWindow()
{
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->close();
    else
        close();
}

void frmLstScripts::closeEvent(QCloseEvent* event)
{
    if (m_modals > 0 || Grd->IsReporting()) {
        m_closeDeferred = true;
        event->ignore();
        return;
    }
    if (!Grd->CommitEdits()) {
        event->ignore();
        return;
    }
    // The script being edited is saved on the way out. Should the database refuse it, the
    // window stays open with the text; closing it again then lets the edit go.
    if (m_Rs && m_Rs->IsOpen() && m_Rs->EditMode() != ado::Recordset::adEditNone) {
        if (m_saveRefused) {
            m_Rs->CancelUpdate();
        } else if (!SaveEdit()) {
            m_saveRefused = true;
            event->ignore();
            return;
        }
    }
    if (!m_unloaded) {
        m_unloaded = true;
        try {
            if (MDabrix::AppSettings && m_placed)
                FormPlacement::Instance().SavePlacement(*MDabrix::AppSettings, *this, PlacementSection);
        } catch (...) {
        }
        ui::FormsRegistry::Unregister(this);
    }
    event->accept();
}
