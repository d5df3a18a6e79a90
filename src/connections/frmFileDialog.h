#pragma once

#include <QDialog>
#include <exception>

class DriveList;
class FileList;
class FolderList;
class QLineEdit;
class QPushButton;

// The small modal window in which the user picks one file: a path box, a folder list, a
// file list and a drive list. It reopens on the drive and folder the user last chose, for
// as long as the program runs.
class frmFileDialog : public QDialog {
    Q_OBJECT
public:
    explicit frmFileDialog(QWidget* parent = nullptr);

    // Application-wide values, empty at program start: the path box text after "Ok"
    // (empty after any other close), the drive last selected, the folder last shown
    // outside the window's loading.
    static inline QString FilePath;
    static inline QString LastDrive;
    static inline QString LastFolder;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();
    void Drive1_Change();
    void Dir1_Change(const QString& path, const QString& previous);
    void Dir1_Request(const QString& path);
    void File1_Click(const QString& name);
    void cmdOk_Click();
    void cmdCancel_Click();
    void Report(const QString& handler, std::exception_ptr failure);

    QLineEdit* txtPath;
    FolderList* Dir1;
    FileList* File1;
    DriveList* Drive1;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;

    bool m_loading = false;
    QString m_drive; // the drive the lists show, to go back to after a failed change
};
