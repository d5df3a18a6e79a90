#pragma once

#include <QDialog>

class FileOpenDialog;
class QListWidget;
class QPushButton;

// The modal chooser of the database to open: a typed connection string, a file, or one of
// the named connections of the sibling application. The constructor runs the load handler;
// the caller shows it with exec(), reads OK() and ConnectString(), then calls Unload(),
// which saves the chooser's settings whatever the outcome.
class frmChoixDb : public QDialog {
    Q_OBJECT
public:
    explicit frmChoixDb(QWidget* parent = nullptr);

    bool OK() const { return m_ok; }
    QString ConnectString() const { return m_connectString; }

    void Unload();

public slots:
    void reject() override;

private:
    void Form_Load();
    void cmdOK_Click();
    void LoadList();
    void SelectEntry(const QString& text);

    bool m_ok = false;
    QString m_connectString;
    QString m_directory;
    qint16 m_fileType = 1;
    QString m_lastDatabase;

    QListWidget* Lis = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    FileOpenDialog* cdb = nullptr;
};
