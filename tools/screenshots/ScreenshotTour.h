#pragma once

#include <QString>

class QWidget;
class frmTblData;

// Drives the program through one scene of the README's pictures the way a user would (the
// chooser, the table list, a data window) and saves what the screen shows as a PNG.
class ScreenshotTour {
public:
    ScreenshotTour(QString demoDatabase, QString output) : m_database(std::move(demoDatabase)), m_output(std::move(output)) {}

    // The scene names main() accepts: chooser, main, sql, excel, managers.
    bool Run(const QString& scene);

private:
    bool Chooser();
    bool MainWindow();
    bool SqlWindow();
    bool Workbook();
    bool Managers();

    // Opens the demo database as the user does: the chooser, with its entry preselected.
    bool OpenDemo();
    // Opens a table of the list the way the toolbar's "Open" button does, and waits for its rows.
    frmTblData* OpenTable(const QString& name);
    bool WriteWorkbook(const QString& path) const;
    // The main window at the size of the pictures, children placed side by side.
    void Arrange(QWidget* table, QWidget* other);
    bool Save(QWidget* window) const;

    QString m_database;
    QString m_output;
};
