#pragma once

#include <QWidget>
#include <exception>
#include <functional>
#include <memory>

class CsvExportJob;
class DataGrid;
class QAction;
class QLabel;
class QProgressBar;
class QToolButton;
class QPlainTextEdit;
class QStatusBar;
class QToolBar;
namespace ado {
class Recordset;
}

// A child window showing the rows of one table: the query text above, the grid below,
// a splitter between them, and a toolbar to run the query again or export the rows.
class frmTblData : public QWidget {
    Q_OBJECT
public:
    explicit frmTblData(QWidget* parent = nullptr);
    ~frmTblData() override;

    // Runs the data loading again with the current query text.
    Q_INVOKABLE void RefreshData();
    void Init(const QString& TblName, qint32 MaxCount, bool Assync);

    // The query text Init writes for a table and a row limit (0 or less: no limit).
    static QString QueryText(const QString& tableName, qint32 maxCount);

    ado::Recordset* Recordset() const { return m_Rs.get(); }
    // An export is writing the rows; what would change them waits or is refused meanwhile.
    bool IsExporting() const { return m_export != nullptr; }
    QString StatusText() const;
    double SplitterPosition() const { return m_splitterTop; }
    int SortColumn() const { return m_sortColumn; }
    bool SortAscending() const { return m_ascending; }

    // Where the splitter position is kept: the per-user settings of the application
    // AppTitle under the organisation "Program Settings", section "frmTblData".
    static QString PlatformSettingsOrganization() { return QStringLiteral("Program Settings"); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void LoadData();
    // True when the file was written; false when the export was cancelled or did not start.
    bool ExportCsv();
    void HoldOffChanges(bool hold);
    void FormatColumns();
    void Layout();
    void SetStatus(const QString& text);
    void ShowRowCount();
    void Unload();
    void CloseWindow();
    void ReportOperatorFailure(std::exception_ptr failure);
    void Report(const QString& sentence, std::exception_ptr failure);
    // Runs a modal box; a close asked for meanwhile waits until the box has returned.
    void RunModal(const std::function<void()>& show);
    void CloseIfDeferred();

    bool KeyDown(int key, Qt::KeyboardModifiers modifiers);
    void OnToolbarButton(const QString& key);
    void OnHeaderClick(int column);
    void OnSplitterMouseMove(int y, Qt::MouseButtons buttons);
    void OnFetchComplete(ado::Recordset* pRecordset);

    QToolBar* Tb;
    QPlainTextEdit* Txt;
    QWidget* picSplitter;
    DataGrid* Grd;
    QStatusBar* sb;
    QLabel* sbPanel1;
    QAction* m_executeAction;
    QAction* m_exportAction;
    QProgressBar* pgbExport;
    QToolButton* cmdCancelExport;

    std::unique_ptr<ado::Recordset> m_Rs;
    // The recordset the grid still shows when the last load could not open m_Rs.
    std::unique_ptr<ado::Recordset> m_shownRs;
    bool m_async = false;
    double m_splitterTop = 300;
    qint16 m_sortColumn = 0;
    bool m_ascending = false;
    bool m_placed = false;
    bool m_unloaded = false;
    int m_modals = 0;
    bool m_closeDeferred = false;
    CsvExportJob* m_export = nullptr;
    bool m_refreshDeferred = false;
    // The grid's permissions, put back when an export ends.
    bool m_gridAllowedUpdate = false;
    bool m_gridAllowedAddNew = false;
    bool m_gridAllowedDelete = false;
};
