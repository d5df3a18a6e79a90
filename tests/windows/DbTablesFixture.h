#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// Application state for the window tests: settings, work folder and the shared
// connection opened on a fresh database of the wanted kind ("sqlite" or "postgres").
struct DbTablesFixture {
    QString kind;
    QString connectionString;
    QString error;

    // Sets AppTitle and opens AppSettings and the work folder, once per program.
    static void InitAppState();
    // Creates the database, runs the statements on it and leaves it open as MDabrix::Cnx
    // with the catalogue bound. False (with error) when it cannot be had.
    bool Open(const QString& kind, const QString& name, const QStringList& statements);
    // Closes every window the previous test left and the shared connection.
    static void Reset();

    // The first loaded form of that name (see ui::FormsRegistry), or nullptr.
    static QWidget* LoadedForm(const QString& objectName);
    static int LoadedCount(const QString& objectName);
};
