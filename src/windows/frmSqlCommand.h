#pragma once

#include <QWidget>

class QGroupBox;
class QPlainTextEdit;
class QToolBar;

// Runs one statement typed by the user against the open database.
class frmSqlCommand : public QWidget {
    Q_OBJECT
public:
    // Becomes a child of the main window when there is one; loads at once.
    explicit frmSqlCommand(QWidget* parent = nullptr);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    // Returns true when the key was consumed.
    bool Form_KeyDown(QKeyEvent* event);
    void Tb_ButtonClick(const QString& key);
    void txtSql_KeyUp(QKeyEvent* event);
    void ExecuteCommand();

    QToolBar* Tb = nullptr;
    QGroupBox* Fra = nullptr;
    QPlainTextEdit* txtSql = nullptr;
};
