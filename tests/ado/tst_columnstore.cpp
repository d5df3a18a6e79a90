#include "support/TestMain.h"

#include "ado/ColumnStore.h"
#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "ado/RowCursor.h"
#include "ado/Backend.h"
#include "ado/ChunkedArray.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QUuid>

#include <cmath>

using ado::ColumnStore;
using ado::Connection;
using ado::Recordset;
using ado::StoredColumn;

Q_DECLARE_METATYPE(QVariantList)

namespace {

// Exactly the same value: same type, same content, same nullness.
// An empty file: the SQLite provider opens only a file that is there.
QString NewDatabase(const QTemporaryDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot create %s", qPrintable(path));
    return QStringLiteral("Provider=SQLite;Data Source=") + path;
}

bool Same(const QVariant& a, const QVariant& b, QString* why)
{
    const auto show = [](const QVariant& v) {
        return QStringLiteral("%1(%2%3)").arg(QString::fromLatin1(v.metaType().name() ? v.metaType().name() : "invalid"),
                                              v.toString(), v.isNull() ? QStringLiteral(", null") : QString());
    };
    *why = show(a) + QStringLiteral(" read back as ") + show(b);
    if (a.isValid() != b.isValid() || a.metaType() != b.metaType() || a.isNull() != b.isNull())
        return false;
    if (a.metaType().id() == QMetaType::Double && std::isnan(a.toDouble()))
        return std::isnan(b.toDouble());
    if (a.metaType().id() == QMetaType::Double)
        return std::signbit(a.toDouble()) == std::signbit(b.toDouble()) && a.toDouble() == b.toDouble();
    if (a.metaType().id() == QMetaType::QDateTime) {
        const QDateTime x = a.toDateTime(), y = b.toDateTime();
        return x == y && x.timeSpec() == y.timeSpec() && x.offsetFromUtc() == y.offsetFromUtc() && x.date() == y.date()
            && x.time() == y.time();
    }
    return a == b;
}

QString Repeated(const QString& piece, int times)
{
    QString s;
    s.reserve(piece.size() * times);
    for (int i = 0; i < times; ++i)
        s += piece;
    return s;
}

} // namespace

class TestColumnStore : public QObject {
    Q_OBJECT

private slots:
    void valuesReadBackExactly_data()
    {
        QTest::addColumn<QVariantList>("values");
        const QVariant null;
        QTest::newRow("integers and nulls") << QVariantList{null, qlonglong(1), null, qlonglong(-9223372036854775807LL - 1),
                                                            qlonglong(9223372036854775807LL), null};
        QTest::newRow("int") << QVariantList{1, 2, -3, QVariant()};
        QTest::newRow("bool") << QVariantList{true, false, null, true};
        QTest::newRow("unsigned") << QVariantList{uint(4294967295u), quint64(18446744073709551615ULL)};
        QTest::newRow("doubles") << QVariantList{0.1, -0.0, 1e308, std::nan(""), null, 5e-324};
        QTest::newRow("dates") << QVariantList{QDate(1, 1, 1), null, QDate(9999, 12, 31), QDate(-4713, 1, 2), QVariant(QDate())};
        QTest::newRow("times") << QVariantList{QTime(0, 0), QTime(23, 59, 59, 999), null, QVariant(QTime())};
        QTest::newRow("date-times, local time") << QVariantList{QDateTime(QDate(2024, 3, 31), QTime(2, 30)), null,
                                                               QDateTime(QDate(1899, 12, 30), QTime(0, 0)),
                                                               QDateTime(QDate(-20, 6, 1), QTime(12, 0, 0, 1))};
        QTest::newRow("date-times, mixed time bases")
            << QVariantList{QDateTime(QDate(2024, 1, 1), QTime(8, 0), Qt::UTC), QDateTime(QDate(2024, 1, 1), QTime(8, 0)),
                            QDateTime(QDate(2024, 1, 1), QTime(8, 0), Qt::OffsetFromUTC, 3600),
                            QDateTime(QDate(2024, 1, 1), QTime(8, 0), Qt::OffsetFromUTC, -7200),
                            QDateTime(QDate(2024, 1, 1), QTime(8, 0), QTimeZone("Europe/Paris"))};
        QTest::newRow("empty text is not null") << QVariantList{QString(), QStringLiteral(""), null, QStringLiteral("a"), QString()};
        QTest::newRow("text in every script")
            << QVariantList{QStringLiteral("Münster"), QStringLiteral("東京"), QString::fromUtf8("\xF0\x9F\x98\x80 smile"),
                            QString(QChar(0)) + QStringLiteral("nul"), QStringLiteral("a\r\nb")};
        QTest::newRow("lone surrogates") << QVariantList{QStringLiteral("ok"), QString(QChar(0xD800)) + QStringLiteral("x"),
                                                         QStringLiteral("y") + QChar(0xDC00), QString(QChar(0xDBFF))};
        // Over a mebibyte each: the text straddles the arena's blocks.
        QTest::newRow("very long text") << QVariantList{QStringLiteral("short"), Repeated(QStringLiteral("é"), 700000),
                                                        Repeated(QStringLiteral("0123456789"), 150000), QStringLiteral("end")};
        QTest::newRow("bytes") << QVariantList{QByteArray("\x00\xff\x00", 3), QByteArray(), QByteArray(""), null,
                                               QByteArray(2 << 20, '\x7f')};
        QTest::newRow("mixed types in one column")
            << QVariantList{null, qlonglong(1), QStringLiteral("x"), 2.5, QByteArray("\x01", 1), QVariant(QString()), true,
                            QDate(2020, 2, 29), qlonglong(7)};
        QTest::newRow("nulls of two kinds") << QVariantList{QVariant(QString()), null, QVariant(QString()), QStringLiteral("t"), null};
        QTest::newRow("other types kept whole") << QVariantList{QVariant(QUuid::fromString(QStringLiteral("{67c8770b-44f1-410a-ab9a-f9b5446f13ee}"))),
                                                                null, QVariant(QStringList{QStringLiteral("a")})};
    }

    void valuesReadBackExactly()
    {
        QFETCH(QVariantList, values);
        StoredColumn column;
        for (const QVariant& v : values)
            column.Append(v);
        QCOMPARE(column.Size(), int(values.size()));
        QString why;
        for (int i = 0; i < values.size(); ++i)
            QVERIFY2(Same(values[i], column.Value(i), &why), qPrintable(QStringLiteral("row %1: %2").arg(i).arg(why)));
        // An edit replaces one value and no other, whatever its type.
        column.Set(0, QStringLiteral("edited"));
        QCOMPARE(column.Value(0), QVariant(QStringLiteral("edited")));
        for (int i = 1; i < values.size(); ++i)
            QVERIFY2(Same(values[i], column.Value(i), &why), qPrintable(QStringLiteral("after the edit, row %1: %2").arg(i).arg(why)));
    }

    void rowsAndDifferences()
    {
        ColumnStore store(3);
        store.AppendRow({qlonglong(1), QStringLiteral("a")}); // a short row ends in nulls
        store.AppendRow({qlonglong(2), QStringLiteral("b"), 2.5});
        QCOMPARE(store.RowCount(), 2);
        QCOMPARE(store.Row(0), QVector<QVariant>({qlonglong(1), QStringLiteral("a"), QVariant()}));
        store.SetRow(1, {qlonglong(2), QStringLiteral("B"), 2.5});
        QCOMPARE(store.Row(1), QVector<QVariant>({qlonglong(2), QStringLiteral("B"), 2.5}));
        QCOMPARE(store.Row(0), QVector<QVariant>({qlonglong(1), QStringLiteral("a"), QVariant()}));

        // Raw values: a cell equal to the row's in value and type has none of its own; a
        // null raw cell is a value, not an absence.
        ColumnStore raw(3);
        raw.AppendDifferences({qlonglong(1), QStringLiteral("2024-01-01"), QVariant(QString())},
                              {qlonglong(1), QDate(2024, 1, 1), QVariant()});
        raw.AppendDifferences({1, QStringLiteral("x"), QVariant()}, {qlonglong(1), QStringLiteral("x"), QVariant()});
        QVERIFY(raw.Column(0).IsAbsent(0));
        QVERIFY(!raw.Column(1).IsAbsent(0));
        QCOMPARE(raw.Value(0, 1), QVariant(QStringLiteral("2024-01-01")));
        QVERIFY(!raw.Column(2).IsAbsent(0));
        QCOMPARE(raw.Value(0, 2).metaType().id(), int(QMetaType::QString));
        QVERIFY(!raw.Column(0).IsAbsent(1)); // an int is not the row's qlonglong
        QVERIFY(raw.Column(1).IsAbsent(1));
        QVERIFY(raw.Column(2).IsAbsent(1));
        raw.SetValue(1, 1, QStringLiteral("sent"));
        QVERIFY(!raw.Column(1).IsAbsent(1));
        QCOMPARE(raw.Value(1, 1), QVariant(QStringLiteral("sent")));
    }

    // The rows are the program's main data: a number and a short text must not cost what a
    // row of QVariants did (about 500 bytes a row for eight columns).
    void rowsAreHeldCompactly()
    {
        ColumnStore store(4);
        const int rows = 200000;
        for (int i = 0; i < rows; ++i)
            store.AppendRow({qlonglong(i), QStringLiteral("name %1").arg(i % 1000, 4, 10, QLatin1Char('0')),
                             i % 3 ? QVariant(double(i) / 4) : QVariant(), QDate(2000, 1, 1).addDays(i % 9000)});
        const double perRow = double(store.MemoryBytes()) / rows;
        QVERIFY2(perRow < 40, qPrintable(QStringLiteral("%1 bytes a row").arg(perRow)));
        QCOMPARE(store.Value(rows - 1, 1), QVariant(QStringLiteral("name 0999")));
        QCOMPARE(store.Value(rows - 1, 2), QVariant(double(rows - 1) / 4));
        QCOMPARE(store.Value(rows - 2, 2), QVariant());
    }

    // Numbers are held in 32 bits until one needs more: the values before it must survive.
    void integersWidenWithoutLosingAValue()
    {
        StoredColumn column;
        const int rows = 70000; // more than one block of 32-bit values
        for (int i = 0; i < rows; ++i)
            column.Append(qlonglong(i % 2 ? -i : i));
        column.Append(qlonglong(1) << 40);
        column.Append(qlonglong(-3));
        for (int i : {0, 1, 32767, 32768, 65535, 65536, rows - 1})
            QCOMPARE(column.Value(i), QVariant(qlonglong(i % 2 ? -i : i)));
        QCOMPARE(column.Value(rows), QVariant(qlonglong(1) << 40));
        QCOMPARE(column.Value(rows + 1), QVariant(qlonglong(-3)));
    }

    // A column of raw values: absent from the first row on, then a value, an edit of an
    // early row, and every other row still absent.
    void absentCellsReadAsNoValue()
    {
        StoredColumn column;
        for (int i = 0; i < 100; ++i)
            column.AppendAbsent();
        column.AppendInteger(5);
        column.AppendAbsent();
        column.Append(QStringLiteral("aside"));
        QCOMPARE(column.Size(), 103);
        for (int row : {0, 50, 99, 101}) {
            QVERIFY(column.IsAbsent(row));
            QCOMPARE(column.Value(row), QVariant());
            QVERIFY(!column.IsTyped(row));
        }
        QVERIFY(!column.IsAbsent(100) && column.IsTyped(100));
        QCOMPARE(column.Value(100), QVariant(qlonglong(5)));
        QCOMPARE(column.Value(102), QVariant(QStringLiteral("aside")));
        column.Set(3, QStringLiteral("edited"));
        QVERIFY(!column.IsAbsent(3));
        QCOMPARE(column.Value(3), QVariant(QStringLiteral("edited")));
        for (int row : {0, 2, 4, 99, 101})
            QVERIFY(column.IsAbsent(row));
        QCOMPARE(column.Value(100), QVariant(qlonglong(5)));

        StoredColumn none;
        for (int i = 0; i < 70; ++i)
            none.AppendAbsent();
        QVERIFY(none.IsAbsent(0) && none.IsAbsent(69));
        none.Set(69, qlonglong(1));
        QVERIFY(none.IsAbsent(68) && !none.IsAbsent(69));
        QCOMPARE(none.Value(69), QVariant(qlonglong(1)));
    }

    // Blocks of 8: appends one by one and in runs across blocks, copies and moves made
    // half way through a block, and runs read back to the last element only.
    void chunkedArraysKeepEveryElementInPlace()
    {
        using Small = ado::ChunkedArray<int, 3>;
        Small array;
        std::vector<int> expected;
        const auto check = [&expected](const Small& a) {
            QCOMPARE(a.size(), expected.size());
            for (size_t i = 0; i < expected.size(); ++i)
                QCOMPARE(a[i], expected[i]);
            for (size_t i = 0; i < expected.size(); ++i) {
                size_t count = 0;
                const int* run = a.Run(i, &count);
                QVERIFY(count >= 1 && i + count <= expected.size());
                QVERIFY(count == expected.size() - i || (i + count) % 8 == 0);
                QCOMPARE(run[count - 1], expected[i + count - 1]);
            }
        };
        int next = 0;
        for (int step = 0; step < 40; ++step) {
            if (step % 3 == 0) {
                std::vector<int> run(size_t(step % 11));
                for (int& v : run)
                    v = next++;
                array.Append(run.data(), run.size());
                expected.insert(expected.end(), run.begin(), run.end());
            } else {
                array.push_back(next);
                expected.push_back(next++);
            }
            check(array);
            Small copy = array;
            const int three[] = {-3, -4, -5};
            copy.push_back(-1);
            copy.Append(three, 3);
            check(array); // the copy's appends went to its own blocks
            QCOMPARE(copy.size(), array.size() + 4);
            QCOMPARE(copy[array.size()], -1);
            Small moved = std::move(copy);
            QCOMPARE(moved[moved.size() - 1], -5);
            copy = array;
            copy.push_back(-2);
            QCOMPARE(copy[array.size()], -2);
        }
    }

    // Through a real SQLite database, whose columns take any value.
    void sqliteColumnsOfMixedTypes()
    {
        QTemporaryDir dir;
        Connection cnx;
        cnx.Open(NewDatabase(dir, QStringLiteral("m.sqlite")));
        cnx.Execute(QStringLiteral("CREATE TABLE m (id INTEGER PRIMARY KEY, v, t TEXT)"));
        cnx.Execute(QStringLiteral("INSERT INTO m (v, t) VALUES (2, 'b'), (NULL, 'Á'), ('x', 'a'), (1.5, 'é'), "
                                   "(X'00FF', 'E'), ('', 'B'), (-7, NULL), ('X', 'A')"));
        Recordset rs;
        rs.SetCursorLocation(Recordset::adUseClient);
        rs.Open(QStringLiteral("SELECT * FROM m"), &cnx, Recordset::adOpenStatic, Recordset::adLockOptimistic);
        QCOMPARE(rs.RecordCount(), 8);
        // The first row's integer types the column; the others keep their own types.
        const QVariantList expected{qlonglong(2), QVariant(), QStringLiteral("x"), 1.5, QByteArray("\x00\xff", 2),
                                    QStringLiteral(""), qlonglong(-7), QStringLiteral("X")};
        QString why;
        for (int i = 0; i < rs.RecordCount(); ++i)
            QVERIFY2(Same(expected[i], rs.ValueAt(i, 1), &why), qPrintable(QStringLiteral("row %1: %2").arg(i).arg(why)));

        const auto ids = [&rs] {
            QList<int> order;
            for (int i = 0; i < rs.RecordCount(); ++i)
                order << rs.ValueAt(i, 0).toInt();
            return order;
        };
        // Nulls, then numbers, then text without regard to case (equal texts in the order
        // they came), then bytes.
        rs.SetSort(QStringLiteral("v"));
        QCOMPARE(ids(), QList<int>({2, 7, 4, 1, 6, 3, 8, 5}));
        // ASCII and other letters in one order, case aside, stable among equals.
        rs.SetSort(QStringLiteral("t"));
        QCOMPARE(ids(), QList<int>({7, 3, 8, 1, 6, 5, 2, 4}));
        rs.SetSort(QStringLiteral("t DESC"));
        QCOMPARE(ids(), QList<int>({4, 2, 5, 1, 6, 3, 8, 7}));

        // An edit is read back from the store, and sorts by its new value.
        rs.SetSort(QString());
        rs.SetAbsolutePosition(3);
        rs.Fields(QStringLiteral("t")).SetValue(QStringLiteral("zz"));
        rs.Update();
        QCOMPARE(rs.ValueAt(2, 2), QVariant(QStringLiteral("zz")));
        rs.SetSort(QStringLiteral("t"));
        QCOMPARE(ids(), QList<int>({7, 8, 1, 6, 5, 3, 2, 4}));
    }

    // What the SQLite cursor puts straight into the store equals what its row-by-row reading
    // gives, for values its column types leave alone and for those they change.
    void sqliteStraightReadingMatchesTheRows()
    {
        QTemporaryDir dir;
        Connection cnx;
        cnx.Open(NewDatabase(dir, QStringLiteral("s.sqlite")));
        cnx.Execute(QStringLiteral("CREATE TABLE s (n INTEGER, r REAL, t VARCHAR(10), b BOOLEAN, d DATE, x BLOB, c CURRENCY, "
                                   "m NUMERIC(20,2))"));
        cnx.Execute(QStringLiteral(
            "INSERT INTO s VALUES (1, 1.5, 'a', 1, '2024-01-05', X'00', 2, 12), (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL), "
            "(2.0, 3, 7, 2, ' 2024-01-05', 'text', 'x', 3.25), ('n', 'r', X'41', 'yes', '2024-02-30', 5, 1.25, '007.50'), "
            "(-5, -0.0, '', 0, '2024-13-01', X'', -1, -9223372036854775808), "
            "(9223372036854775807, 1e308, 'é', -1, '1999-12-31 10:00', 2.5, 0, 9223372036854775807), "
            "(3, 4.5, 'z', 'no', '2024-1-05', NULL, 3, 0)"));
        std::unique_ptr<ado::RowCursor> cursor = cnx.SharedSession()->Query(QStringLiteral("SELECT * FROM s"));
        QList<QVector<QVariant>> expected;
        for (QVector<QVariant> row; cursor->Next(row);)
            expected << row;
        cursor.reset();
        Recordset rs;
        rs.SetCursorLocation(Recordset::adUseClient);
        rs.Open(QStringLiteral("SELECT * FROM s"), &cnx, Recordset::adOpenStatic, Recordset::adLockOptimistic);
        QCOMPARE(rs.RecordCount(), int(expected.size()));
        QString why;
        for (int r = 0; r < expected.size(); ++r)
            for (int c = 0; c < expected[r].size(); ++c)
                QVERIFY2(Same(expected[r][c], rs.ValueAt(r, c), &why), qPrintable(QStringLiteral("row %1 column %2: %3").arg(r).arg(c).arg(why)));
    }

    // A table without a key is found again by every original value: a date and a boolean the
    // store holds as a QDate and a bool must be matched by what SQLite really holds.
    void editWithoutAKeyMatchesTheStoredValues()
    {
        QTemporaryDir dir;
        Connection cnx;
        cnx.Open(NewDatabase(dir, QStringLiteral("k.sqlite")));
        cnx.Execute(QStringLiteral("CREATE TABLE k (d DATE, b BOOLEAN, t TEXT)"));
        cnx.Execute(QStringLiteral("INSERT INTO k VALUES ('2024-01-05', 2, 'x'), ('2024-01-05', 1, 'x')"));
        Recordset rs;
        rs.SetCursorLocation(Recordset::adUseClient);
        rs.Open(QStringLiteral("SELECT * FROM k"), &cnx, Recordset::adOpenStatic, Recordset::adLockOptimistic);
        QCOMPARE(rs.ValueAt(0, 0), QVariant(QDate(2024, 1, 5)));
        QCOMPARE(rs.ValueAt(0, 1), QVariant(true));
        rs.Fields(QStringLiteral("t")).SetValue(QStringLiteral("changed"));
        rs.Update();
        Connection other;
        other.Open(QStringLiteral("Provider=SQLite;Data Source=") + dir.filePath(QStringLiteral("k.sqlite")));
        Recordset check;
        check.Open(QStringLiteral("SELECT b || '/' || t || '/' || typeof(d) FROM k ORDER BY b"), &other);
        QCOMPARE(check.Fields(0).Value().toString(), QStringLiteral("1/x/text"));
        check.MoveNext();
        QCOMPARE(check.Fields(0).Value().toString(), QStringLiteral("2/changed/text"));
    }

    // Texts long enough to straddle the arena's blocks sort by their whole content.
    void longTextsSortByTheirWholeContent()
    {
        QTemporaryDir dir;
        Connection cnx;
        cnx.Open(NewDatabase(dir, QStringLiteral("l.sqlite")));
        cnx.Execute(QStringLiteral("CREATE TABLE l (id INTEGER PRIMARY KEY, t TEXT)"));
        const QString body = Repeated(QStringLiteral("abcdefgh"), 100000);
        const QStringList texts{body + QStringLiteral("b"), body + QStringLiteral("A"), body.left(5), body + QStringLiteral("a"),
                                body.toUpper() + QStringLiteral("c")};
        for (const QString& t : texts)
            cnx.Execute(QStringLiteral("INSERT INTO l (t) VALUES ('%1')").arg(t));
        Recordset rs;
        rs.SetCursorLocation(Recordset::adUseClient);
        rs.Open(QStringLiteral("SELECT * FROM l"), &cnx, Recordset::adOpenStatic, Recordset::adLockOptimistic);
        rs.SetSort(QStringLiteral("t"));
        QList<int> order;
        for (int i = 0; i < rs.RecordCount(); ++i)
            order << rs.ValueAt(i, 0).toInt();
        QCOMPARE(order, QList<int>({3, 2, 4, 1, 5}));
        QCOMPARE(rs.ValueAt(4, 1).toString(), texts[4]);
    }

    // A clone made while rows are still coming sees them all, and shares them: an edit
    // through one is read through the other.
    void cloneDuringAFetch()
    {
        QTemporaryDir dir;
        Connection cnx;
        cnx.Open(NewDatabase(dir, QStringLiteral("c.sqlite")));
        cnx.Execute(QStringLiteral("CREATE TABLE c (id INTEGER PRIMARY KEY, t TEXT)"));
        cnx.BeginTrans();
        for (int i = 1; i <= 5000; ++i)
            cnx.Execute(QStringLiteral("INSERT INTO c (t) VALUES ('row %1')").arg(i));
        cnx.CommitTrans();
        Recordset rs;
        rs.SetCursorLocation(Recordset::adUseClient);
        rs.Open(QStringLiteral("SELECT * FROM c"), &cnx, Recordset::adOpenStatic, Recordset::adLockOptimistic,
                Recordset::adAsyncFetch);
        QVERIFY(rs.IsFetching());
        QVERIFY(rs.RecordCount() < 5000);
        auto clone = rs.Clone();
        QCOMPARE(clone->RecordCount(), 5000);
        QCOMPARE(rs.RecordCount(), 5000);
        QCOMPARE(clone->ValueAt(4999, 1), QVariant(QStringLiteral("row 5000")));
        clone->SetAbsolutePosition(4000);
        clone->Fields(QStringLiteral("t")).SetValue(QStringLiteral("changed"));
        clone->Update();
        QCOMPARE(rs.ValueAt(3999, 1), QVariant(QStringLiteral("changed")));
        QCOMPARE(rs.ValueAt(4000, 1), QVariant(QStringLiteral("row 4001")));
    }
};

DABRIX_TEST_MAIN(TestColumnStore)
#include "tst_columnstore.moc"
