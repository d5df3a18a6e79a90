// Full scans of a 1,000,000-record DBF through the file engine, against reading the
// file's bytes once. Prints seconds and ratios; never run by ctest.
#include "ado/Backend.h"
#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "windows/adoLib.h"
#include "ado/RowCursor.h"
#include "ado/fileengine/dbase/DbfTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstdio>

namespace {

constexpr int Records = 1000000;

struct BenchField {
    const char* name;
    char type;
    int length;
    int decimals;
};

const BenchField Fields[] = {{"NAME", 'C', 20, 0}, {"CITY", 'C', 15, 0}, {"AMOUNT", 'N', 12, 2},
                             {"QTY", 'N', 6, 0},   {"BORN", 'D', 8, 0},  {"ACTIVE", 'L', 1, 0}};

// Writes the table directly: the bench measures reading, not our writer.
bool WriteTable(const QString& path)
{
    const int fieldCount = int(std::size(Fields));
    int recordLength = 1;
    for (const BenchField& f : Fields)
        recordLength += f.length;
    const int headerLength = 32 + 32 * fieldCount + 1;
    QByteArray header(headerLength, '\0');
    auto* h = reinterpret_cast<uchar*>(header.data());
    h[0] = 0x03;
    h[1] = 124; h[2] = 1; h[3] = 1;
    qToLittleEndian<quint32>(Records, h + 4);
    qToLittleEndian<quint16>(quint16(headerLength), h + 8);
    qToLittleEndian<quint16>(quint16(recordLength), h + 10);
    h[29] = 0x03;
    for (int i = 0; i < fieldCount; ++i) {
        uchar* d = h + 32 + 32 * i;
        memcpy(d, Fields[i].name, strlen(Fields[i].name));
        d[11] = uchar(Fields[i].type);
        d[16] = uchar(Fields[i].length);
        d[17] = uchar(Fields[i].decimals);
    }
    h[headerLength - 1] = 0x0D;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(header);
    QByteArray chunk;
    for (int r = 0; r < Records; ++r) {
        QByteArray record = " ";
        record += QByteArray("Name ").append(QByteArray::number(r)).leftJustified(20, ' ');
        record += QByteArray(r % 3 ? "Lyon" : "Zaragoza").leftJustified(15, ' ');
        record += QByteArray::number(r * 1.25, 'f', 2).rightJustified(12, ' ');
        record += QByteArray::number(r % 1000).rightJustified(6, ' ');
        record += QByteArray::number(19000101 + (r % 28) + 100 * (r % 12) + 10000 * (r % 100));
        record += r % 2 ? "T" : "F";
        chunk += record;
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    chunk += '\x1A';
    return file.write(chunk) == chunk.size();
}

double ReadBytes(const QString& path, qint64* bytes)
{
    QElapsedTimer timer;
    timer.start();
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    *bytes = 0;
    QByteArray buffer;
    while (!(buffer = file.read(1 << 20)).isEmpty())
        *bytes += buffer.size();
    return timer.nsecsElapsed() / 1e9;
}

double Scan(ado::Connection& cnx, const QString& sql, qint64* rows, qint64* values)
{
    QElapsedTimer timer;
    timer.start();
    auto cursor = cnx.Session().Query(cnx.Session().Translate(sql));
    QVector<QVariant> row;
    *rows = 0;
    *values = 0;
    while (cursor->Next(row)) {
        ++*rows;
        for (const QVariant& v : row)
            *values += v.isValid() ? 1 : 0;
    }
    return timer.nsecsElapsed() / 1e9;
}

// The reader alone, without SQLite and the recordset's conversions.
double ScanReader(const QString& path, qint64* values)
{
    QElapsedTimer timer;
    timer.start();
    ado::DbfTable table(path);
    const int columns = int(table.Columns().size());
    auto cursor = table.Scan();
    *values = 0;
    while (cursor->Next()) {
        for (int c = 0; c < columns; ++c)
            *values += cursor->Value(c).isValid() ? 1 : 0;
    }
    return timer.nsecsElapsed() / 1e9;
}

// Counts the values that are not null, whatever their type.
class CountingSink : public ado::FileValueSink {
public:
    qint64 values = 0;
    void Null() override {}
    void Integer(qint64) override { ++values; }
    void Real(double) override { ++values; }
    void Boolean(bool) override { ++values; }
    void Utf8(const char*, qsizetype) override { ++values; }
    void Text(const QString&) override { ++values; }
    void Bytes(const char*, qsizetype) override { ++values; }
    void Date(QDate) override { ++values; }
    void Time(QTime) override { ++values; }
    void DateTime(QDate, QTime) override { ++values; }
    void Variant(const QVariant& v) override { values += v.isValid() ? 1 : 0; }
};

// The reader's typed route, as the SQL engine takes its values.
double ScanReaderTyped(const QString& path, qint64* values)
{
    QElapsedTimer timer;
    timer.start();
    ado::DbfTable table(path);
    const int columns = int(table.Columns().size());
    auto cursor = table.Scan();
    CountingSink sink;
    while (cursor->Next()) {
        for (int c = 0; c < columns; ++c)
            cursor->Put(c, sink);
    }
    *values = sink.values;
    return timer.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.dbf"));
    std::printf("Writing %d records...\n", Records);
    if (!WriteTable(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    qint64 bytes = 0;
    ReadBytes(path, &bytes); // warm the page cache
    const double baseline = ReadBytes(path, &bytes);
    std::printf("file: %.1f MiB, read in 1 MiB chunks: %.3f s\n", bytes / 1048576.0, baseline);

    ado::Connection cnx;
    cnx.Open(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Extended Properties = Dbase IV;").arg(dir.path()));
    qint64 rows = 0;
    qint64 values = 0;
    const double count = Scan(cnx, QStringLiteral("SELECT COUNT(*) FROM bench"), &rows, &values);
    std::printf("SELECT COUNT(*): %.3f s, ratio %.1f\n", count, count / baseline);
    const double all = Scan(cnx, QStringLiteral("SELECT * FROM bench"), &rows, &values);
    std::printf("SELECT *: %.3f s for %lld rows, %lld values, ratio %.1f\n", all, rows, values, all / baseline);
    const double reader = ScanReader(path, &values);
    std::printf("DBF reader alone, every value: %.3f s for %lld values, ratio %.1f\n", reader, values, reader / baseline);
    const double typed = ScanReaderTyped(path, &values);
    std::printf("DBF reader alone, every value typed: %.3f s for %lld values, ratio %.1f\n", typed, values, typed / baseline);
    // What a table data window does: every row into a client-side recordset.
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<ado::Recordset> rs = adoLib::NewRecordset(ado::Recordset::adUseClient);
    rs->Open(QStringLiteral("SELECT * FROM bench"), &cnx, ado::Recordset::adOpenStatic, ado::Recordset::adLockOptimistic);
    const double recordset = timer.nsecsElapsed() / 1e9;
    std::printf("SELECT * into a recordset: %.3f s for %d rows, %.1fx the DBF reader alone\n", recordset, rs->RecordCount(),
                recordset / reader);
    return rows == Records ? 0 : 1;
}
