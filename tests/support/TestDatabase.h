#pragma once

#include <QString>

// A fresh database of the wanted kind ("sqlite" or "postgres") for one test function.
namespace testsupport {

struct TestDatabase {
    QString kind;
    QString connectionString;
    QString error;

    // Creates the database; false (with error) when it cannot be had.
    bool Create(const QString& kind, const QString& name);
    bool IsPostgres() const { return kind == QLatin1String("postgres"); }
};

} // namespace testsupport
