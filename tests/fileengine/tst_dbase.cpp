#include "support/FileBytes.h"
#include "support/ReadRows.h"
#include "support/TestMain.h"

#include "ado/AdoError.h"
#include "ado/Catalog.h"
#include "ado/Connection.h"
#include "ado/Recordset.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtEndian>

#include <unistd.h>

using testsupport::ReadBytes;
using testsupport::WriteBytes;

using namespace ado;

namespace {

const QString DbfFolder = QStringLiteral("dbf/infused");

// What shapelib's dbfdump reads: field titles and types, and each record's raw values.
struct Dump {
    struct Field {
        QByteArray title;
        char type;
    };
    QVector<Field> fields;
    QVector<QVector<QByteArray>> records;
};

Dump DbfDump(const QString& path)
{
    Dump dump;
    QProcess header;
    header.start(QStringLiteral("dbfdump"), {QStringLiteral("-h"), path});
    header.waitForFinished();
    const QRegularExpression fieldLine(QStringLiteral("^Field \\d+: Type=(.)/\\w+, Title=`(.*)', Width"));
    for (const QByteArray& line : header.readAllStandardOutput().split('\n')) {
        const QRegularExpressionMatch m = fieldLine.match(QString::fromLatin1(line));
        if (!m.hasMatch())
            break;
        // The title is raw bytes: take it from the line, not from the Latin-1 match.
        const qsizetype start = line.indexOf('`') + 1;
        dump.fields.append({line.mid(start, line.lastIndexOf("', Width") - start), m.captured(1).at(0).toLatin1()});
    }
    QProcess records;
    records.start(QStringLiteral("dbfdump"), {QStringLiteral("-m"), QStringLiteral("-r"), path});
    records.waitForFinished();
    int field = 0;
    for (const QByteArray& line : records.readAllStandardOutput().split('\n')) {
        if (line.startsWith("Record: ") && (dump.records.isEmpty() || field == dump.fields.size())) {
            dump.records.append(QVector<QByteArray>());
            field = 0;
        } else if (!dump.records.isEmpty() && field < dump.fields.size() && line.startsWith(dump.fields[field].title + ": ")) {
            dump.records.last().append(line.mid(dump.fields[field].title.size() + 2));
            ++field;
        } else if (!dump.records.isEmpty() && field > 0 && !line.isEmpty()) {
            dump.records.last().last() += '\n' + line; // a line break inside a value
        }
    }
    return dump;
}

// Copies fixtures into a writable temporary folder.
void CopyInto(const QTemporaryDir& dir, const QString& folder, const QStringList& files, const QStringList& as = {})
{
    for (int i = 0; i < files.size(); ++i) {
        const QString target = dir.filePath(as.value(i, files[i]));
        QVERIFY(QFile::copy(testsupport::FixturePath(folder + u'/' + files[i]), target));
        QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner));
    }
}

QString DbaseString(const QString& folder)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Extended Properties = Dbase IV;").arg(folder);
}

// An independent look at a record: header length and record length from the header.
QByteArray RawRecord(const QByteArray& file, int index)
{
    const auto* h = reinterpret_cast<const uchar*>(file.constData());
    const int headerLength = qFromLittleEndian<quint16>(h + 8);
    const int recordLength = qFromLittleEndian<quint16>(h + 10);
    return file.mid(headerLength + qsizetype(index) * recordLength, recordLength);
}

int RecordCount(const QByteArray& file)
{
    return int(qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(file.constData()) + 4));
}

// The memo at block: dBase III text to 0x1A, dBase IV FF FF 08 00 blocks, FoxPro blocks.
QByteArray MemoAt(const QByteArray& memo, qint64 block, const QString& suffix)
{
    const auto* h = reinterpret_cast<const uchar*>(memo.constData());
    if (suffix == u"fpt") {
        const qint64 pos = block * qFromBigEndian<quint16>(h + 6);
        return memo.mid(pos + 8, qFromBigEndian<quint32>(h + pos + 4));
    }
    const int blockSize = qFromLittleEndian<quint16>(h + 20) ? qFromLittleEndian<quint16>(h + 20) : 512;
    const qint64 pos = block * blockSize;
    if (memo.mid(pos, 4) == QByteArray("\xFF\xFF\x08\x00", 4))
        return memo.mid(pos + 8, qFromLittleEndian<quint32>(h + pos + 4) - 8);
    return memo.mid(pos, memo.indexOf('\x1A', pos) - pos);
}

// The memo block of a record: dbfdump shows text pointers; Visual FoxPro's are 4 binary
// bytes at the displacement its descriptor gives.
qint64 BlockOf(const Dump& dump, int record, int column, const QString& path)
{
    const Dump::Field& field = dump.fields[column];
    const QByteArray file = ReadBytes(path);
    if (file[0] != '\x30')
        return dump.records[record][column].trimmed().toLongLong();
    for (int at = 32; file[at] != '\x0D'; at += 32) {
        if (file.mid(at, 11).startsWith(field.title + '\0')) {
            const int displacement = qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(file.constData()) + at + 12);
            return qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(RawRecord(file, record).constData()) + displacement);
        }
    }
    return -1;
}

QVector<QVector<QVariant>> ReadTable(Connection& cnx, const QString& sql)
{
    return testsupport::ReadRows(cnx, sql);
}

QStringList FieldNames(Connection& cnx, const QString& table)
{
    Recordset rs;
    rs.Open(QStringLiteral("SELECT * FROM [%1]").arg(table), &cnx);
    QStringList names;
    for (int i = 0; i < rs.FieldCount(); ++i)
        names.append(rs.Fields(i).Name());
    return names;
}

// Compares a value we read with dbfdump's raw text of a C, N, F, D or L field.
QString Mismatch(char type, const QByteArray& raw, const QVariant& ours, QStringDecoder& decoder)
{
    const QByteArray trimmed = raw.trimmed();
    bool same = false;
    QString expected;
    switch (type) {
    case 'C': {
        // dbfdump drops leading and trailing blanks.
        expected = decoder.decode(trimmed);
        same = ours.toString().trimmed() == expected;
        break;
    }
    case 'N': case 'F':
        expected = QString::fromLatin1(trimmed);
        same = trimmed.isEmpty() ? ours.isNull() : !ours.isNull() && ours.toDouble() == trimmed.toDouble();
        break;
    case 'D':
        expected = QString::fromLatin1(trimmed);
        same = trimmed.isEmpty() || trimmed == "00000000" ? ours.isNull()
                                                          : ours.toDate() == QDate::fromString(expected, QStringLiteral("yyyyMMdd"));
        break;
    case 'L':
        expected = QString::fromLatin1(trimmed);
        same = QByteArray("TtYy").contains(trimmed.left(1)) && !trimmed.isEmpty() ? ours == QVariant(true)
               : QByteArray("FfNn").contains(trimmed.left(1)) && !trimmed.isEmpty() ? ours == QVariant(false)
                                                                                    : ours.isNull();
        break;
    default:
        return {};
    }
    return same ? QString() : QStringLiteral("expected '%1', read '%2'").arg(expected, ours.toString());
}

} // namespace

class TestDbase : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QProcess probe;
        probe.start(QStringLiteral("dbfdump"), {});
        if (!probe.waitForStarted())
            QSKIP("dbfdump (Debian package shapelib) is not installed");
        probe.waitForFinished();
    }

    void listsEveryTable()
    {
        QTemporaryDir dir;
        const QDir fixtures(testsupport::FixturePath(DbfFolder));
        QStringList expected;
        for (const QString& file : fixtures.entryList(QDir::Files)) {
            CopyInto(dir, DbfFolder, {file});
            if (file.endsWith(u".dbf"))
                expected << file.chopped(4);
        }
        CopyInto(dir, QStringLiteral("dbf/pyshp"), {QStringLiteral("latin1.dbf")}, {QStringLiteral("UPPER.DBF")});
        expected << QStringLiteral("UPPER");
        Connection cnx;
        cnx.Open(DbaseString(dir.path()));
        Catalog catalog;
        catalog.SetActiveConnection(&cnx);
        QStringList names;
        for (const TableInfo& t : catalog.Tables()) {
            QCOMPARE(t.Type, QStringLiteral("TABLE"));
            names << t.Name;
        }
        names.sort(Qt::CaseInsensitive);
        expected.sort(Qt::CaseInsensitive);
        QCOMPARE(names, expected);
    }

    void readsAsDbfdump_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("codePage");
        QTest::addColumn<QByteArray>("cpg"); // a .cpg file to put beside the table
        const QString pyshp = QStringLiteral("dbf/pyshp");
        QTest::newRow("dBase III") << DbfFolder << "dbase_03.dbf" << QByteArray("windows-1252") << QByteArray();
        QTest::newRow("dBase III memo") << DbfFolder << "dbase_83.dbf" << QByteArray("windows-1252") << QByteArray();
        QTest::newRow("dBase IV memo") << DbfFolder << "dbase_8b.dbf" << QByteArray("windows-1252") << QByteArray();
        QTest::newRow("FoxPro 2") << DbfFolder << "dbase_f5.dbf" << QByteArray("windows-1252") << QByteArray();
        QTest::newRow("Visual FoxPro") << DbfFolder << "dbase_30.dbf" << QByteArray("windows-1252") << QByteArray();
        QTest::newRow("VFP autoincrement") << DbfFolder << "dbase_31.dbf" << QByteArray("windows-1252") << QByteArray();
        QTest::newRow("VFP container") << DbfFolder << "foxprodb_contacts.dbf" << QByteArray("windows-1252") << QByteArray();
        QTest::newRow("VFP lookup") << DbfFolder << "foxprodb_types.dbf" << QByteArray("windows-1252") << QByteArray();
        QTest::newRow("cp1251 driver") << DbfFolder << "cp1251.dbf" << QByteArray("windows-1251") << QByteArray();
        QTest::newRow("unmarked UTF-8") << DbfFolder << "dbase_03_cyrillic.dbf" << QByteArray("UTF-8") << QByteArray();
        QTest::newRow("unmarked Latin-1") << pyshp << "latin1.dbf" << QByteArray("windows-1252") << QByteArray();
        QTest::newRow("shapefile ANSI") << pyshp << "blockgroups.dbf" << QByteArray("windows-1252") << QByteArray();
        QTest::newRow("bytes after the records") << pyshp << "corrupt_too_long.dbf" << QByteArray("windows-1252") << QByteArray();
        QTest::newRow("cpg names the code page") << DbfFolder << "dbase_f5.dbf" << QByteArray("IBM850") << QByteArray("850\r\n");
        QTest::newRow("cpg ANSI form") << DbfFolder << "cp1251.dbf" << QByteArray("windows-1251") << QByteArray("ANSI 1251");
    }
    void readsAsDbfdump()
    {
        QFETCH(QString, folder);
        QFETCH(QString, file);
        QFETCH(QByteArray, codePage);
        QFETCH(QByteArray, cpg);
        QTemporaryDir dir;
        if (!cpg.isEmpty()) {
            QFile f(dir.filePath(file.chopped(4) + QStringLiteral(".CPG")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(cpg);
        }
        QStringList withMemo{file};
        for (const QString& memo : QDir(testsupport::FixturePath(folder)).entryList({file.chopped(4) + QStringLiteral(".?pt"), file.chopped(4) + QStringLiteral(".dbt")}))
            withMemo << memo;
        CopyInto(dir, folder, withMemo);
        const QString path = dir.filePath(file);
        const Dump dump = DbfDump(path);
        QVERIFY(!dump.fields.isEmpty());

        Connection cnx;
        cnx.Open(DbaseString(dir.path()));
        const QString table = file.chopped(4);
        QVector<QVector<QVariant>> rows;
        try {
            rows = ReadTable(cnx, QStringLiteral("SELECT * FROM [%1]").arg(table));
        } catch (const AdoError& e) {
            QFAIL(e.what());
        }
        QCOMPARE(rows.size(), dump.records.size());

        QStringDecoder decoder(codePage.constData());
        QVector<int> visible; // dbfdump's field index of each of our columns
        for (int i = 0; i < dump.fields.size(); ++i) {
            if (dump.fields[i].type != '0')
                visible.append(i);
        }
        const QStringList names = FieldNames(cnx, table);
        QCOMPARE(names.size(), visible.size());
        for (int c = 0; c < visible.size(); ++c) {
            const QString title = QStringDecoder(codePage.constData()).decode(dump.fields[visible[c]].title);
            QVERIFY2(names[c] == title || names[c].startsWith(title + u'_'), qPrintable(names[c] + QStringLiteral(" vs ") + title));
        }
        int compared = 0;
        for (int r = 0; r < rows.size(); ++r) {
            for (int c = 0; c < visible.size(); ++c) {
                const Dump::Field& f = dump.fields[visible[c]];
                const QString why = Mismatch(f.type, dump.records[r].value(visible[c]), rows[r][c], decoder);
                QVERIFY2(why.isEmpty(), qPrintable(QStringLiteral("record %1, field %2: %3").arg(r).arg(names[c], why)));
                compared += QByteArray("CNFDL").contains(f.type) ? 1 : 0;
            }
        }
        QVERIFY(compared > 0);
    }

    void readsMemos_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("memoSuffix");
        QTest::addColumn<QString>("field");
        QTest::newRow("dBase III .dbt") << "dbase_83" << "dbt" << "DESC";
        QTest::newRow("dBase IV .dbt") << "dbase_8b" << "dbt" << "MEMO";
        QTest::newRow("FoxPro .fpt") << "dbase_f5" << "fpt" << "OBSE";
        QTest::newRow("Visual FoxPro .fpt") << "dbase_30" << "fpt" << "NOTES";
    }
    void readsMemos()
    {
        QFETCH(QString, base);
        QFETCH(QString, memoSuffix);
        QFETCH(QString, field);
        QTemporaryDir dir;
        CopyInto(dir, DbfFolder, {base + QStringLiteral(".dbf"), base + u'.' + memoSuffix});
        const Dump dump = DbfDump(dir.filePath(base + QStringLiteral(".dbf")));
        int column = -1;
        for (int i = 0; i < dump.fields.size(); ++i)
            column = dump.fields[i].title == field.toLatin1() ? i : column;
        QVERIFY(column >= 0);
        const QByteArray memo = ReadBytes(dir.filePath(base + u'.' + memoSuffix));

        Connection cnx;
        cnx.Open(DbaseString(dir.path()));
        const QVector<QVector<QVariant>> rows = ReadTable(cnx, QStringLiteral("SELECT [%1] FROM [%2]").arg(field, base));
        QCOMPARE(rows.size(), dump.records.size());
        QStringDecoder decoder("windows-1252");
        int nonEmpty = 0;
        for (int r = 0; r < rows.size(); ++r) {
            const qint64 block = BlockOf(dump, r, column, dir.filePath(base + QStringLiteral(".dbf")));
            if (block == 0) {
                QVERIFY(rows[r][0].isNull());
                continue;
            }
            QCOMPARE(rows[r][0].toString(), decoder.decode(MemoAt(memo, block, memoSuffix)));
            nonEmpty += rows[r][0].toString().isEmpty() ? 0 : 1;
        }
        QVERIFY(nonEmpty > 0);
    }

    // Visual FoxPro binary fields (I, Y, L) against the same Northwind products in CSV.
    void readsFoxProBinaryFields()
    {
        QTemporaryDir dir;
        CopyInto(dir, DbfFolder, {QStringLiteral("dbase_31.dbf")});
        Connection cnx;
        cnx.Open(DbaseString(dir.path()));
        const QVector<QVector<QVariant>> rows = ReadTable(cnx, QStringLiteral("SELECT PRODUCTID, PRODUCTNAM, SUPPLIERID, CATEGORYID, UNITPRICE, "
                                                                              "UNITSINSTO, UNITSONORD, REORDERLEV, DISCONTINU FROM dbase_31"));
        const QList<QByteArray> lines = ReadBytes(testsupport::FixturePath(QStringLiteral("csv/northwind-neo4j/products.csv"))).trimmed().split('\n');
        QCOMPARE(rows.size(), lines.size() - 1);
        for (int r = 0; r < rows.size(); ++r) {
            const QStringList csv = QString::fromUtf8(lines[r + 1]).trimmed().split(u',');
            const QVector<QVariant>& row = rows[r];
            QCOMPARE(row[0].toLongLong(), csv[0].toLongLong());
            // The file is marked windows-1252 but holds DOS text ("Guaran\xA0"): ASCII names only.
            if (csv[1].toLatin1() == csv[1].toUtf8())
                QCOMPARE(row[1].toString(), csv[1]);
            QCOMPARE(row[2].toLongLong(), csv[2].toLongLong());
            QCOMPARE(row[3].toLongLong(), csv[3].toLongLong());
            QCOMPARE(row[4].toDouble(), csv[5].toDouble());
            QCOMPARE(row[5].toLongLong(), csv[6].toLongLong());
            QCOMPARE(row[6].toLongLong(), csv[7].toLongLong());
            QCOMPARE(row[7].toLongLong(), csv[8].toLongLong());
            QCOMPARE(row[8].toBool(), csv[9] == u"1");
        }
    }

    // dbfdump cannot read dBase II: the facts come from the file's bytes.
    void readsDBase2()
    {
        QTemporaryDir dir;
        CopyInto(dir, DbfFolder, {QStringLiteral("dbase_02.dbf")});
        Connection cnx;
        cnx.Open(DbaseString(dir.path()));
        const QStringList names = FieldNames(cnx, QStringLiteral("dbase_02"));
        QCOMPARE(names.size(), 14);
        QCOMPARE(names.first(), u"EMP:NMBR"_qs);
        const auto rows = ReadTable(cnx, QStringLiteral("SELECT [EMP:NMBR], LAST, FIRST, PAYRATE FROM dbase_02"));
        QCOMPARE(rows.size(), 9);
        QCOMPARE(rows[0][0].toLongLong(), 2);
        QCOMPARE(rows[0][1].toString(), u"Stegman"_qs);
        QCOMPARE(rows[0][2].toString(), u"Joe"_qs);
        QVERIFY_THROWS_EXCEPTION(AdoError, cnx.Execute(QStringLiteral("DELETE FROM dbase_02")));
    }

    void acceptsTheNameWithItsExtension()
    {
        QTemporaryDir dir;
        CopyInto(dir, DbfFolder, {QStringLiteral("dbase_8b.dbf"), QStringLiteral("dbase_8b.dbt")}, {QStringLiteral("Clients.DBF"), QStringLiteral("Clients.DBT")});
        Connection cnx;
        cnx.Open(DbaseString(dir.path()));
        QCOMPARE(ReadTable(cnx, QStringLiteral("SELECT * FROM clients.dbf")).size(), 10);
        QCOMPARE(ReadTable(cnx, QStringLiteral("SELECT * FROM [Clients.dbf] WHERE LOGICAL")).size(),
                 ReadTable(cnx, QStringLiteral("SELECT * FROM Clients WHERE LOGICAL = 1")).size());
        QCOMPARE(cnx.Execute(QStringLiteral("UPDATE clients.dbf SET NUMERICAL = 7 WHERE CHARACTER = 'One'")), 1);
    }

    void updateRewritesOneRecord()
    {
        QTemporaryDir dir;
        CopyInto(dir, DbfFolder, {QStringLiteral("dbase_8b.dbf"), QStringLiteral("dbase_8b.dbt")});
        const QString path = dir.filePath(QStringLiteral("dbase_8b.dbf"));
        const QByteArray before = ReadBytes(path);
        const QByteArray memoBefore = ReadBytes(dir.filePath(QStringLiteral("dbase_8b.dbt")));
        const Dump dumpBefore = DbfDump(path);
        Connection cnx;
        cnx.Open(DbaseString(dir.path()));
        QCOMPARE(cnx.Execute(QStringLiteral("UPDATE dbase_8b SET CHARACTER = 'Changed', NUMERICAL = -12345.5, DATE = '2021-03-04', "
                                            "LOGICAL = 1 WHERE CHARACTER = 'Two'")),
                 1);
        const QByteArray after = ReadBytes(path);
        QCOMPARE(after.size(), before.size());
        QCOMPARE(ReadBytes(dir.filePath(QStringLiteral("dbase_8b.dbt"))), memoBefore); // the memo was not touched
        const Dump dump = DbfDump(path);
        QCOMPARE(dump.records.size(), 10);
        for (int r = 0; r < 10; ++r) {
            if (r == 1)
                continue;
            QCOMPARE(RawRecord(after, r), RawRecord(before, r));
        }
        const QVector<QByteArray>& changed = dump.records[1];
        QCOMPARE(changed[0].trimmed(), QByteArray("Changed"));
        QCOMPARE(changed[1].trimmed(), QByteArray("-12345.50"));
        QCOMPARE(RawRecord(after, 1).mid(101, 20), QByteArray("           -12345.50"));
        QCOMPARE(changed[2], QByteArray("20210304"));
        QCOMPARE(changed[3], QByteArray("T"));
        QCOMPARE(changed[4], dumpBefore.records[1][4]);
        QCOMPARE(changed[5], dumpBefore.records[1][5]);
    }

    void updateWritesNewMemoBlocks()
    {
        QTemporaryDir dir;
        CopyInto(dir, DbfFolder, {QStringLiteral("dbase_f5.dbf"), QStringLiteral("dbase_f5.fpt")});
        const QString memoPath = dir.filePath(QStringLiteral("dbase_f5.fpt"));
        const QByteArray memoBefore = ReadBytes(memoPath);
        const QString text = QStringLiteral("Nova nota: àèéíòóú ç\r\nSegona línia");
        Connection cnx;
        cnx.Open(DbaseString(dir.path()));
        const int carmens = int(ReadTable(cnx, QStringLiteral("SELECT NOM FROM dbase_f5 WHERE NOM = 'carmen'")).size());
        QVERIFY(carmens > 1);
        QCOMPARE(cnx.Execute(QStringLiteral("UPDATE dbase_f5 SET OBSE = '%1' WHERE NOM = 'carmen'").arg(text)), carmens);
        const QByteArray memo = ReadBytes(memoPath);
        QCOMPARE(memo.left(memoBefore.size()).mid(8), memoBefore.mid(8)); // old blocks stay, only the pointer moves
        const quint32 oldNext = qFromBigEndian<quint32>(reinterpret_cast<const uchar*>(memoBefore.constData()));
        const quint32 next = qFromBigEndian<quint32>(reinterpret_cast<const uchar*>(memo.constData()));
        QVERIFY(next > oldNext);
        QCOMPARE(qint64(next) * 64, memo.size());
        const Dump dump = DbfDump(dir.filePath(QStringLiteral("dbase_f5.dbf")));
        int obs = 0;
        int nom = 0;
        for (int i = 0; i < dump.fields.size(); ++i) {
            obs = dump.fields[i].title == "OBSE" ? i : obs;
            nom = dump.fields[i].title == "NOM" ? i : nom;
        }
        int found = 0;
        for (const QVector<QByteArray>& record : dump.records) {
            if (record[nom].trimmed() != "carmen")
                continue;
            ++found;
            QStringDecoder decoder("windows-1252");
            QCOMPARE(decoder.decode(MemoAt(memo, record[obs].trimmed().toLongLong(), QStringLiteral("fpt"))), text);
        }
        QCOMPARE(found, carmens);
        QCOMPARE(ReadTable(cnx, QStringLiteral("SELECT OBSE FROM dbase_f5 WHERE NOM = 'carmen'")).value(carmens - 1).value(0).toString(), text);
    }

    void insertAppendsAndCounts()
    {
        QTemporaryDir dir;
        CopyInto(dir, DbfFolder, {QStringLiteral("dbase_83.dbf"), QStringLiteral("dbase_83.dbt")});
        const QString path = dir.filePath(QStringLiteral("dbase_83.dbf"));
        const QByteArray before = ReadBytes(path);
        const QByteArray memoBefore = ReadBytes(dir.filePath(QStringLiteral("dbase_83.dbt")));
        Connection cnx;
        cnx.Open(DbaseString(dir.path()));
        QCOMPARE(cnx.Execute(QStringLiteral("INSERT INTO dbase_83 (ID, CODE, NAME, PRICE, [DESC], TAXABLE, ACTIVE) "
                                            "VALUES (999, 'NEW-1', 'A new product', 12.5, 'Its description', 1, 0)")),
                 1);
        const QByteArray after = ReadBytes(path);
        const int length = qFromLittleEndian<quint16>(reinterpret_cast<const uchar*>(before.constData()) + 10);
        QCOMPARE(RecordCount(after), RecordCount(before) + 1);
        QCOMPARE(after.size(), before.size() + length);
        QVERIFY(after.endsWith('\x1A'));
        const int headerLength = qFromLittleEndian<quint16>(reinterpret_cast<const uchar*>(before.constData()) + 8);
        QCOMPARE(after.mid(32, headerLength - 32), before.mid(32, headerLength - 32)); // only count and date change
        for (int r = 0; r < RecordCount(before); ++r)
            QCOMPARE(RawRecord(after, r), RawRecord(before, r));

        const Dump dump = DbfDump(path);
        QCOMPARE(dump.records.size(), RecordCount(before) + 1);
        const QVector<QByteArray>& added = dump.records.last();
        QStringList fields;
        for (const Dump::Field& f : dump.fields)
            fields << QString::fromLatin1(f.title);
        QCOMPARE(added[fields.indexOf(u"ID"_qs)].trimmed(), QByteArray("999"));
        QCOMPARE(added[fields.indexOf(u"CODE"_qs)].trimmed(), QByteArray("NEW-1"));
        QCOMPARE(added[fields.indexOf(u"PRICE"_qs)].trimmed(), QByteArray("12.50"));
        QCOMPARE(added[fields.indexOf(u"TAXABLE"_qs)], QByteArray("T"));
        QCOMPARE(added[fields.indexOf(u"ACTIVE"_qs)], QByteArray("F"));
        const QByteArray memo = ReadBytes(dir.filePath(QStringLiteral("dbase_83.dbt")));
        QCOMPARE(memo.mid(4, memoBefore.size() - 4), memoBefore.mid(4));
        QCOMPARE(MemoAt(memo, added[fields.indexOf(u"DESC"_qs)].trimmed().toLongLong(), QStringLiteral("dbt")), QByteArray("Its description"));
        QCOMPARE(qint64(qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(memo.constData()))) * 512, memo.size());
    }

    void insertTakesTheAutoIncrement()
    {
        QTemporaryDir dir;
        CopyInto(dir, DbfFolder, {QStringLiteral("dbase_31.dbf")});
        Connection cnx;
        cnx.Open(DbaseString(dir.path()));
        cnx.Execute(QStringLiteral("INSERT INTO dbase_31 (PRODUCTNAM, UNITPRICE, UNITSINSTO, DISCONTINU) VALUES ('Tea', 12.3456, 7, 1)"));
        cnx.Execute(QStringLiteral("INSERT INTO dbase_31 (PRODUCTNAM) VALUES ('Coffee')"));
        const auto rows = ReadTable(cnx, QStringLiteral("SELECT PRODUCTID, PRODUCTNAM, UNITPRICE, UNITSINSTO, DISCONTINU FROM dbase_31 WHERE PRODUCTID > 77"));
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0][0].toLongLong(), 78);
        QCOMPARE(rows[0][2].toDouble(), 12.3456);
        QCOMPARE(rows[0][3].toLongLong(), 7);
        QCOMPARE(rows[0][4].toBool(), true);
        QCOMPARE(rows[1][0].toLongLong(), 79);
        QCOMPARE(rows[1][1].toString(), u"Coffee"_qs);
        // The next value is kept in the field descriptor.
        const QByteArray file = ReadBytes(dir.filePath(QStringLiteral("dbase_31.dbf")));
        QCOMPARE(qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(file.constData()) + 32 + 19), 80u);
    }

    void deleteFlagsAndHides()
    {
        QTemporaryDir dir;
        CopyInto(dir, DbfFolder, {QStringLiteral("dbase_03.dbf")});
        const QString path = dir.filePath(QStringLiteral("dbase_03.dbf"));
        const QByteArray before = ReadBytes(path);
        Connection cnx;
        cnx.Open(DbaseString(dir.path()));
        const auto ids = ReadTable(cnx, QStringLiteral("SELECT Point_ID FROM dbase_03"));
        QCOMPARE(cnx.Execute(QStringLiteral("DELETE FROM dbase_03 WHERE Point_ID = '%1'").arg(ids[3][0].toString())), 1);
        const QByteArray after = ReadBytes(path);
        QCOMPARE(after.size(), before.size());
        for (int r = 0; r < RecordCount(before); ++r) {
            QByteArray expected = RawRecord(before, r);
            if (r == 3)
                expected[0] = '*';
            QCOMPARE(RawRecord(after, r), expected);
        }
        QCOMPARE(ReadTable(cnx, QStringLiteral("SELECT COUNT(*) FROM dbase_03")).value(0).value(0).toInt(), RecordCount(before) - 1);
        QCOMPARE(DbfDump(path).records.size(), RecordCount(before)); // still in the file
        // A deleted record cannot be changed through a stale row id either.
        QCOMPARE(cnx.Execute(QStringLiteral("UPDATE dbase_03 SET Point_ID = 'x' WHERE Point_ID = '%1'").arg(ids[3][0].toString())), 0);
    }

    void roundTripsEveryWritableType()
    {
        QTemporaryDir dir;
        CopyInto(dir, DbfFolder, {QStringLiteral("foxprodb_contacts.dbf"), QStringLiteral("foxprodb_contacts.FPT")},
                 {QStringLiteral("contacts.dbf"), QStringLiteral("contacts.FPT")});
        Connection cnx;
        cnx.Open(DbaseString(dir.path()));
        const QStringList names = FieldNames(cnx, QStringLiteral("contacts"));
        QVERIFY(names.contains(u"NOTES"_qs));
        Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM contacts"), &cnx);
        QString dateField, dateTimeField, intField;
        for (int i = 0; i < rs.FieldCount(); ++i) {
            const int type = rs.Fields(i).Type();
            if (type == 133 && dateField.isEmpty())
                dateField = rs.Fields(i).Name();
            if (type == 135 && dateTimeField.isEmpty())
                dateTimeField = rs.Fields(i).Name();
            if (type == 3 && intField.isEmpty())
                intField = rs.Fields(i).Name();
        }
        rs.Close();
        QVERIFY(!dateField.isEmpty() && !dateTimeField.isEmpty() && !intField.isEmpty());
        const int before = ReadTable(cnx, QStringLiteral("SELECT * FROM contacts")).size();
        cnx.Execute(QStringLiteral("INSERT INTO contacts (%1, %2, %3, NOTES) VALUES (-42, '1999-12-31', '2004-05-06 07:08:09', 'Line 1\nLine 2')")
                        .arg(intField, dateField, dateTimeField));
        const auto rows = ReadTable(cnx, QStringLiteral("SELECT %1, %2, %3, NOTES FROM contacts").arg(intField, dateField, dateTimeField));
        QCOMPARE(rows.size(), before + 1);
        QCOMPARE(rows.last()[0].toLongLong(), -42);
        QCOMPARE(rows.last()[1].toDate(), QDate(1999, 12, 31));
        QCOMPARE(rows.last()[2].toDateTime().toString(u"yyyy-MM-dd HH:mm:ss"_qs), u"2004-05-06 07:08:09"_qs);
        QCOMPARE(rows.last()[3].toString(), u"Line 1\nLine 2"_qs);
    }

    void storesTheCodePage()
    {
        QTemporaryDir dir;
        CopyInto(dir, DbfFolder, {QStringLiteral("cp1251.dbf")});
        Connection cnx;
        cnx.Open(DbaseString(dir.path()));
        const QString text = QStringLiteral("Ёлка и щётка");
        cnx.Execute(QStringLiteral("INSERT INTO cp1251 (RN, NAME) VALUES (5, '%1')").arg(text));
        const Dump dump = DbfDump(dir.filePath(QStringLiteral("cp1251.dbf")));
        QCOMPARE(dump.records.size(), 5);
        // Ё is 0xA8 and ё 0xB8 in windows-1251.
        QVERIFY(dump.records.last()[1].startsWith("\xA8\xEB\xEA\xE0 \xE8 \xF9\xB8\xF2\xEA\xE0"));
    }

    void refusesWhatDoesNotFit_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("message");
        QTest::newRow("text too long") << QStringLiteral("UPDATE dbase_8b SET CHARACTER = '%1' WHERE CHARACTER = 'One'").arg(QString(101, u'x'))
                                       << "too long";
        QTest::newRow("number too wide") << "UPDATE dbase_8b SET NUMERICAL = 1e25 WHERE CHARACTER = 'One'" << "too wide";
        QTest::newRow("not a number") << "UPDATE dbase_8b SET NUMERICAL = 'abc' WHERE CHARACTER = 'One'" << "not a number";
        QTest::newRow("not a date") << "UPDATE dbase_8b SET DATE = '2021-13-45' WHERE CHARACTER = 'One'" << "not a date";
        QTest::newRow("not a logical") << "UPDATE dbase_8b SET LOGICAL = 'maybe' WHERE CHARACTER = 'One'" << "not a logical";
        QTest::newRow("outside the code page") << "UPDATE dbase_8b SET CHARACTER = 'Ж' WHERE CHARACTER = 'One'" << "code page";
        QTest::newRow("insert, memo before a bad value") << "INSERT INTO dbase_8b (MEMO, CHARACTER) VALUES ('some memo', '" + QString(200, u'y') + "')"
                                                         << "too long";
        QTest::newRow("row id change") << "UPDATE dbase_8b SET rowid = 99 WHERE CHARACTER = 'One'" << "record number";
    }
    void refusesWhatDoesNotFit()
    {
        QFETCH(QString, sql);
        QFETCH(QString, message);
        QTemporaryDir dir;
        CopyInto(dir, DbfFolder, {QStringLiteral("dbase_8b.dbf"), QStringLiteral("dbase_8b.dbt")});
        const QByteArray before = ReadBytes(dir.filePath(QStringLiteral("dbase_8b.dbf")));
        const QByteArray memoBefore = ReadBytes(dir.filePath(QStringLiteral("dbase_8b.dbt")));
        Connection cnx;
        cnx.Open(DbaseString(dir.path()));
        try {
            cnx.Execute(sql);
            QFAIL("the statement was accepted");
        } catch (const AdoError& e) {
            QCOMPARE(e.Number(), -2147467259L);
            QVERIFY2(e.Description().contains(message), qPrintable(e.Description()));
        }
        QCOMPARE(ReadBytes(dir.filePath(QStringLiteral("dbase_8b.dbf"))), before);
        QCOMPARE(ReadBytes(dir.filePath(QStringLiteral("dbase_8b.dbt"))), memoBefore);
    }

    void failsClearlyOnBadFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        const QByteArray good = ReadBytes(testsupport::FixturePath(DbfFolder + QStringLiteral("/dbase_03.dbf")));
        QTest::newRow("truncated") << good.left(good.size() / 2) << "damaged";
        QByteArray lying = good;
        qToLittleEndian<quint32>(1000, reinterpret_cast<uchar*>(lying.data()) + 4);
        QTest::newRow("lying record count") << lying << "announces 1000 records";
        QByteArray longFields = good;
        longFields[10] = 10; // record length smaller than its fields
        longFields[11] = 0;
        QTest::newRow("fields past the record") << longFields << "longer than its record length";
        QTest::newRow("header only") << good.left(20) << "shorter than a header";
        QTest::newRow("not a dbf") << QByteArray("name,value\nx,1\n") << "not a valid dBase table";
        QByteArray noEnd = good.left(32) + QByteArray(200, 'A');
        QTest::newRow("header past the end") << noEnd << "does not fit";
    }
    void failsClearlyOnBadFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("broken.dbf"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        Connection cnx;
        cnx.Open(DbaseString(dir.path()));
        Catalog catalog;
        catalog.SetActiveConnection(&cnx);
        QCOMPARE(catalog.Tables().size(), 1); // still listed
        for (const QString& sql : {u"SELECT * FROM broken"_qs, u"INSERT INTO broken VALUES (1)"_qs, u"DELETE FROM broken"_qs}) {
            try {
                ReadTable(cnx, sql);
                QFAIL(qPrintable(u"accepted: "_qs + sql));
            } catch (const AdoError& e) {
                QCOMPARE(e.Number(), -2147467259L);
                QVERIFY2(e.Description().contains(message), qPrintable(e.Description()));
                QVERIFY(e.Description().contains(u"broken.dbf"_qs));
            }
        }
        QCOMPARE(ReadBytes(path), content);
    }

    void readOnlyFilesAreNotWritten()
    {
        if (::geteuid() == 0)
            QSKIP("root writes read-only files");
        QTemporaryDir dir;
        CopyInto(dir, DbfFolder, {QStringLiteral("dbase_8b.dbf"), QStringLiteral("dbase_8b.dbt")});
        QVERIFY(QFile::setPermissions(dir.filePath(QStringLiteral("dbase_8b.dbt")), QFile::ReadOwner));
        const QByteArray before = ReadBytes(dir.filePath(QStringLiteral("dbase_8b.dbf")));
        Connection cnx;
        cnx.Open(DbaseString(dir.path()));
        QCOMPARE(ReadTable(cnx, QStringLiteral("SELECT MEMO FROM dbase_8b")).size(), 10);
        try {
            cnx.Execute(QStringLiteral("UPDATE dbase_8b SET MEMO = 'new' WHERE CHARACTER = 'One'"));
            QFAIL("written");
        } catch (const AdoError& e) {
            QVERIFY2(e.Description().contains(u"dbase_8b.dbt' is read-only"_qs), qPrintable(e.Description()));
        }
        QCOMPARE(ReadBytes(dir.filePath(QStringLiteral("dbase_8b.dbf"))), before);
    }

    void missingMemoFileIsNamed()
    {
        QTemporaryDir dir;
        CopyInto(dir, DbfFolder, {QStringLiteral("dbase_8c.dbf")});
        const QByteArray before = ReadBytes(dir.filePath(QStringLiteral("dbase_8c.dbf")));
        Connection cnx;
        cnx.Open(DbaseString(dir.path()));
        const auto rows = ReadTable(cnx, QStringLiteral("SELECT ID, Name, Species FROM dbase_8c"));
        QCOMPARE(rows.size(), 10);
        QCOMPARE(rows[0][0].toLongLong(), 1);
        QVERIFY(!rows[0][1].toString().isEmpty());
        try {
            ReadTable(cnx, QStringLiteral("SELECT Description FROM dbase_8c"));
            QFAIL("a memo was read without its file");
        } catch (const AdoError& e) {
            QVERIFY2(e.Description().contains(u"dbase_8c.dbt"_qs), qPrintable(e.Description()));
        }
        QVERIFY_THROWS_EXCEPTION(AdoError, cnx.Execute(QStringLiteral("DELETE FROM dbase_8c")));
        QCOMPARE(ReadBytes(dir.filePath(QStringLiteral("dbase_8c.dbf"))), before);
    }

    void opensAdvantageFreeTables_data()
    {
        QTest::addColumn<QString>("tableType");
        QTest::addColumn<QString>("serverType");
        QTest::addColumn<QString>("dataSourceFile"); // empty: the folder
        QTest::addColumn<QString>("error");          // empty: opens
        QTest::newRow("CDX, local") << "ADS_CDX" << "ADS_LOCAL_SERVER" << "" << "";
        QTest::newRow("NTX, local") << "ADS_NTX" << "ADS_LOCAL_SERVER" << "" << "";
        QTest::newRow("ADT") << "ADS_ADT" << "ADS_LOCAL_SERVER" << "" << "ADT tables are not available";
        QTest::newRow("remote") << "ADS_CDX" << "ADS_REMOTE_SERVER" << "" << "remote server is not available";
        QTest::newRow("dictionary") << "ADS_CDX" << "ADS_LOCAL_SERVER" << "app.ADD" << "data dictionaries (.add) are not available";
    }
    void opensAdvantageFreeTables()
    {
        QFETCH(QString, tableType);
        QFETCH(QString, serverType);
        QFETCH(QString, dataSourceFile);
        QFETCH(QString, error);
        QTemporaryDir dir;
        CopyInto(dir, DbfFolder, {QStringLiteral("dbase_8b.dbf"), QStringLiteral("dbase_8b.dbt")});
        const QString source = dataSourceFile.isEmpty() ? dir.path() : dir.filePath(dataSourceFile);
        // As the chooser writes it, the login line put where the marker was.
        const QString cs = QStringLiteral("Provider=Advantage OLE DB Provider;\nData Source=%1;\nUser ID=adssys;Password=secret;\n"
                                          "Advantage Table Type=%2;\nAdvantage Server Type=%3;\nSecurityMode=ADS_IGNORERIGHTS;\n"
                                          "TrimTrailingSpaces=TRUE;\nOLE DB Services=-2")
                               .arg(source, tableType, serverType);
        Connection cnx;
        if (!error.isEmpty()) {
            try {
                cnx.Open(cs);
                QFAIL("opened");
            } catch (const AdoError& e) {
                QVERIFY2(e.Description().contains(error), qPrintable(e.Description()));
            }
            return;
        }
        cnx.Open(cs);
        QCOMPARE(cnx.Provider(), u"Advantage OLE DB Provider"_qs);
        QCOMPARE(ReadTable(cnx, QStringLiteral("SELECT CHARACTER FROM dbase_8b WHERE NUMERICAL > 5")).size(), 5);
        QCOMPARE(cnx.Execute(QStringLiteral("UPDATE dbase_8b SET NUMERICAL = 0 WHERE NUMERICAL > 5")), 5);
        QCOMPARE(ReadTable(cnx, QStringLiteral("SELECT * FROM dbase_8b WHERE NUMERICAL = 0")).size(), 5);
    }
};

DABRIX_TEST_MAIN(TestDbase)
#include "tst_dbase.moc"
