#include "support/TestMain.h"

#include "ado/AdoError.h"
#include "ado/fileengine/VirtualTableModule.h"
#include "ado/fileengine/dbase/DbfFolderFormat.h"
#include "ado/fileengine/dbase/DbfUtf8Table.h"
#include "ado/fileengine/text/TextFolderFormat.h"
#include "ado/fileengine/text/TextColumn.h"
#include "ado/fileengine/text/TextValueCodec.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstring>
#include <sqlite3.h>

using namespace ado;
using namespace Qt::StringLiterals;

namespace {

// Hides a format's typed route: every value of its cursors goes through Value.
class VariantOnlyCursor : public FileTableCursor {
public:
    explicit VariantOnlyCursor(std::unique_ptr<FileTableCursor> inner) : m_inner(std::move(inner)) {}
    bool Next() override { return m_inner->Next(); }
    qint64 RowId() const override { return m_inner->RowId(); }
    QVariant Value(int column) const override { return m_inner->Value(column); }

private:
    std::unique_ptr<FileTableCursor> m_inner;
};

class VariantOnlyTable : public FileTable {
public:
    explicit VariantOnlyTable(std::unique_ptr<FileTable> inner) : m_inner(std::move(inner)) {}
    QVector<FileColumn> Columns() const override { return m_inner->Columns(); }
    std::unique_ptr<FileTableCursor> Scan() override { return std::make_unique<VariantOnlyCursor>(m_inner->Scan()); }

private:
    std::unique_ptr<FileTable> m_inner;
};

class VariantOnlyFormat : public FileFormat {
public:
    explicit VariantOnlyFormat(FileFormat& inner) : m_inner(inner) {}
    QList<TableInfo> Tables() override { return m_inner.Tables(); }
    std::unique_ptr<FileTable> OpenTable(const QString& table) override
    {
        return std::make_unique<VariantOnlyTable>(m_inner.OpenTable(table));
    }

private:
    FileFormat& m_inner;
};

// One SQLite connection with the table t of a format as a virtual table.
class Engine {
public:
    explicit Engine(FileFormat* format)
    {
        if (sqlite3_open(":memory:", &m_db) != SQLITE_OK)
            qFatal("cannot open SQLite");
        VirtualTableModule::Register(m_db, format, &m_error);
        const QString name = format->Tables().value(0).Name;
        m_table = '"' + name.toUtf8().replace('"', "\"\"") + '"';
        Exec("CREATE VIRTUAL TABLE " + m_table + " USING dabrix_file");
    }
    ~Engine() { sqlite3_close(m_db); }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Every value of every row, with its storage class and exact bytes.
    // The table is named t in sql; a failure is the last item, starting with "error".
    QByteArrayList Rows(QByteArray sql) const
    {
        sql.replace("FROM t", "FROM " + m_table);
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK)
            return {"error preparing " + sql + ": " + QByteArray(sqlite3_errmsg(m_db))};
        QByteArrayList values;
        int rc = SQLITE_OK;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            for (int i = 0; i < sqlite3_column_count(stmt); ++i)
                values.append(Describe(stmt, i));
            values.append("|");
        }
        if (rc != SQLITE_DONE)
            values.append("error: " + QByteArray(sqlite3_errmsg(m_db)));
        sqlite3_finalize(stmt);
        return values;
    }

    QByteArrayList ColumnNames() const
    {
        sqlite3_stmt* stmt = nullptr;
        QByteArrayList names;
        if (sqlite3_prepare_v2(m_db, "SELECT * FROM " + m_table, -1, &stmt, nullptr) != SQLITE_OK)
            return names;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i)
            names.append(sqlite3_column_name(stmt, i));
        sqlite3_finalize(stmt);
        return names;
    }

private:
    void Exec(const QByteArray& sql)
    {
        char* error = nullptr;
        if (sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, &error) != SQLITE_OK) {
            const QByteArray text = error ? error : "?";
            sqlite3_free(error);
            qFatal("%s: %s", sql.constData(), text.constData());
        }
    }

    static QByteArray Describe(sqlite3_stmt* stmt, int i)
    {
        switch (sqlite3_column_type(stmt, i)) {
        case SQLITE_INTEGER:
            return "int " + QByteArray::number(sqlite3_column_int64(stmt, i));
        case SQLITE_FLOAT: {
            const double d = sqlite3_column_double(stmt, i);
            quint64 bits = 0;
            std::memcpy(&bits, &d, sizeof bits);
            return "real " + QByteArray::number(d, 'g', 17) + " 0x" + QByteArray::number(bits, 16);
        }
        case SQLITE_TEXT:
            return "text '" + QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)), sqlite3_column_bytes(stmt, i))
                   + '\'';
        case SQLITE_BLOB:
            return "blob " + QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, i)), sqlite3_column_bytes(stmt, i)).toHex();
        default:
            return "null";
        }
    }

    sqlite3* m_db = nullptr;
    QByteArray m_table;
    std::optional<AdoError> m_error;
};

struct DbfField {
    QByteArray name;
    char type;
    int length;
    int decimals = 0;
    quint8 flags = 0;
};

// A .dbf written byte by byte. Each record lists its fields' bytes, padded to their width:
// numbers on the left, everything else on the right.
QByteArray Dbf(quint8 version, quint8 driver, const QVector<DbfField>& fields, const QVector<QByteArrayList>& records)
{
    const bool vfp = version == 0x30;
    int recordLength = 1;
    for (const DbfField& f : fields)
        recordLength += f.length;
    const int headerLength = 32 + 32 * int(fields.size()) + 1 + (vfp ? 263 : 0);
    QByteArray file(headerLength, '\0');
    auto* h = reinterpret_cast<uchar*>(file.data());
    h[0] = version;
    h[1] = 124;
    h[2] = 1;
    h[3] = 1;
    qToLittleEndian<quint32>(quint32(records.size()), h + 4);
    qToLittleEndian<quint16>(quint16(headerLength), h + 8);
    qToLittleEndian<quint16>(quint16(recordLength), h + 10);
    h[29] = driver;
    int offset = 1;
    for (int i = 0; i < fields.size(); ++i) {
        uchar* d = h + 32 + 32 * i;
        std::memcpy(d, fields[i].name.constData(), size_t(fields[i].name.size()));
        d[11] = uchar(fields[i].type);
        if (vfp)
            qToLittleEndian<quint32>(quint32(offset), d + 12);
        d[16] = uchar(fields[i].length);
        // Character fields keep the high byte of their length in the decimals.
        d[17] = uchar(fields[i].type == 'C' ? fields[i].length >> 8 : fields[i].decimals);
        d[18] = fields[i].flags;
        offset += fields[i].length;
    }
    h[32 + 32 * fields.size()] = 0x0D;
    for (const QByteArrayList& record : records) {
        file += ' ';
        for (int i = 0; i < fields.size(); ++i) {
            const QByteArray value = record.value(i);
            const bool number = fields[i].type == 'N' || fields[i].type == 'F';
            file += number ? value.rightJustified(fields[i].length, ' ', true) : value.leftJustified(fields[i].length, ' ', true);
        }
    }
    return file + '\x1A';
}

QByteArray Le32(qint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian<qint32>(v, b.data());
    return b;
}

QByteArray Le64(qint64 v)
{
    QByteArray b(8, '\0');
    qToLittleEndian<qint64>(v, b.data());
    return b;
}

// Every byte from 1 to 255 in records of 32, and text that blanks, NULs and padding surround.
QVector<QByteArrayList> TextRecords()
{
    QVector<QByteArrayList> records;
    for (int start = 1; start < 256; start += 32) {
        QByteArray bytes;
        for (int b = start; b < qMin(256, start + 32); ++b)
            bytes += char(b);
        records.append({bytes});
    }
    for (const QByteArray& text : {QByteArray(), QByteArray(" "), QByteArray("  lead"), QByteArray("trail  "), QByteArray("in\0side", 7),
                                   QByteArray("x\0\0\0", 4), QByteArray("\x80\x81\x8d\x8f\x90\x9d"), QByteArray("\xff\xfe \xe9")})
        records.append({text});
    return records;
}

const char* const NumberTexts[] = {"", "*", "**.**", "-0", "-0.00", "0.00", " 1.5", "1.5 ", "1e3", "1E-3", "+5", "+-1", "--1", "1.",
                                   ".5", "-.5", "+.5", ".", "-", "+", "1 2", "1.2.3", "0x10", "1,5", "12abc", "00012",
                                   "99999999999999999999", "123456789012345678", "1234567890123456789", "-9223372036854775808",
                                   "9223372036854775808", "-9223372036854775809", "inf", "-inf", "nan", "NaN", "1e999", "1e-310",
                                   "2.4e-324", "1e-400", "1.7976931348623159e308", "0.1", "3.14159265358979323846", "\t7", "7\t",
                                   "1e", "1e+", "e3", "5-", "*12"};

} // namespace

class TestFileHop : public QObject {
    Q_OBJECT

private slots:
    void dbfValuesAsBefore_data();
    void dbfValuesAsBefore();
    void byteTableOnlyForSingleBytePages_data();
    void byteTableOnlyForSingleBytePages();
    void csvValuesAsBefore_data();
    void csvValuesAsBefore();
    void textNumbersAsQtReadsThem_data();
    void textNumbersAsQtReadsThem();
    void shortDecimalsRoundAsQtRoundsThem();
    void isoDatesReadAsTheGeneralParserReadsThem();

private:
    static void CompareRoutes(FileFormat& format);
};

// The typed route and the Value route give SQLite the same storage class and bytes, for
// every value of a query and for aggregates that keep values across rows.
void TestFileHop::CompareRoutes(FileFormat& format)
{
    VariantOnlyFormat variants(format);
    Engine typed(&format);
    Engine old(&variants);
    const QByteArrayList rows = old.Rows("SELECT * FROM t");
    QVERIFY2(rows.size() > 1 && !rows.last().startsWith("error"), rows.last().constData());
    QCOMPARE(typed.Rows("SELECT * FROM t"), rows);
    const QByteArrayList names = old.ColumnNames();
    QVERIFY(!names.isEmpty());
    for (const QByteArray& name : names) {
        const QByteArray quoted = '"' + QByteArray(name).replace('"', "\"\"") + '"';
        const QByteArray sql = "SELECT min(" + quoted + "), max(" + quoted + "), group_concat(quote(" + quoted + "), ',') FROM t";
        const QByteArrayList aggregates = old.Rows(sql);
        QVERIFY2(!aggregates.last().startsWith("error"), aggregates.last().constData());
        QCOMPARE(typed.Rows(sql), aggregates);
    }
}

void TestFileHop::dbfValuesAsBefore_data()
{
    QTest::addColumn<QByteArray>("dbf");
    QTest::addColumn<QByteArray>("cpg");

    const struct {
        const char* name;
        quint8 driver;
    } pages[] = {{"cp437", 0x01}, {"cp850", 0x02}, {"cp1252", 0x03}, {"cp866", 0x26}, {"cp1251", 0xC9},
                 {"cp1253 (undefined bytes)", 0xCB}, {"cp874", 0x50}, {"macintosh", 0x04}, {"no driver", 0x00}};
    for (const auto& page : pages)
        QTest::newRow(page.name) << Dbf(0x03, page.driver, {{"NAME", 'C', 40}}, TextRecords()) << QByteArray();
    for (const char* cpg : {"UTF-8", "Shift_JIS", "KOI8-R", "88595", "Big5"})
        QTest::addRow("cpg %s", cpg) << Dbf(0x03, 0x03, {{"NAME", 'C', 40}}, TextRecords()) << QByteArray(cpg);
    const QByteArray utf8 = "na\xc3\xafve \xe2\x82\xac \xf0\x9f\x98\x80 \xef\xbb\xbf";
    QTest::newRow("cpg UTF-8, valid") << Dbf(0x03, 0x00, {{"NAME", 'C', 40}}, {{utf8}, {"\xc3"}, {"\xed\xa0\x80"}, {"\xef\xbb\xbf" "bom"}})
                                      << QByteArray("UTF-8");

    QTest::newRow("long text") << Dbf(0x03, 0x03, {{"NOTE", 'C', 300}},
                                      {{QByteArray(300, 'a')}, {QByteArray(299, '\xe9')}, {QByteArray(254, 'b')},
                                       {QByteArray(255, 'c')}, {QByteArray(200, 'd') + '\0' + "e"}})
                               << QByteArray();

    QVector<QByteArrayList> numbers;
    for (const char* text : NumberTexts)
        numbers.append({text, text, text, text});
    QTest::newRow("numbers") << Dbf(0x03, 0x03, {{"N0", 'N', 24, 0}, {"N2", 'N', 24, 2}, {"F3", 'F', 24, 3}, {"N5", 'N', 5, 0}}, numbers)
                             << QByteArray();

    QVector<QByteArrayList> dates;
    const char* const dateTexts[] = {"20240229", "20230229", "00000000", "", "2024 1 1", "99991231", "00010101", "19991301", "1999120",
                                     "2024-1-1", "19000100"};
    const char* const logicals[] = {"T", "t", "Y", "y", "F", "f", "N", "n", "?", "", "1", "0", "x"};
    for (size_t i = 0; i < std::max(std::size(dateTexts), std::size(logicals)); ++i)
        dates.append(QByteArrayList{dateTexts[i % std::size(dateTexts)], logicals[i % std::size(logicals)]});
    QTest::newRow("dates and logicals") << Dbf(0x03, 0x03, {{"BORN", 'D', 8}, {"OK", 'L', 1}}, dates) << QByteArray();

    // Visual FoxPro: nullable fields with their bits in _NullFlags (varBit of V first, then nullBit).
    const QVector<DbfField> vfp = {{"NAME", 'C', 10, 0, 0x02}, {"AMOUNT", 'N', 10, 2, 0x02}, {"COUNT", 'I', 4},
                                   {"PRICE", 'Y', 8},         {"SEEN", 'T', 8},               {"NOTE", 'V', 10, 0, 0x02},
                                   {"OK", 'L', 1, 0, 0x02},  {"RAW", 'Q', 6},                 {"_NullFlags", '0', 1, 0, 0x05}};
    QVector<QByteArrayList> vfpRecords;
    const QByteArray noteShort = QByteArray("ab\xe9", 3).leftJustified(9, '\0') + char(3);
    for (int mask : {0x00, 0x02, 0x08, 0x10, 0x20, 0x7F, 0x01, 0x04, 0x40}) {
        vfpRecords.append({"caf\xe9", "12.50", Le32(-7 * mask), Le64(123456789LL * (mask - 3)),
                           Le32(2460000 + mask) + Le32(mask * 1000003), noteShort, "T", QByteArray("\x00\x01\xfe\xff  ", 6),
                           QByteArray(1, char(mask))});
    }
    vfpRecords.append({"", "", Le32(0), Le64(0), Le32(0) + Le32(0), QByteArray(10, '\0'), "", QByteArray(6, '\0'),
                       QByteArray(1, '\0')});
    vfpRecords.append({"x", "*", Le32(1), Le64(1), Le32(2460000) + Le32(86400000), QByteArray(10, ' '), "?", "", QByteArray(1, '\x7f')});
    vfpRecords.append({"y", "1", Le32(1), Le64(1), Le32(-5) + Le32(0), QByteArray(10, '\x05'), "F", "", QByteArray(1, '\x01')});
    vfpRecords.append({"z", "1", Le32(1), Le64(1), Le32(99999999) + Le32(1), QByteArray(9, 'q') + char(9), "F", "", QByteArray(1, '\x01')});
    QTest::newRow("Visual FoxPro") << Dbf(0x30, 0x03, vfp, vfpRecords) << QByteArray();
}

void TestFileHop::dbfValuesAsBefore()
{
    QFETCH(QByteArray, dbf);
    QFETCH(QByteArray, cpg);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("t.dbf")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(dbf), dbf.size());
    file.close();
    if (!cpg.isEmpty()) {
        QFile cpgFile(dir.filePath(QStringLiteral("t.cpg")));
        QVERIFY(cpgFile.open(QIODevice::WriteOnly));
        cpgFile.write(cpg);
    }
    DbfFolderFormat format(dir.path());
    CompareRoutes(format);
}

void TestFileHop::byteTableOnlyForSingleBytePages_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<bool>("singleByte");
    for (const char* page : {"IBM437", "IBM850", "IBM866", "windows-1252", "windows-1253", "windows-874", "KOI8-R", "macintosh",
                             "ISO-8859-8", "x-mac-cyrillic"})
        QTest::newRow(page) << QByteArray(page) << true;
    // Aliases that do not say what they are: only decoding tells.
    for (const char* page : {"UTF-8", "Shift_JIS", "MS_Kanji", "ibm-943", "ibm-1386", "ibm-1390", "windows-949", "Big5", "GBK",
                             "ISO-2022-JP", "no-such-page"})
        QTest::newRow(page) << QByteArray(page) << false;
}

void TestFileHop::byteTableOnlyForSingleBytePages()
{
    QFETCH(QByteArray, page);
    QFETCH(bool, singleByte);
    const std::shared_ptr<const DbfUtf8Table> table = DbfUtf8Table::For(page);
    QCOMPARE(bool(table), singleByte);
    if (!table)
        return;
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        bytes += char(b);
    std::string utf8 = "kept ";
    table->Append(bytes.constData(), bytes.size(), utf8);
    QCOMPARE(QByteArray::fromStdString(utf8), "kept " + QString(QStringDecoder(page.constData()).decode(bytes)).toUtf8());
}

void TestFileHop::csvValuesAsBefore_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<QByteArray>("columns");
    QTest::addColumn<QByteArray>("decimal");

    const QByteArray allKinds = "Col1=T Text\r\nCol2=L Long\r\nCol3=S Short\r\nCol4=B Byte\r\nCol5=D Double\r\nCol6=C Currency\r\n"
                                "Col7=F Single\r\nCol8=A DateTime\r\nCol9=K Bit\r\nCol10=M Memo\r\n";
    QByteArray odd = "T,L,S,B,D,C,F,A,K,M\r\n";
    for (const char* text : NumberTexts)
        odd += QByteArray("\"") + text + "\"," + text + ',' + text + ',' + text + ',' + text + ',' + text + ',' + text + ',' + text
               + ',' + text + ",\"" + text + "\"\r\n";
    for (const char* text : {"2024-02-29", "2023-02-29", "2024/01/31", "2024-01-31 23:59:59", "2024-01-31T12:00", "2024-01-31 12:00:00.5",
                             "2024-01-31 24:00", "0001-01-01", "9999-12-31 23:59:59.999", "true", "No", "-1", "ON", "",
                             "caf\xc3\xa9", "\"\"", "\"a,b\"\"c\"", "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9"
                             "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9"
                             "0123456789012345678901234567890123456789012345678901234567890123456789012345678901234567890123456789"})
        odd += QByteArray(text) + ',' + text + ",,," + text + ",,," + text + ',' + text + ',' + text + "\r\n";
    QTest::newRow("every kind") << odd << allKinds << QByteArray(".");
    QTest::newRow("decimal comma") << QByteArray("T,D\r\n1;\"1,5\"\r\n2;1.5\r\n3;-,5\r\n4;1,5e3\r\n5;;\r\n")
                                   << QByteArray("Col1=T Long\r\nCol2=D Double\r\n") << QByteArray(",");
    // Without column definitions the types come from the rows: dates and big integers too.
    QTest::newRow("guessed kinds") << QByteArray("id,big,amount,day,stamp,name\r\n1,12345678901,1.25,2024-01-31,2024-01-31 10:00:00,a\r\n"
                                                 "2,-9223372036854775808,-0.5,2023-12-01,2024-02-29 23:59:59.5,\r\n"
                                                 ",,,,,\"\"\r\n-3,9223372036854775807,1e3,1999-01-01,1999-01-01 00:00:00,\"x\"\r\n")
                                   << QByteArray("MaxScanRows=0\r\n") << QByteArray(".");
}

void TestFileHop::csvValuesAsBefore()
{
    QFETCH(QByteArray, csv);
    QFETCH(QByteArray, columns);
    QFETCH(QByteArray, decimal);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("t.csv")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(csv);
    file.close();
    QFile schema(dir.filePath(QStringLiteral("Schema.ini")));
    QVERIFY(schema.open(QIODevice::WriteOnly));
    const QByteArray delimiter = decimal == "," ? "Delimited(;)" : "CSVDelimited";
    schema.write("[t.csv]\r\nColNameHeader=True\r\nFormat=" + delimiter + "\r\nDecimalSymbol=" + decimal + "\r\nCharacterSet=65001\r\n"
                 + columns);
    schema.close();
    TextFolderFormat format(dir.path());
    CompareRoutes(format);
}

void TestFileHop::textNumbersAsQtReadsThem_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QChar>("decimal");
    for (const char* text : NumberTexts) {
        QTest::addRow("'%s'", text) << QString::fromLatin1(text) << QChar(u'.');
        QTest::addRow("'%s' with a comma", text) << QString::fromLatin1(text).replace(u'.', u',') << QChar(u',');
    }
    for (const char* text : {"  12  ", "+0", "-00", "1234567890123456789", "-1234567890123456789", "00000000000000000001",
                             "123456789012345678901234567890.5", "1e-320", "4.9e-324", "1.7976931348623157e308"})
        QTest::addRow("'%s'", text) << QString::fromLatin1(text) << QChar(u'.');
}

// Whatever the text codec accepts as a number, Qt reads the same; and the other way round
// for every text in plain notation.
void TestFileHop::textNumbersAsQtReadsThem()
{
    QFETCH(QString, text);
    QFETCH(QChar, decimal);
    const TextValueCodec codec(decimal);
    QString plain = text.trimmed();
    plain.replace(decimal, u'.');
    const bool notation = !plain.isEmpty() && std::all_of(plain.cbegin(), plain.cend(), [](QChar c) {
        return c.isDigit() || c == u'.' || c == u'-' || c == u'+' || c == u'e' || c == u'E';
    });

    bool qtOk = false;
    const double qt = plain.toLatin1().toDouble(&qtOk);
    double ours = 0;
    const bool ok = codec.ParseNumber(text, &ours);
    if (ok) {
        QVERIFY(qtOk);
        QCOMPARE(std::memcmp(&ours, &qt, sizeof qt), 0);
    } else if (notation && decimal == u'.' && plain.count(u'.') <= 1) {
        QVERIFY2(!qtOk, qPrintable(QString::number(qt, 'g', 17)));
    }

    bool qtIntegerOk = false;
    const qint64 qtInteger = text.trimmed().toLongLong(&qtIntegerOk);
    qint64 integer = 0;
    const bool integerOk = codec.ParseInteger(text, &integer);
    if (integerOk) {
        QVERIFY(qtIntegerOk);
        QCOMPARE(integer, qtInteger);
    } else if (qtIntegerOk) {
        // Only texts longer than any 64-bit integer are refused (leading zeros included).
        QVERIFY(text.trimmed().size() > 19);
    }
}

// Decimals of up to 16 digits, every split between integer and fraction, read bit for bit
// as Qt reads them: the shortest take a quicker route than the longer ones.
void TestFileHop::shortDecimalsRoundAsQtRoundsThem()
{
    const TextValueCodec codec(u'.');
    quint64 seed = 0x9e3779b97f4a7c15ULL;
    for (int n = 0; n < 200000; ++n) {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        const int digits = 1 + int(seed % 16);
        QByteArray text = QByteArray::number(seed >> 8).right(digits);
        const int point = int((seed >> 4) % (digits + 1));
        if (point < digits)
            text.insert(point, '.');
        if (seed & 1)
            text.prepend('-');
        bool qtOk = false;
        const double qt = text.toDouble(&qtOk);
        double ours = 0;
        QVERIFY2(codec.ParseNumber(QString::fromLatin1(text), &ours) && qtOk, text.constData());
        QVERIFY2(std::memcmp(&ours, &qt, sizeof qt) == 0, text.constData());
    }
}

// A Date column reads "yyyy-MM-dd" on a path of its own; a DateTime column reads it with
// the general parser, and Qt reads it too. All three agree on every day of the years at the
// calendar's edges, and on the days and months just outside them.
void TestFileHop::isoDatesReadAsTheGeneralParserReadsThem()
{
    const TextValueCodec codec(u'.');
    TextColumn date;
    date.kind = TextColumnKind::Date;
    TextColumn dateTime;
    dateTime.kind = TextColumnKind::DateTime;
    QStringList fields{u"0000-01-01"_s, u"2024-1-01"_s, u"2024/02/29"_s, u" 2024-02-29"_s, u"2024-02-29 "_s,
                       u"2O24-02-29"_s, u"2024-02-2x"_s, u"20240229"_s, u"+024-02-29"_s, u"-024-02-29"_s};
    for (int year : {1, 4, 99, 100, 400, 999, 1582, 1600, 1700, 1899, 1900, 1970, 2000, 2023, 2024, 2100, 2400, 9999})
        for (int month = 0; month <= 13; ++month)
            for (int day = 0; day <= 32; ++day)
                fields << QString::asprintf("%04d-%02d-%02d", year, month, day);
    for (const QString& field : fields) {
        const QVariant fast = codec.Parse(field, false, date);
        const QVariant general = codec.Parse(field, false, dateTime);
        QCOMPARE(fast.isNull(), general.isNull());
        if (fast.isNull())
            continue;
        QCOMPARE(fast.typeId(), QMetaType::QDate);
        QCOMPARE(fast.toDate(), general.toDateTime().date());
        if (field.size() == 10 && field[4] == u'-')
            QCOMPARE(fast.toDate(), QDate::fromString(field, u"yyyy-MM-dd"_s));
    }
}

DABRIX_TEST_MAIN(TestFileHop)
#include "tst_filehop.moc"
