#pragma once

#include <QString>
#include <QVariant>

// The application state a data window needs, over a fresh database of the wanted kind
// ("sqlite" or "postgres").
struct WinFixture {
    QString kind;
    QString connectionString;
    QString error;

    // Creates the database and opens MDabrix::Cnx on it, with AppTitle and AppSettings.
    bool Open(const QString& kind, const QString& name);
    bool IsPostgres() const { return kind == QLatin1String("postgres"); }
    // Runs statements through the shared connection, Jet dialect.
    void Exec(const QStringList& statements) const;
    // The first value of a query, read through a second connection.
    QVariant ReadBack(const QString& sql) const;
    // Drops the shared connection and the flags.
    static void Close();
};
