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
// deleting rows in place as AllowUpdate, AllowAddNew and AllowDelete permit.
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

signals:
    void headerClicked(int column);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void DeleteSelectedRows();
    void OnCurrentRowChanged(const QModelIndex& current);
    void ReportFailure(std::exception_ptr failure);
    QString Caption() const;

    RecordsetModel* m_model;
    std::unique_ptr<QItemEditorFactory> m_editors;
    bool m_allowDelete = true;
};
