#pragma once

#include <QWidget>

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QToolBar;

// The tables of the open database; opens a table data window on the chosen one.
class frmDbTables : public QWidget {
    Q_OBJECT
public:
    // Becomes a child of the main window when there is one; loads at once.
    explicit frmDbTables(QWidget* parent = nullptr);

    // The leading number of text, read leniently and rounded half to even; 6 when it
    // does not fit in 32 bits.
    static qint32 RowLimit(const QString& text);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void FillTableList();
    void Lis_DblClick();
    void Tb_ButtonClick(const QString& key);
    void txtMaxCount_Validate(bool& cancel);
    void OpenTable(const QString& TblName);
    void OpenAppendFrom(const QString& TblName);
    QString SelectedTable() const;
    void ActionFailed(std::exception_ptr failure);

    QToolBar* Tb = nullptr;
    QFrame* fraMaxCount = nullptr;
    QCheckBox* chkAssync = nullptr;
    QLabel* lblPrompt = nullptr;
    QLineEdit* txtMaxCount = nullptr;
    QGroupBox* Fra = nullptr;
    QListWidget* Lis = nullptr;
    bool m_loaded = false;
};
