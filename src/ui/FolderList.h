#pragma once

#include <QListWidget>

// The folder list of the file dialog: the folders from the root down to the current one,
// each indented one step more, then the current folder's own folders. Double-clicking a
// folder (or Enter on it) asks for it to become the current one.
class FolderList : public QListWidget {
    Q_OBJECT
public:
    explicit FolderList(QWidget* parent = nullptr);

    QString Path() const { return m_path; }
    // Makes folder the current one and emits pathChanged when it differs; 76 "Path not
    // found" for a folder that does not exist, 75 "Path/File access error" for one that
    // cannot be read. The list is unchanged after a failure.
    void SetPath(const QString& folder);
    // The same without pathChanged, to go back after a failed reaction.
    void RestorePath(const QString& folder);

signals:
    void pathChanged(const QString& path, const QString& previous);
    void pathRequested(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Fill(const QString& folder);

    QString m_path;
};
