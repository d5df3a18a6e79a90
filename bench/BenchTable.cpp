#include "BenchTable.h"

#include <QByteArray>
#include <QFile>

#include <cstdio>
#include <sqlite3.h>

namespace bench {

void Check(int rc, sqlite3* db, const char* what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        qFatal("%s: %s", what, sqlite3_errmsg(db));
}

namespace {

qint64 CountRows(sqlite3* db)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM t", -1, &stmt, nullptr) != SQLITE_OK)
        return -1;
    const qint64 n = sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1;
    sqlite3_finalize(stmt);
    return n;
}

// Mixed-case words so that the case-insensitive sort has real work to do.
QByteArray RandomWord(quint64& seed, int minLength, int maxLength)
{
    auto next = [&seed] {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        return quint32(seed >> 33);
    };
    const int length = minLength + int(next() % quint32(maxLength - minLength + 1));
    QByteArray w(length, 'a');
    for (int i = 0; i < length; ++i) {
        const quint32 r = next();
        w[i] = char(((r >> 8) & 3) == 0 ? 'A' + r % 26 : 'a' + r % 26);
    }
    return w;
}

} // namespace

void CreateTable(const QString& path, int rows)
{
    sqlite3* db = nullptr;
    Check(sqlite3_open(QFile::encodeName(path).constData(), &db), db, "open");
    if (CountRows(db) == rows) {
        sqlite3_close(db);
        std::printf("database: %s (reused)\n", qPrintable(path));
        return;
    }
    std::printf("database: %s (creating %d rows)\n", qPrintable(path), rows);
    std::fflush(stdout);
    Check(sqlite3_exec(db, "DROP TABLE IF EXISTS t; CREATE TABLE t (id INTEGER PRIMARY KEY, name VARCHAR(40), "
                           "city VARCHAR(30), qty INTEGER, price REAL, day DATE, active BOOLEAN, note TEXT)",
                       nullptr, nullptr, nullptr),
          db, "create");
    Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
    sqlite3_stmt* insert = nullptr;
    Check(sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?, ?, ?, ?, ?, ?, ?)", -1, &insert, nullptr), db, "prepare");
    static const char* const cities[] = {"Lyon", "Nantes", "Lille", "Brest", "Metz", "Nice", "Paris", "Rouen", "Dijon", "Tours"};
    quint64 seed = 20240611;
    for (int i = 1; i <= rows; ++i) {
        const QByteArray name = RandomWord(seed, 4, 10) + ' ' + RandomWord(seed, 3, 9);
        const QByteArray day = QByteArray::number(2000 + i % 25) + '-' + QByteArray::number(1 + i % 12).rightJustified(2, '0')
                               + '-' + QByteArray::number(1 + i % 28).rightJustified(2, '0');
        const QByteArray note = "Note " + RandomWord(seed, 10, 40) + (i % 50 == 0 ? "; \"quoted\"" : "");
        sqlite3_bind_int64(insert, 1, i);
        sqlite3_bind_text(insert, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, cities[i % 10], -1, SQLITE_STATIC);
        sqlite3_bind_int64(insert, 4, (qint64(i) * 37) % 1000);
        sqlite3_bind_double(insert, 5, double((qint64(i) * 7919) % 100000) / 100.0);
        sqlite3_bind_text(insert, 6, day.constData(), int(day.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 7, i % 3 == 0 ? 1 : 0);
        if (i % 7 == 0)
            sqlite3_bind_null(insert, 8);
        else
            sqlite3_bind_text(insert, 8, note.constData(), int(note.size()), SQLITE_TRANSIENT);
        Check(sqlite3_step(insert), db, "insert");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    sqlite3_close(db);
}

qint64 StatusKb(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}


} // namespace bench
