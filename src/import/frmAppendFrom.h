#pragma once

#include "import/ImportRows.h"

#include <QWidget>
#include <exception>

class DataGrid;
class FileOpenDialog;
class QLabel;
class QLineEdit;
class QPushButton;

// Appends the rows of a table of another file to one table of the open database: the
// user picks the file, sees its rows in a preview and presses "Importer".
class frmAppendFrom : public QWidget {
    Q_OBJECT
public:
    explicit frmAppendFrom(QWidget* parent = nullptr);
    ~frmAppendFrom() override;

    void Init(const QString& cTableName);

    QString TargetTable() const { return m_targetTable; }
    QString SourceConnectionString() const { return m_sourceCnx; }
    QString SourceTable() const { return m_sourceTable; }
    QString ImportDirectory() const { return m_importDirectory; }
    qint16 ImportFileType() const { return m_importFileType; }
    bool IsImporting() const { return m_importing; }

    // File types whose file holds several tables, so that the user picks one.
    static bool HoldsSeveralTables(qint16 fileType, const QString& fileName);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void Form_Load();
    void Form_Unload();
    void cmdBrowse_Click();
    void cmdImport_Click();
    void cmdClose_Click();
    // The table of the chosen file to read: asked for a file of several tables, the file
    // itself otherwise; empty when the user cancels.
    QString ChooseSourceTable(const QString& connectionString, const QString& fileName);
    void ShowProgress(qint64 stored, qint64 read);
    void SetImporting(bool importing);

    QLabel* lblPrompt = nullptr;
    QLineEdit* txtImportFilePath = nullptr;
    QPushButton* cmdBrowse = nullptr;
    DataGrid* Grd = nullptr;
    QPushButton* cmdImport = nullptr;
    QPushButton* cmdClose = nullptr;
    QLabel* lblProgress = nullptr;
    FileOpenDialog* cdb = nullptr;

    QString m_targetTable;
    QString m_sourceCnx;
    QString m_sourceTable;
    QString m_importDirectory;
    qint16 m_importFileType = 1;
    ImportRows::Source m_preview;
    bool m_importing = false;
    bool m_busy = false; // from "Importer" until its message is answered
    bool m_closeRequested = false;
    bool m_unloaded = false;
};
