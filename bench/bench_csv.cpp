// Full scans of a 1,000,000-line CSV through the text engine, against reading its bytes once.
#include "ado/Connection.h"
#include "ado/Recordset.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace ado;

namespace {

int Lines = 1000000;

void WriteFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QByteArray chunk = "id,name,amount,day\r\n";
    for (int i = 1; i <= Lines; ++i) {
        chunk += QByteArray::number(i) + ",\"Client " + QByteArray::number(i % 9973) + ", Ltd\","
                 + QByteArray::number(i % 100000 / 100.0, 'f', 2) + ",2024-" + QByteArray::number(1 + i % 12).rightJustified(2, '0')
                 + '-' + QByteArray::number(1 + i % 28).rightJustified(2, '0') + "\r\n";
        if (chunk.size() > (1 << 20)) {
            f.write(chunk);
            chunk.clear();
        }
    }
    f.write(chunk);
}

double Seconds(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Optional: fewer lines and runs, for a run under a profiler.
    if (argc > 1)
        Lines = std::max(1, atoi(argv[1]));
    const int Runs = argc > 2 ? std::max(1, atoi(argv[2])) : 7;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("clients.csv"));
    WriteFile(path);
    QFile schema(dir.filePath(QStringLiteral("Schema.ini")));
    schema.open(QIODevice::WriteOnly);
    schema.write("[clients.csv]\r\nColNameHeader=True\r\nMaxScanRows=0\r\nDecimalSymbol=.\r\nFormat=Delimited(,)\r\n");
    schema.close();
    std::printf("file: %lld bytes, %d lines\n", static_cast<long long>(QFile(path).size()), Lines);

    QElapsedTimer t;
    t.start();
    {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        qint64 total = 0;
        while (!f.atEnd())
            total += f.read(1 << 20).size();
        if (total != f.size())
            qFatal("short read");
    }
    const double baseline = Seconds(t);

    // The two figures of the ratio are each the best of seven runs, taken in turns so that
    // both see the same spells of this machine's noise, which only ever adds time.
    const QString cs = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Extended Properties=\"Text\";OLE DB Services=-2;")
                           .arg(dir.path());
    double open = 1e9;
    double allTime = 1e9;
    double fetchTime = 1e9; // of the SELECT *: its rows into the recordset
    double readTime = 1e9;  // and every value read back through Fields
    qint64 values = 0;
    for (int run = 0; run < Runs; ++run) {
        t.restart();
        Connection scan;
        scan.Open(cs);
        const double opened = Seconds(t);
        t.restart();
        Recordset all;
        all.Open(QStringLiteral("SELECT * FROM [clients.csv]"), &scan);
        const double fetched = Seconds(t);
        values = 0;
        while (!all.Eof()) {
            for (int i = 0; i < all.FieldCount(); ++i)
                values += all.Fields(i).Value().isNull() ? 0 : 1;
            all.MoveNext();
        }
        const double selected = Seconds(t);
        open = std::min(open, opened);
        allTime = std::min(allTime, selected);
        fetchTime = std::min(fetchTime, fetched);
        readTime = std::min(readTime, selected - fetched);
        std::printf("  run %d: open %.3f s, SELECT * %.3f s (%.1fx; fetched in %.3f s, read back in %.3f s)\n", run + 1, opened,
                    selected, selected / opened, fetched, selected - fetched);
    }
    Connection cnx;
    cnx.Open(cs);

    t.restart();
    Recordset count;
    count.Open(QStringLiteral("SELECT COUNT(*) FROM [clients.csv]"), &cnx);
    const qint64 rows = count.Fields(0).Value().toLongLong();
    const double countTime = Seconds(t);

    // The same without the date column, whose values the layer above converts on its own.
    t.restart();
    Recordset noDates;
    noDates.Open(QStringLiteral("SELECT id, name, amount FROM [clients.csv]"), &cnx);
    qint64 plainValues = 0;
    while (!noDates.Eof()) {
        for (int i = 0; i < noDates.FieldCount(); ++i)
            plainValues += noDates.Fields(i).Value().isNull() ? 0 : 1;
        noDates.MoveNext();
    }
    const double noDatesTime = Seconds(t);

    std::printf("read bytes once:          %8.3f s\n", baseline);
    std::printf("open (scan for types), best of %d: %8.3f s  ratio %6.1f\n", Runs, open, open / baseline);
    std::printf("SELECT COUNT(*) (%lld):  %8.3f s  ratio %6.1f\n", static_cast<long long>(rows), countTime, countTime / baseline);
    std::printf("SELECT * (%lld values), best of %d: %8.3f s  ratio %6.1f\n", static_cast<long long>(values), Runs, allTime, allTime / baseline);
    std::printf("  of which fetching, best of %d: %8.3f s; reading the values back: %8.3f s\n", Runs, fetchTime, readTime);
    std::printf("SELECT id, name, amount (%lld values): %8.3f s  ratio %6.1f\n", static_cast<long long>(plainValues),
                noDatesTime, noDatesTime / baseline);
    std::printf("SELECT * through the recordset vs the open scan: %.1fx\n", allTime / open);
    return rows == Lines && values == 4LL * Lines ? 0 : 1;
}
