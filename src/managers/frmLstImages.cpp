#include "managers/frmLstImages.h"

#include "ado/AdoError.h"
#include "ado/Connection.h"
#include "ado/Field.h"
#include "ado/Recordset.h"
#include "app/FormPlacement.h"
#include "app/MDabrix.h"
#include "connections/frmFileDialog.h"
#include "managers/PictureChunkWriter.h"
#include "ui/BusyCursor.h"
#include "ui/DataGrid.h"
#include "ui/FailureReport.h"
#include "ui/FieldBinding.h"
#include "ui/FormsRegistry.h"
#include "ui/PictureBox.h"
#include "ui/RecordsetModel.h"
#include "ui/Twips.h"
#include "windows/adoLib.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScopeGuard>
#include <QStatusBar>

using ui::Twips::Rect;
using ui::Twips::ToPixels;

namespace {

const QString PlacementSection = QStringLiteral("Forms\\frmLstImages");
const QString Selecting = QStringLiteral("Sélection en cours...");
const QString CodeField = QStringLiteral("Code");
const QString ImageField = QStringLiteral("Image");
constexpr long InvalidUseOfNull = 94;
constexpr long PathFileAccessError = 75;
constexpr long InvalidPicture = 481;

// The picture in a file, by its content whatever its name; fails for anything else.
QImage LoadPicture(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw ado::AdoError(ado::err::FileNotFound, QStringLiteral("File not found"));
    if (info.isDir() || !info.isReadable())
        throw ado::AdoError(PathFileAccessError, QStringLiteral("Path/File access error"));
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QImage picture = reader.read();
    if (picture.isNull())
        throw ado::AdoError(InvalidPicture, QStringLiteral("Invalid picture"));
    return picture;
}

} // namespace

frmLstImages::frmLstImages(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmLstImages"));
    setWindowTitle(QStringLiteral("Images"));
    setProperty("Tag", QStringLiteral("DataWin"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(ToPixels(6495), ToPixels(6060));

    Grd = new DataGrid(this);
    Grd->setObjectName(QStringLiteral("Grd"));
    Grd->setGeometry(Rect(0, 0, 6480, 4545));
    cmdAddImage = new QPushButton(QStringLiteral("Charge Image"), this);
    cmdAddImage->setObjectName(QStringLiteral("cmdAddImage"));
    cmdAddImage->setGeometry(Rect(90, 4635, 1575, 390));
    Picture1 = new PictureBox(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(Rect(1980, 4635, 1140, 1005));
    sb = new QStatusBar(this);
    sb->setObjectName(QStringLiteral("sb"));
    sb->setSizeGripEnabled(false);
    sb->setGeometry(Rect(0, 5745, 6495, 315));
    sbPanel1 = new QLabel(sb);
    sbPanel1->setObjectName(QStringLiteral("sbPanel1"));
    sb->addWidget(sbPanel1, 1);

    m_picture = new FieldBinding(this);
    m_picture->FollowGrid(Grd);
    connect(m_picture, &FieldBinding::valueChanged, Picture1, [this](const QVariant& value, bool hasRecord) {
        if (hasRecord && value.isValid() && !value.isNull())
            Picture1->SetPictureBytes(value.toByteArray());
        else
            Picture1->Clear();
    });

    connect(cmdAddImage, &QPushButton::clicked, this, &frmLstImages::cmdAddImage_Click);
    connect(Grd, &DataGrid::headerClicked, this, &frmLstImages::Grd_HeadClick);
    connect(Grd, &DataGrid::reportsFinished, this, &frmLstImages::CloseIfDeferred);

    // Key preview: the window sees its controls' keys before they do.
    qApp->installEventFilter(this);
    ui::FormsRegistry::Register(this);
}

frmLstImages::~frmLstImages()
{
    ui::FormsRegistry::Unregister(this);
    m_picture->Bind(nullptr, ImageField);
    Grd->SetDataSource(nullptr);
}

void frmLstImages::Init(const QString& TblName)
{
    LoadData(TblName);
    m_picture->Bind(m_Rs.get(), ImageField);
    ShowCurrentRecord();
}

void frmLstImages::LoadData(const QString& tableName)
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

void frmLstImages::RefreshData()
{
    // The row being written must not be re-read under the writer; the refresh follows it.
    if (m_writing) {
        m_refreshAfterWrite = true;
        return;
    }
    if (!m_Rs)
        throw ado::AdoError(ado::err::ObjectClosed, QStringLiteral("Operation is not allowed when the object is closed."));
    Grd->CommitEdits();
    m_Rs->Requery();
    FormatColumns();
    ShowCurrentRecord();
}

void frmLstImages::FormatColumns()
{
    const int columns = Grd->model()->columnCount();
    for (int i = 0; i < columns; ++i)
        Grd->SetAllowSizing(i, true);
}

void frmLstImages::ShowCurrentRecord()
{
    // The grid marks the record the bound control shows, which a load or a sort puts first.
    Grd->MarkSourceRecord();
}

QString frmLstImages::StatusText() const
{
    return sbPanel1->text();
}

void frmLstImages::SetStatus(const QString& text)
{
    sbPanel1->setText(text);
}

void frmLstImages::m_Rs_FetchComplete(ado::Recordset* pRecordset)
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

bool frmLstImages::Form_KeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))
        return false;
    if (key == Qt::Key_F5) {
        if (m_writing)
            return true;
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

void frmLstImages::Grd_HeadClick(int column)
{
    if (m_writing)
        return;
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

void frmLstImages::cmdAddImage_Click()
{
    if (m_writing)
        return;
    try {
        RunModal([] {
            frmFileDialog dialog;
            dialog.exec();
        });
        const QString path = frmFileDialog::FilePath;
        if (path.isEmpty() || m_closeDeferred)
            return;
        if (!m_Rs)
            throw ado::AdoError(ado::err::ObjectClosed, QStringLiteral("Operation is not allowed when the object is closed."));
        // What is being typed in the grid is written first; on the empty new-row line
        // there is no row, and so no code, to load a picture into.
        if (!Grd->CommitEdits() || Grd->Model()->IsNewRowLine(Grd->currentIndex().row()))
            return;
        const QVariant code = m_Rs->Fields(CodeField).Value();
        if (!code.isValid() || code.isNull())
            throw ado::AdoError(InvalidUseOfNull, QStringLiteral("Invalid use of Null"));
        if (code.toString().trimmed().isEmpty())
            return;
        WritePicture(path);
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        RunModal([this, failure] {
            ui::FailureReport::Show(this, windowTitle(),
                                    ui::Sentence::OperatorAction + QStringLiteral(" (cmdAddImage_Click)"), failure);
        });
    }
    if (m_refreshAfterWrite && !m_closeDeferred) {
        m_refreshAfterWrite = false;
        QMetaObject::invokeMethod(this, [this] {
            try {
                ui::BusyCursor busy;
                RefreshData();
            } catch (...) {
                ReportOperatorFailure(std::current_exception());
            }
        }, Qt::QueuedConnection);
    }
    CloseIfDeferred();
}

void frmLstImages::WritePicture(const QString& path)
{
    m_picture->SetSuspended(true);
    m_writing = true;
    m_stopWriting = false;
    Grd->setEnabled(false);
    cmdAddImage->setEnabled(false);
    const auto done = qScopeGuard([this] {
        m_writing = false;
        Grd->setEnabled(true);
        cmdAddImage->setEnabled(true);
        m_picture->SetSuspended(false);
    });

    Picture1->SetPicture(LoadPicture(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ado::AdoError(PathFileAccessError, QStringLiteral("Path/File access error"));
    try {
        const bool whole = PictureChunkWriter::Write(file, m_Rs->Fields(ImageField), [this] {
            QCoreApplication::processEvents();
            return !m_stopWriting;
        });
        if (whole)
            m_Rs->Update();
        else
            m_Rs->CancelUpdate();
    } catch (...) {
        // The row keeps what it held: no part of the file is left in it to be saved later.
        if (m_Rs->IsOpen() && m_Rs->EditMode() != ado::Recordset::adEditNone)
            m_Rs->CancelUpdate();
        throw;
    }
}

void frmLstImages::ReportOperatorFailure(std::exception_ptr failure)
{
    RunModal([this, failure] { ui::FailureReport::Show(this, windowTitle(), ui::Sentence::OperatorAction, failure); });
    CloseIfDeferred();
}

void frmLstImages::RunModal(const std::function<void()>& show)
{
    ++m_modals;
    const auto done = qScopeGuard([this] { --m_modals; });
    show();
}

void frmLstImages::CloseIfDeferred()
{
    if (!m_closeDeferred || m_writing || m_modals > 0 || Grd->IsReporting())
        return;
    m_closeDeferred = false;
    // Not from inside the handler that asked: the window may go at once.
    QMetaObject::invokeMethod(this, &frmLstImages::CloseWindow, Qt::QueuedConnection);
}

bool frmLstImages::eventFilter(QObject* watched, QEvent* event)
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

bool frmLstImages::event(QEvent* event)
{
    // The frame has a fixed single border and neither a minimise nor a maximise button.
    if (event->type() == QEvent::ParentChange) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
            sub->setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                                | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
        else if (!parentWidget())
            setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    }
    return QWidget::event(event);
}

void frmLstImages::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_placed)
        return;
    m_placed = true;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->setFixedSize(size().grownBy(sub->contentsMargins()));
    try {
        if (MDabrix::AppSettings)
            FormPlacement::Instance().RestorePlacement(*MDabrix::AppSettings, *this, PlacementSection);
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        RunModal([this, failure] { ui::FailureReport::Show(this, windowTitle(), ui::Sentence::WindowLoading, failure); });
    }
}

void frmLstImages::CloseWindow()
{
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->close();
    else
        close();
}

void frmLstImages::closeEvent(QCloseEvent* event)
{
    // Closing while a picture is written stops the write at its next piece; the row keeps
    // its old picture and the window closes once the write has let go of it.
    if (m_writing) {
        m_stopWriting = true;
        m_closeDeferred = true;
        event->ignore();
        return;
    }
    // Deleted under a modal box it opened, the window would take the box with it.
    if (m_modals > 0 || Grd->IsReporting()) {
        m_closeDeferred = true;
        event->ignore();
        return;
    }
    if (!Grd->CommitEdits()) {
        event->ignore();
        return;
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
