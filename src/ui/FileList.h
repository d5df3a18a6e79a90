#pragma once

#include <QListWidget>

// The file list of the file dialog: every file of one folder, by name. Choosing a file,
// with the mouse or the keyboard, emits fileClicked with its name.
class FileList : public QListWidget {
    Q_OBJECT
public:
    explicit FileList(QWidget* parent = nullptr);

    QString Path() const { return m_path; }
    // Lists the files of folder; 76 "Path not found" for a folder that does not exist.
    void SetPath(const QString& folder);
    QString FileName() const;

signals:
    void fileClicked(const QString& name);

private:
    QString m_path;
    bool m_filling = false;
};
