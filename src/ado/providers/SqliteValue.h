#pragma once

#include <QDate>
#include <QVariant>

struct sqlite3_value;

namespace ado {

// One value as SQLite hands it over: its storage class (SQLITE_INTEGER ... SQLITE_NULL)
// and what it holds. Text and bytes point into memory the giver keeps until its next value.
struct SqliteValue {
    int storage = 5; // SQLITE_NULL
    qint64 integer = 0;
    double real = 0;
    const char* data = nullptr; // text as UTF-8, or bytes
    qsizetype size = 0;
    // The date a "yyyy-MM-dd" text spells, when the giver had it as a date.
    QDate date;

    static SqliteValue Of(sqlite3_value* value);
    QVariant ToVariant() const;
};

} // namespace ado
