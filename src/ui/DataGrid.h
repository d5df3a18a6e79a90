#pragma once

#include <QTableView>
#include <exception>
#include <memory>

class QItemEditorFactory;
class RecordsetModel;
namespace ado {
class Recordset;
}

// The grid of the data windows: a table view bound to a recordset, editing, adding and
// deleting rows in place as AllowUpdate, AllowAddNew and AllowDelete permit. A new row is
// written once, when the user leaves it or presses Enter on its last cell; Delete removes
// the rows selected through the row header.
class DataGrid : public QTableView {
    Q_OBJECT
public:
    explicit DataGrid(QWidget* parent = nullptr);
    ~DataGrid() override;

    // The grid's data source; not owned.
    void SetDataSource(ado::Recordset* recordset);
    ado::Recordset* DataSource() const;
    RecordsetModel* Model() const { return m_model; }

    bool AllowUpdate() const;
    void SetAllowUpdate(bool allow);
    bool AllowAddNew() const;
    void SetAllowAddNew(bool allow);
    bool AllowDelete() const { return m_allowDelete; }
    void SetAllowDelete(bool allow) { m_allowDelete = allow; }

    // Per-column properties, by column index.
    QString DataField(int column) const;
    int ConvertEmptyCell(int column) const;
    void SetConvertEmptyCell(int column, int mode);
    bool AllowSizing(int column) const;
    void SetAllowSizing(int column, bool allow);

    // The view position: the first visible row and the first visible column (0-based).
    int FirstRow() const;
    void SetFirstRow(int row);
    int LeftCol() const;
    void SetLeftCol(int column);

    // Makes the record at 1-based position the grid's current row, without scrolling.
    void SetCurrentRecord(int position);
    // With no current row yet, marks the record the data source is on (after a load or a
    // sort, the first), so that what is bound to the current row shows it.
    void MarkSourceRecord();

    using QTableView::edit;
    bool IsEditing() const { return state() == EditingState; }
    // Stores what the open cell editor holds and writes the pending new row; false when
    // either was refused (the failure is being reported).
    bool CommitEdits();
    bool HasPendingRow() const;
    void AbandonNewRow();
    // What Escape does in a data window: first it abandons what is being typed (the open
    // cell, which the editor's own key closes, then the pending new row); only when there
    // is nothing to abandon does the window close.
    enum class EscapeOutcome { LeftToEditor, RowAbandoned, CloseWindow };
    EscapeOutcome Escape();

    // A failure report of the grid is waiting to be shown or is on screen.
    bool IsReporting() const { return m_reports > 0; }

signals:
    void headerClicked(int column);
    // The last failure report of the grid has been answered.
    void reportsFinished();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    void DeleteSelectedRows();
    void OnCurrentRowChanged(const QModelIndex& current, const QModelIndex& previous);
    void OnEnterInNewRow(int column);
    void ReportFailure(std::exception_ptr failure);
    QString Caption() const;

    RecordsetModel* m_model;
    std::unique_ptr<QItemEditorFactory> m_editors;
    bool m_allowDelete = true;
    QPersistentModelIndex m_editing;
    int m_reports = 0;
    int m_failures = 0;
};
