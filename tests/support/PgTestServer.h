#pragma once

#include <QString>

namespace testsupport {

// The throwaway PostgreSQL cluster that ctest starts for the run (see scripts/pg-test-cluster).
class PgTestServer {
public:
    static QString Host();   // the socket folder
    static int Port();
    static QString User();
    // Drops and creates a database of that name; fails the calling test when the server is absent.
    static bool CreateDatabase(const QString& name, QString* error = nullptr);
    // Connection string for our data-access layer.
    static QString ConnectionString(const QString& database);
};

} // namespace testsupport
