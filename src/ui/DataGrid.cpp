#include "ui/DataGrid.h"

#include "ado/Recordset.h"
#include "ui/FailureReport.h"
#include "ui/RecordsetModel.h"

#include <QHeaderView>
#include <QItemEditorFactory>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyledItemDelegate>
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
    auto* delegate = new QStyledItemDelegate(this);
    for (int type : {QMetaType::Double, QMetaType::Float, QMetaType::Int, QMetaType::LongLong, QMetaType::QDate,
                     QMetaType::QDateTime, QMetaType::QTime, QMetaType::QString})
        m_editors->registerEditor(type, new QStandardItemEditorCreator<QLineEdit>());
    delegate->setItemEditorFactory(m_editors.get());
    setItemDelegate(delegate);

    connect(m_model, &RecordsetModel::writeFailed, this, &DataGrid::ReportFailure);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { OnCurrentRowChanged(current); });
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
    const QModelIndex target = m_model->index(position - 1, column);
    if (!target.isValid())
        return;
    const bool scroll = hasAutoScroll();
    setAutoScroll(false);
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
    setAutoScroll(scroll);
}

void DataGrid::OnCurrentRowChanged(const QModelIndex& current)
{
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

void DataGrid::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && state() != EditingState) {
        DeleteSelectedRows();
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
    std::set<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes())
        rows.insert(index.row());
    if (rows.empty() && currentIndex().isValid())
        rows.insert(currentIndex().row());
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
    // Shown once the editor has closed: a modal box inside the commit would take the
    // editor's focus and commit it a second time.
    QTimer::singleShot(0, this, [this, failure] {
        ui::FailureReport::Show(this, Caption(), ui::Sentence::OperatorAction, failure);
    });
}
