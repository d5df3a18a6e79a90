// The memory the rows of a big table take once fetched, as the table data window holds
// them (client cursor, optimistic lock), against the size of the database file.
//
// Usage: bench_memory [folder] [rows]   (default 10,000,000 rows; the database is made once
// in the folder and reused)
#include "BenchTable.h"

#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "windows/adoLib.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    const int rows = argc > 2 ? QByteArray(argv[2]).toInt() : 10000000;
    if (rows <= 0 || !QDir().mkpath(folder))
        qFatal("usage: bench_memory [folder] [rows]");
    const QString path = QDir(folder).absoluteFilePath(QStringLiteral("bench_memory_%1.sqlite").arg(rows));
    bench::CreateTable(path, rows);
    const double fileMb = double(QFileInfo(path).size()) / (1 << 20);

    ado::Connection cnx;
    cnx.Open(QStringLiteral("Provider=SQLite;Data Source=") + path);
    const qint64 before = bench::StatusKb("VmRSS");
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<ado::Recordset> rs = adoLib::NewRecordset(ado::Recordset::adUseClient);
    rs->Open(QStringLiteral("SELECT * FROM t"), &cnx, ado::Recordset::adOpenStatic, ado::Recordset::adLockOptimistic);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const qint64 after = bench::StatusKb("VmRSS");
    const qint64 peak = bench::StatusKb("VmHWM");
    if (rs->RecordCount() != rows)
        qFatal("read %d rows of %d", rs->RecordCount(), rows);
    const double takenMb = double(after - before) / 1024;
    std::printf("rows: %d, 8 columns; database file %.1f MB\n", rows, fileMb);
    std::printf("fetch (sync Open): %.3f s\n", seconds);
    std::printf("RSS taken by the rows: %.1f MB (%.1f bytes a row), %.2fx the file\n", takenMb,
                takenMb * 1024 * 1024 / rows, takenMb / fileMb);
    std::printf("peak RSS (VmHWM): %.1f MB\n", double(peak) / 1024);
    std::printf("rows that would fit in 8 GB at this rate: %.0f million\n", 8.0 * 1024 * rows / takenMb / 1e6);
    return 0;
}
