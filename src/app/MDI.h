#pragma once

#include <QMainWindow>

class QMdiArea;

// The program's main window: a multi-document frame over the open database.
class MDI : public QMainWindow {
    Q_OBJECT
public:
    explicit MDI(QWidget* parent = nullptr);

    QMdiArea* Area() const { return m_area; }
    static QString Caption();
    // Unloads every child window.
    void CloseChildWindows();
    // Deletes the work folder with everything in it, read-only files included.
    static void DeleteWorkFolder();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenu();
    void OnOuvrir();
    void OnFermer();
    void OnConnectionString();

    QMdiArea* m_area;
};
