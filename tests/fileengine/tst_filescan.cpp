#include "support/TestMain.h"

#include "ado/AdoError.h"
#include "ado/Backend.h"
#include "ado/Connection.h"
#include "ado/RecordStore.h"
#include "ado/SqlToken.h"
#include "ado/fileengine/FileScanCursor.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <QtEndian>

#include <cstring>

using namespace ado;
using namespace Qt::StringLiterals;

namespace {

// A value with its exact type: doubles bit for bit, null and empty kept apart.
QByteArray Describe(const QVariant& v)
{
    if (!v.isValid())
        return "invalid";
    QByteArray text = v.typeName();
    if (v.isNull())
        return text + " null";
    switch (v.metaType().id()) {
    case QMetaType::Double: {
        const double d = v.toDouble();
        quint64 bits = 0;
        std::memcpy(&bits, &d, sizeof bits);
        return text + ' ' + QByteArray::number(bits, 16);
    }
    case QMetaType::QByteArray:
        return text + ' ' + v.toByteArray().toHex();
    case QMetaType::QDateTime:
        return text + ' ' + v.toDateTime().toString(Qt::ISODateWithMs).toUtf8() + ' ' + QByteArray::number(int(v.toDateTime().timeSpec()));
    default:
        return text + " '" + v.toString().toUtf8() + '\'';
    }
}

QByteArray Describe(const ColumnInfo& c)
{
    return c.name.toUtf8() + ' ' + QByteArray::number(c.type) + ' ' + QByteArray::number(c.definedSize) + ' '
           + QByteArray::number(c.precision) + ' ' + QByteArray::number(c.scale) + (c.nullable ? " null" : " notnull") + (c.autoIncrement ? " auto" : "") + ' ' + c.baseColumn.toUtf8();
}

// Everything a cursor gives: its columns, then through AppendTo every stored value and
// raw value, then through NextRaw every row and raw row; a failure is the last item.
struct Reading {
    QByteArrayList columns;
    QByteArrayList stored;
    QByteArrayList rows;
    bool direct = false;
};

Reading Read(Backend& backend, const QString& sql)
{
    Reading r;
    try {
        std::unique_ptr<RowCursor> cursor = backend.Query(sql);
        r.direct = dynamic_cast<FileScanCursor*>(cursor.get()) != nullptr;
        RecordStore store;
        store.columns = cursor->Columns();
        for (const ColumnInfo& c : store.columns)
            r.columns << Describe(c);
        store.keepRaw = true;
        store.Begin();
        while (cursor->AppendTo(store)) {
        }
        for (int row = 0; row < store.rows.RowCount(); ++row) {
            for (int c = 0; c < store.Width(); ++c) {
                r.stored << Describe(store.rows.Value(row, c));
                r.stored << (store.raw.Column(c).IsAbsent(row) ? QByteArray("raw absent") : "raw " + Describe(store.raw.Value(row, c)));
            }
            r.stored << "|";
        }
    } catch (const AdoError& e) {
        r.stored << "error " + QByteArray::number(e.Number()) + ' ' + e.Description().toUtf8();
    }
    try {
        std::unique_ptr<RowCursor> cursor = backend.Query(sql);
        QVector<QVariant> row, raw;
        while (cursor->NextRaw(row, raw)) {
            for (int c = 0; c < row.size(); ++c)
                r.rows << Describe(row[c]) << "raw " + Describe(raw.value(c));
            r.rows << "|";
        }
    } catch (const AdoError& e) {
        r.rows << "error " + QByteArray::number(e.Number()) + ' ' + e.Description().toUtf8();
    }
    return r;
}

// The reading SQLite makes of the same statement: a WHERE that holds for every row keeps
// it from being a plain scan.
Reading ReadThroughSqlite(Backend& backend, QString sql)
{
    if (sql.endsWith(u';'))
        sql.chop(1);
    const qsizetype limit = sql.indexOf(u" LIMIT "_s, 0, Qt::CaseInsensitive);
    if (limit >= 0)
        return Read(backend, sql.insert(limit, u" WHERE 1"_s));
    return Read(backend, sql + u" WHERE 1"_s);
}

bool CopyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    const QFileInfo source(from);
    if (source.isFile())
        return QFile::copy(from, QDir(to).filePath(source.fileName()));
    for (const QFileInfo& f : QDir(from).entryInfoList(QDir::Files)) {
        if (!QFile::copy(f.filePath(), QDir(to).filePath(f.fileName())))
            return false;
        QFile::setPermissions(QDir(to).filePath(f.fileName()), QFile::ReadOwner | QFile::WriteOwner);
    }
    return true;
}

// A backend failure seen as the user sees it: the error's number and text.
QString FailureOf(Backend& backend, const QString& sql)
{
    try {
        backend.Query(sql);
    } catch (const AdoError& e) {
        return QString::number(e.Number()) + u' ' + e.Description();
    }
    return {};
}

// A dBase III table with the fields ID N(6) and NAME C(10).
bool WriteDbf(const QString& path, const QList<QPair<QByteArray, QByteArray>>& records)
{
    QFile dbf(path);
    if (!dbf.open(QIODevice::WriteOnly))
        return false;
    QByteArray header(32, '\0');
    header[0] = 0x03;
    qToLittleEndian<quint32>(quint32(records.size()), header.data() + 4);
    qToLittleEndian<quint16>(32 + 2 * 32 + 1, header.data() + 8);
    qToLittleEndian<quint16>(1 + 6 + 10, header.data() + 10);
    QByteArray fields(64, '\0');
    std::memcpy(fields.data(), "ID", 2);
    fields[11] = 'N';
    fields[16] = 6;
    std::memcpy(fields.data() + 32, "NAME", 4);
    fields[32 + 11] = 'C';
    fields[32 + 16] = 10;
    QByteArray bytes = header + fields + "\r";
    for (const auto& [id, name] : records)
        bytes += ' ' + id.rightJustified(6, ' ', true) + name.leftJustified(10, ' ', true);
    bytes += "\x1a";
    return dbf.write(bytes) == bytes.size();
}

} // namespace

// A plain scan of a file table is read without SQLite; it must give what SQLite gives.
class TestFileScan : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    std::unique_ptr<Connection> OpenCopy(const QString& fixture, const QString& properties, QString* folder = nullptr)
    {
        const QString target = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_'));
        QDir(target).removeRecursively();
        if (!CopyFolder(testsupport::FixturePath(fixture), target))
            return nullptr;
        QString source = target;
        if (QFileInfo(testsupport::FixturePath(fixture)).isFile())
            source = QDir(target).filePath(QFileInfo(fixture).fileName());
        if (folder)
            *folder = target;
        auto cnx = std::make_unique<Connection>();
        cnx->Open(u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + source + u';' + properties);
        return cnx;
    }

    void CompareWithSqlite(Backend& backend, const QString& sql, bool direct)
    {
        const Reading scan = Read(backend, sql);
        const Reading sqlite = ReadThroughSqlite(backend, sql);
        QVERIFY2(scan.direct == direct, qPrintable(sql));
        QVERIFY(!sqlite.direct);
        if (scan.columns != sqlite.columns)
            qWarning() << sql << sqlite.stored.value(0) << scan.stored.value(0);
        QCOMPARE(scan.columns, sqlite.columns);
        QCOMPARE(scan.stored, sqlite.stored);
        QCOMPARE(scan.rows, sqlite.rows);
    }

private slots:
    void everyTableReadsAsSqliteReadsIt_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("properties");
        QTest::newRow("dBase, infused") << u"dbf/infused"_s << u"Extended Properties=Dbase IV;"_s;
        QTest::newRow("dBase, pyshp") << u"dbf/pyshp"_s << u"Extended Properties=Dbase IV;"_s;
        QTest::newRow("text, spectrum") << u"csv/csv-spectrum"_s << u"Extended Properties=\"Text\";"_s;
        QTest::newRow("text, rust") << u"csv/rust-csv"_s << u"Extended Properties=\"Text\";"_s;
        QTest::newRow("text, northwind") << u"csv/northwind-neo4j"_s << u"Extended Properties=\"Text\";"_s;
        QTest::newRow("text, latin-1") << u"csv/CSV-test-files"_s << u"Extended Properties=\"Text\";"_s;
        QTest::newRow("Paradox fields") << u"paradox/paradoxdriver/fields"_s << u"Extended Properties=Paradox 5.x;"_s;
        QTest::newRow("Paradox, encrypted") << u"paradox/paradoxdriver/encrypt"_s << u"Extended Properties=Paradox 5.x;"_s;
        QTest::newRow("xls types") << u"xls/readxl/types.xls"_s << u"Extended Properties=\"Excel 8.0;HDR=Yes\";"_s;
        QTest::newRow("xls missing") << u"xls/readxl/missing-values-xls.xls"_s << u"Extended Properties=\"Excel 8.0;HDR=Yes\";"_s;
        QTest::newRow("xlsx types") << u"xlsx/readxl/types.xlsx"_s << u"Extended Properties=\"Excel 12.0 Xml;HDR=Yes\";"_s;
        QTest::newRow("xlsx dates") << u"xlsx/readxl/datetime-rounding.xlsx"_s << u"Extended Properties=\"Excel 12.0 Xml;HDR=Yes\";"_s;
        QTest::newRow("Access, Jet 4") << u"mdb/northwind-jet4/Northwind.mdb"_s << QString();
        QTest::newRow("Access, dates") << u"mdb/mdbtestdata/DateTestDatabase.mdb"_s << QString();
    }

    // Every table of real files, the way a table window reads it (all columns and the row id).
    void everyTableReadsAsSqliteReadsIt()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, properties);
        std::unique_ptr<Connection> cnx = OpenCopy(fixture, properties);
        QVERIFY(cnx);
        Backend& backend = cnx->Session();
        int tables = 0;
        for (const TableInfo& t : backend.Tables()) {
            if (t.Type != u"TABLE")
                continue;
            const QString name = SqlToken::bracket(t.Name);
            const QString sql = u"SELECT *\r\n, "_s + name + u".rowid FROM "_s + name;
            const QString failure = FailureOf(backend, sql);
            if (!failure.isEmpty()) {
                // A table that cannot be read says the same either way.
                QCOMPARE(FailureOf(backend, sql + u" WHERE 1"_s), failure);
                continue;
            }
            CompareWithSqlite(backend, sql, true);
            ++tables;
        }
        if (!QString::fromLatin1(QTest::currentDataTag()).contains(u"encrypted"_s))
            QVERIFY(tables > 0);
    }

    // Values the real files do not hold: NaN and infinities, long text, empty text and
    // null, dates out of the ordinary, in typed text columns.
    void oddValuesReadAsSqliteReadsThem()
    {
        const QString folder = m_dir.filePath(u"odd"_s);
        QDir().mkpath(folder);
        QFile schema(QDir(folder).filePath(u"Schema.ini"_s));
        QVERIFY(schema.open(QIODevice::WriteOnly));
        schema.write("[odd.csv]\r\nColNameHeader=True\r\nFormat=Delimited(,)\r\nDecimalSymbol=.\r\n"
                     "Col1=id Integer\r\nCol2=amount Double\r\nCol3=day Date\r\nCol4=note Memo\r\nCol5=flag Bit\r\n"
                     "Col6=price Currency\r\nCol7=at DateTime\r\n");
        schema.close();
        QFile csv(QDir(folder).filePath(u"odd.csv"_s));
        QVERIFY(csv.open(QIODevice::WriteOnly));
        csv.write("id,amount,day,note,flag,price,at\r\n");
        csv.write("1,nan,2024-02-30,\"\",1,1.5,2024-01-02 03:04:05\r\n");
        csv.write("2,inf,0001-01-01,,0,-0.0001,9999-12-31 23:59:59\r\n");
        csv.write("3,-inf,9999-12-31,\"" + QByteArray(70000, 'x') + "\",yes,922337203685477.5807,bad\r\n");
        csv.write("4,-0.0,31/12/2024,\"\xc3\xa9t\xc3\xa9 " + QByteArray(300, 'y') + "\",,,\r\n");
        csv.write("99999999999999999999,1e308,,\"a\"\"b\",true,x,2024-06-01\r\n");
        csv.write(",,,,,,\r\n");
        csv.close();
        Connection cnx;
        cnx.Open(u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + folder + u";Extended Properties=\"Text\";"_s);
        CompareWithSqlite(cnx.Session(), u"SELECT *, [odd.csv].rowid FROM [odd.csv]"_s, true);

        // Numbers a dBase reader may take for NaN or infinities, which SQLite keeps apart.
        QVERIFY(WriteDbf(QDir(folder).filePath(u"odd.dbf"_s), {{"nan", "a"}, {"inf", ""}, {"-inf", "\xe9"}, {"-0", "0"},
                                                               {"1e5", "  x  "}, {"", ""}, {"0x10", "\x01"}}));
        Connection dbase;
        dbase.Open(u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + folder + u";Extended Properties=Dbase III;"_s);
        CompareWithSqlite(dbase.Session(), u"SELECT odd.rowid, * FROM odd"_s, true);
    }

    void onlyPlainScansSkipSqlite_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<bool>("direct");
        QTest::newRow("all") << u"SELECT * FROM t"_s << true;
        QTest::newRow("all, qualified and aliased") << u"select all X.* from [t] as X ;"_s << true;
        QTest::newRow("a list with aliases") << u"SELECT name AS n, id x, t.ID FROM t"_s << true;
        QTest::newRow("row ids") << u"SELECT oid, *, _rowid_, x.rowid FROM \"t\" x"_s << true;
        QTest::newRow("comments") << u"SELECT /* all */ * -- of them\nFROM t"_s << true;
        QTest::newRow("distinct") << u"SELECT DISTINCT name FROM t"_s << false;
        QTest::newRow("where") << u"SELECT * FROM t WHERE id > 1"_s << false;
        QTest::newRow("order") << u"SELECT * FROM t ORDER BY name"_s << false;
        QTest::newRow("limit") << u"SELECT * FROM t LIMIT 2"_s << true;
        QTest::newRow("limit 0") << u"SELECT * FROM t x limit 0;"_s << true;
        QTest::newRow("limit beyond the rows") << u"SELECT * FROM t LIMIT 1000"_s << true;
        QTest::newRow("top, as a window asks") << u"SELECT TOP 3 *\r\n, t.rowid FROM [t]"_s << true;
        QTest::newRow("negative limit") << u"SELECT * FROM t LIMIT -1"_s << false;
        QTest::newRow("limit with offset") << u"SELECT * FROM t LIMIT 2 OFFSET 1"_s << false;
        QTest::newRow("limit, expression") << u"SELECT * FROM t LIMIT 1 + 1"_s << false;
        QTest::newRow("limit, hexadecimal") << u"SELECT * FROM t LIMIT 0x2"_s << false;
        QTest::newRow("expression") << u"SELECT id + 0 FROM t"_s << false;
        QTest::newRow("literal") << u"SELECT 'id' FROM t"_s << false;
        QTest::newRow("sub-select") << u"SELECT (SELECT name FROM t) FROM t"_s << false;
        QTest::newRow("aggregate") << u"SELECT count(*) FROM t"_s << false;
        QTest::newRow("two tables") << u"SELECT t.* FROM t, t AS u"_s << false;
        QTest::newRow("join") << u"SELECT t.id FROM t JOIN t u ON u.id = t.id"_s << false;
        QTest::newRow("schema") << u"SELECT * FROM main.t"_s << false;
        QTest::newRow("compound") << u"SELECT id FROM t UNION ALL SELECT id FROM t"_s << false;
        QTest::newRow("a view") << u"SELECT * FROM v"_s << false;
        QTest::newRow("a temporary table") << u"SELECT * FROM shadow"_s << false;
    }

    // What is not a plain scan of one of the files' tables is SQLite's, with its answer.
    void onlyPlainScansSkipSqlite()
    {
        QFETCH(QString, sql);
        QFETCH(bool, direct);
        const QString folder = m_dir.filePath(u"shapes"_s);
        QDir().mkpath(folder);
        QVERIFY(WriteDbf(QDir(folder).filePath(u"t.dbf"_s), {{"3", "c"}, {"1", "a"}, {"2", "b"}, {"1", "a"}}));
        QVERIFY(WriteDbf(QDir(folder).filePath(u"shadow.dbf"_s), {{"1", "file"}}));
        Connection cnx;
        cnx.Open(u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + folder + u";Extended Properties=Dbase III;"_s);
        Backend& backend = cnx.Session();
        backend.Execute(u"CREATE VIEW v AS SELECT * FROM t WHERE id > 1"_s);
        // A temporary table of the same name hides the file's table.
        backend.Execute(u"CREATE TEMP TABLE shadow (ID NUMERIC, NAME VARCHAR(10))"_s);
        backend.Execute(u"INSERT INTO shadow VALUES ('temporary', 'x')"_s);
        const QString native = backend.Translate(sql);
        const Reading scan = Read(backend, native);
        QVERIFY2(scan.direct == direct, qPrintable(native));
        if (direct) {
            CompareWithSqlite(backend, native, true);
            return;
        }
        if (sql.contains(u"FROM v"_s))
            QCOMPARE(scan.stored.count("|"), 2);
        if (sql.contains(u"shadow"_s))
            QVERIFY(scan.stored.contains("QString 'temporary'"));
    }

    // The SQL window may change the connection's schema while a window still reads its
    // table: the scan keeps reading the table it opened.
    void aSchemaChangeDuringAScanKeepsItsTable()
    {
        const QString folder = m_dir.filePath(u"schema"_s);
        QDir().mkpath(folder);
        QList<QPair<QByteArray, QByteArray>> rows;
        for (int i = 0; i < 5000; ++i)
            rows.append({QByteArray::number(i), "n" + QByteArray::number(i)});
        QVERIFY(WriteDbf(QDir(folder).filePath(u"t.dbf"_s), rows));
        Connection cnx;
        cnx.Open(u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + folder + u";Extended Properties=Dbase III;"_s);
        Backend& backend = cnx.Session();
        std::unique_ptr<RowCursor> cursor = backend.Query(u"SELECT * FROM t"_s);
        QVERIFY(dynamic_cast<FileScanCursor*>(cursor.get()));
        QVector<QVariant> row;
        for (int i = 0; i < 10; ++i)
            QVERIFY(cursor->Next(row));
        backend.Execute(u"CREATE TABLE other (a)"_s);
        backend.Execute(u"DROP TABLE other"_s);
        // Another statement on the table makes SQLite connect it again.
        QCOMPARE(Read(backend, u"SELECT * FROM t WHERE ID < 3"_s).stored.count("|"), 3);
        QCOMPARE(Read(backend, u"SELECT * FROM t"_s).stored.count("|"), 5000);
        int count = 10;
        while (cursor->Next(row)) {
            QCOMPARE(row.value(0).toInt(), count);
            ++count;
        }
        QCOMPARE(count, 5000);
    }

    // A file that turns out damaged half way through: the failure is the reader's, and the
    // rows before it are whole.
    void aFailedReadLeavesWholeRows()
    {
        const QString folder = m_dir.filePath(u"damaged"_s);
        QDir().mkpath(folder);
        const QString file = QDir(folder).filePath(u"big.dbf"_s);
        // More records than the reader takes at once, so that it reads the file again later.
        const int records = 200000;
        QList<QPair<QByteArray, QByteArray>> rows;
        for (int i = 0; i < records; ++i)
            rows.append({QByteArray::number(i), "n" + QByteArray::number(i)});
        QVERIFY(WriteDbf(file, rows));
        Connection cnx;
        cnx.Open(u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + folder + u";Extended Properties=Dbase III;"_s);
        std::unique_ptr<RowCursor> cursor = cnx.Session().Query(u"SELECT *, big.rowid FROM big"_s);
        QVERIFY(dynamic_cast<FileScanCursor*>(cursor.get()));
        QVERIFY(QFile::resize(file, 32 + 64 + 1 + 17 * (records / 4 * 3) + 5));
        RecordStore store;
        store.columns = cursor->Columns();
        store.keepRaw = true;
        store.Begin();
        QString failure;
        try {
            while (cursor->AppendTo(store)) {
            }
        } catch (const AdoError& e) {
            failure = e.Description();
        }
        QVERIFY2(!failure.isEmpty(), "a cut file must not read as a shorter table");
        QVERIFY(failure.contains(u"big"_s));
        QVERIFY(store.rows.RowCount() > 0 && store.rows.RowCount() < records);
        for (int c = 0; c < store.Width(); ++c) {
            QCOMPARE(store.rows.Column(c).Size(), store.rows.RowCount());
            QCOMPARE(store.raw.Column(c).Size(), store.rows.RowCount());
        }
        QCOMPARE(int(store.deleted.size()), store.rows.RowCount());
        const int last = store.rows.RowCount() - 1;
        QCOMPARE(store.rows.Value(last, 1).toString(), u"n"_s + QString::number(last));
        QCOMPARE(store.rows.Value(last, 2).toLongLong(), qint64(last + 1));
    }
};

DABRIX_TEST_MAIN(TestFileScan)
#include "tst_filescan.moc"
