#include "ui/DataGrid.h"

#include "ado/Recordset.h"
#include "ui/FailureReport.h"
#include "ui/GridDelegate.h"
#include "ui/RecordsetModel.h"

#include <QHeaderView>
#include <QItemEditorFactory>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTimer>
#include <set>

DataGrid::DataGrid(QWidget* parent)
    : QTableView(parent), m_model(new RecordsetModel(this)), m_editors(std::make_unique<QItemEditorFactory>())
{
    setModel(m_model);
    setSortingEnabled(false);
    setVerticalScrollMode(ScrollPerItem);
    setHorizontalScrollMode(ScrollPerItem);
    setSelectionBehavior(SelectItems);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setSortIndicatorShown(false);
    // A header click sorts; it must not select the column and move the current record.
    disconnect(horizontalHeader(), SIGNAL(sectionPressed(int)), this, SLOT(selectColumn(int)));
    disconnect(horizontalHeader(), SIGNAL(sectionEntered(int)), this, SLOT(_q_selectColumn(int)));
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &DataGrid::headerClicked);

    // Spin boxes and date editors round decimals and cannot hold a Null: every typed value
    // is edited as text and converted by the recordset.
    auto* delegate = new GridDelegate(this);
    for (int type : {QMetaType::Double, QMetaType::Float, QMetaType::Int, QMetaType::LongLong, QMetaType::QDate,
                     QMetaType::QDateTime, QMetaType::QTime, QMetaType::QString})
        m_editors->registerEditor(type, new QStandardItemEditorCreator<QLineEdit>());
    delegate->setItemEditorFactory(m_editors.get());
    setItemDelegate(delegate);

    connect(m_model, &RecordsetModel::writeFailed, this, &DataGrid::ReportFailure);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, &DataGrid::OnCurrentRowChanged);
}

DataGrid::~DataGrid()
{
    // The delegate refers to the factory until it is gone.
    setItemDelegate(nullptr);
}

void DataGrid::SetDataSource(ado::Recordset* recordset)
{
    m_model->SetRecordset(recordset);
}

ado::Recordset* DataGrid::DataSource() const
{
    return m_model->Recordset();
}

bool DataGrid::AllowUpdate() const
{
    return m_model->AllowUpdate();
}

void DataGrid::SetAllowUpdate(bool allow)
{
    m_model->SetAllowUpdate(allow);
}

bool DataGrid::AllowAddNew() const
{
    return m_model->AllowAddNew();
}

void DataGrid::SetAllowAddNew(bool allow)
{
    m_model->SetAllowAddNew(allow);
}

QString DataGrid::DataField(int column) const
{
    return m_model->DataField(column);
}

int DataGrid::ConvertEmptyCell(int column) const
{
    return m_model->ConvertEmptyCell(column);
}

void DataGrid::SetConvertEmptyCell(int column, int mode)
{
    m_model->SetConvertEmptyCell(column, mode);
}

bool DataGrid::AllowSizing(int column) const
{
    return horizontalHeader()->sectionResizeMode(column) == QHeaderView::Interactive;
}

void DataGrid::SetAllowSizing(int column, bool allow)
{
    horizontalHeader()->setSectionResizeMode(column, allow ? QHeaderView::Interactive : QHeaderView::Fixed);
}

int DataGrid::FirstRow() const
{
    return verticalScrollBar()->value();
}

void DataGrid::SetFirstRow(int row)
{
    verticalScrollBar()->setValue(row);
}

int DataGrid::LeftCol() const
{
    return horizontalScrollBar()->value();
}

void DataGrid::SetLeftCol(int column)
{
    horizontalScrollBar()->setValue(column);
}

void DataGrid::SetCurrentRecord(int position)
{
    const int column = qMax(0, currentIndex().column());
    if (position > m_model->RecordRows())
        m_model->ShowFetchedRows();
    const QModelIndex target = m_model->index(position - 1, column);
    if (!target.isValid())
        return;
    const bool scroll = hasAutoScroll();
    setAutoScroll(false);
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
    setAutoScroll(scroll);
}

void DataGrid::OnCurrentRowChanged(const QModelIndex& current, const QModelIndex& previous)
{
    // Leaving the new row writes it; the rows above it, the current one among them, keep
    // their positions.
    if (previous.isValid() && m_model->IsNewRowLine(previous.row()))
        m_model->CommitNewRow();
    ado::Recordset* rs = DataSource();
    if (!rs || !rs->IsOpen() || !current.isValid() || current.row() >= m_model->RecordRows())
        return;
    if (rs->AbsolutePosition() == current.row() + 1)
        return;
    try {
        rs->SetAbsolutePosition(current.row() + 1);
    } catch (...) {
        ReportFailure(std::current_exception());
    }
}

bool DataGrid::CommitEdits()
{
    const int failures = m_failures;
    if (IsEditing() && m_editing.isValid()) {
        if (QWidget* editor = indexWidget(m_editing)) {
            commitData(editor);
            closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
    }
    return m_failures == failures && m_model->CommitNewRow();
}

bool DataGrid::HasPendingRow() const
{
    return m_model->HasPendingRow();
}

void DataGrid::MarkSourceRecord()
{
    const ado::Recordset* rs = DataSource();
    if (currentIndex().isValid() || !rs || !rs->IsOpen())
        return;
    const int position = rs->AbsolutePosition();
    if (position >= 1)
        SetCurrentRecord(position);
}

DataGrid::EscapeOutcome DataGrid::Escape()
{
    if (IsEditing())
        return EscapeOutcome::LeftToEditor;
    if (HasPendingRow()) {
        AbandonNewRow();
        return EscapeOutcome::RowAbandoned;
    }
    return EscapeOutcome::CloseWindow;
}

void DataGrid::AbandonNewRow()
{
    m_model->AbandonNewRow();
}

bool DataGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    const bool editing = QTableView::edit(index, trigger, event);
    if (editing)
        m_editing = index;
    return editing;
}

void DataGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    const QPersistentModelIndex edited = m_editing;
    m_editing = QPersistentModelIndex();
    QTableView::closeEditor(editor, hint);
    // Enter asks for the cache to be submitted; a move to another row does too, but that
    // leaves the row and is handled there.
    if (hint == QAbstractItemDelegate::SubmitModelCache && edited.isValid() && m_model->IsNewRowLine(edited.row())
        && currentIndex() == edited)
        OnEnterInNewRow(edited.column());
}

void DataGrid::OnEnterInNewRow(int column)
{
    const int row = m_model->NewRowLine();
    for (int next = column + 1; next < m_model->columnCount(); ++next) {
        const QModelIndex target = m_model->index(row, next);
        if (target.flags() & Qt::ItemIsEditable) {
            setCurrentIndex(target);
            return;
        }
    }
    // The last cell: the row is complete.
    if (m_model->CommitNewRow())
        setCurrentIndex(m_model->index(m_model->NewRowLine(), 0));
}

void DataGrid::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && !IsEditing()) {
        DeleteSelectedRows();
        event->accept();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !IsEditing()
        && m_model->IsNewRowLine(currentIndex().row())) {
        OnEnterInNewRow(currentIndex().column());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void DataGrid::DeleteSelectedRows()
{
    ado::Recordset* rs = DataSource();
    if (!m_allowDelete || !rs || !rs->IsOpen() || !rs->IsUpdatable())
        return;
    // Only whole rows, as the row header selects them: a current cell alone deletes nothing.
    std::set<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.insert(index.row());
    // From the bottom up, so the positions still to delete do not move.
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        if (!m_model->removeRows(*it, 1))
            break;
}

QString DataGrid::Caption() const
{
    for (const QWidget* w = this; w; w = w->parentWidget())
        if (!w->windowTitle().isEmpty())
            return w->windowTitle();
    return {};
}

void DataGrid::ReportFailure(std::exception_ptr failure)
{
    ++m_failures;
    ++m_reports;
    // Shown once the editor has closed: a modal box inside the commit would take the
    // editor's focus and commit it a second time.
    QTimer::singleShot(0, this, [this, failure] {
        ui::FailureReport::Show(this, Caption(), ui::Sentence::OperatorAction, failure);
        if (--m_reports == 0)
            emit reportsFinished();
    });
}
