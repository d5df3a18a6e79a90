#pragma once

#include <QString>

namespace testsupport {

// Debian's SQLite ODBC driver, registered for this test run only: unixODBC is pointed at an
// odbcinst.ini in the run's temporary folder, so the tests need no system-wide set-up.
class OdbcTestDriver {
public:
    // Writes the driver registration and sets ODBCSYSINI, ODBCINSTINI and ODBCINI.
    // Call it before the first ODBC call of the process: unixODBC reads them only once.
    static bool Register(QString* error = nullptr);
    // ODBC connection string for a SQLite database file through the driver "SQLite3".
    static QString ConnectionString(const QString& sqliteFile);
    static QString DriverName() { return QStringLiteral("SQLite3"); }
};

} // namespace testsupport
