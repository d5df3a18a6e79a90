#pragma once

#include <QString>

struct sqlite3;

// What the benchmarks share: the table they read and the process's memory figures.
namespace bench {

// Makes (or reuses, when it already holds `rows` rows) the SQLite table "t" of eight
// columns: id, a mixed-case name, a city, a quantity, a price, an ISO date, a boolean and a
// note that is null one row in seven.
void CreateTable(const QString& path, int rows);

// Stops the benchmark with SQLite's message when rc is a failure.
void Check(int rc, sqlite3* db, const char* what);

// A field of /proc/self/status in kB, or -1.
qint64 StatusKb(const char* key);

} // namespace bench
