#pragma once

#include <QWidget>
#include <exception>
#include <functional>
#include <memory>

class DataGrid;
class FieldBinding;
class LimitedTextEdit;
class QLabel;
class QStatusBar;
namespace ado {
class Recordset;
}

// A child window over the table of scripts: the grid lists its rows and the text box below
// shows, and lets the user edit, the current row's script. An edit is saved when the user
// moves to another row, refreshes the rows or closes the window.
class frmLstScripts : public QWidget {
    Q_OBJECT
public:
    explicit frmLstScripts(QWidget* parent = nullptr);
    ~frmLstScripts() override;

    void Init(const QString& TblName);
    void RefreshData();

    ado::Recordset* Recordset() const { return m_Rs.get(); }
    QString StatusText() const;

    static constexpr int ScriptMaxLength = 50000;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void LoadData(const QString& tableName);
    void FormatColumns();
    void ShowCurrentRecord();
    void SetStatus(const QString& text);
    void Layout();
    void ShowScript(const QVariant& value, bool hasRecord);
    void TxtScript_Change();
    // Saves the script being edited; false when the database refused it (reported).
    bool SaveEdit();
    void m_Rs_FetchComplete(ado::Recordset* pRecordset);
    bool Form_KeyDown(int key, Qt::KeyboardModifiers modifiers);
    void Grd_HeadClick(int column);
    void CloseWindow();
    void ReportOperatorFailure(std::exception_ptr failure);
    void RunModal(const std::function<void()>& show);
    void CloseIfDeferred();

    DataGrid* Grd;
    LimitedTextEdit* TxtScript;
    QStatusBar* sb;
    QLabel* sbPanel1;
    FieldBinding* m_script;

    std::unique_ptr<ado::Recordset> m_Rs;
    qint16 m_sortColumn = 0;
    bool m_ascending = false;
    bool m_placed = false;
    bool m_unloaded = false;
    bool m_showing = false;
    // Line breaks go back to the database in the form the script came with.
    bool m_crlf = false;
    // A save refused on closing is reported once; closing again then drops the edit.
    bool m_saveRefused = false;
    int m_modals = 0;
    bool m_closeDeferred = false;
};
