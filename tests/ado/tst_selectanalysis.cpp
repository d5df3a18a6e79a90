#include "ado/SelectAnalysis.h"
#include "support/TestMain.h"

using ado::SelectAnalysis;
using namespace Qt::StringLiterals;

class TestSelectAnalysis : public QObject {
    Q_OBJECT

private slots:
    void singleTable_data();
    void singleTable();
    void notSingleTable_data();
    void notSingleTable();
    void fromPosition_data();
    void fromPosition();
};

namespace {

QString flags(const QList<bool>& list)
{
    QString out;
    for (bool b : list)
        out += b ? u'1' : u'0';
    return out;
}

} // namespace

void TestSelectAnalysis::singleTable_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("schema");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("alias");
    QTest::addColumn<bool>("selectsAll");
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QStringList>("outputNames");
    QTest::addColumn<QString>("plain");

    const QStringList none;
    QTest::newRow("bracketed table") << u"SELECT * FROM [Clients]"_s << QString() << u"Clients"_s
                                     << QString() << true << none << none << QString();
    QTest::newRow("table window query") << u"SELECT TOP 1000 *\r\nFROM [Clients]"_s << QString()
                                        << u"Clients"_s << QString() << true << none << none << QString();
    QTest::newRow("top, where, order by") << u"SELECT TOP 10 * FROM t WHERE x=1 ORDER BY y"_s << QString()
                                          << u"t"_s << QString() << true << none << none << QString();
    QTest::newRow("limit and semicolon") << u"select * from t order by 1 limit 5 offset 2;\n"_s << QString()
                                         << u"t"_s << QString() << true << none << none << QString();
    QTest::newRow("alias star") << u"SELECT c.* FROM Clients AS c"_s << QString() << u"Clients"_s << u"c"_s
                                << true << none << none << QString();
    QTest::newRow("table star") << u"SELECT clients.* FROM Clients"_s << QString() << u"Clients"_s
                                << QString() << true << none << none << QString();
    QTest::newRow("schema star") << u"SELECT s.t.* FROM s.t"_s << u"s"_s << u"t"_s << QString() << true
                                 << none << none << QString();
    QTest::newRow("string looks like a join") << u"SELECT * FROM t WHERE a = 'x FROM y JOIN z, w'"_s
                                              << QString() << u"t"_s << QString() << true << none << none
                                              << QString();
    QTest::newRow("grouped sub-select in where")
        << u"SELECT * FROM t WHERE id IN (SELECT id FROM u GROUP BY id HAVING COUNT(*) > 1)"_s << QString()
        << u"t"_s << QString() << true << none << none << QString();
    QTest::newRow("list with alias and expression")
        << u"SELECT id, name AS n, price*2 AS double_price, t.qty, upper(name), qty q2 FROM t"_s << QString()
        << u"t"_s << QString() << false << QStringList{u"id"_s, u"name"_s, QString(), u"qty"_s, QString(), u"qty"_s}
        << QStringList{u"id"_s, u"n"_s, u"double_price"_s, u"qty"_s, u"upper(name)"_s, u"q2"_s} << u"110101"_s;
    QTest::newRow("aggregate only in sub-select")
        << u"SELECT a, (SELECT COUNT(*) FROM u) AS n FROM t"_s << QString() << u"t"_s << QString() << false
        << QStringList{u"a"_s, QString()} << QStringList{u"a"_s, u"n"_s} << u"10"_s;
    QTest::newRow("case with implicit alias")
        << u"SELECT CASE WHEN a > 0 THEN 'p' ELSE 'n' END sign, a IS NULL FROM t"_s << QString() << u"t"_s
        << QString() << false << QStringList{QString(), QString()}
        << QStringList{u"sign"_s, u"a IS NULL"_s} << u"00"_s;
    QTest::newRow("quoted names with blanks")
        << u"SELECT \"Last Name\", [First Name] fn, `x``y` FROM \"public\".\"My \"\"Odd\"\" Table\""_s
        << u"public"_s << u"My \"Odd\" Table"_s << QString() << false
        << QStringList{u"Last Name"_s, u"First Name"_s, u"x`y"_s}
        << QStringList{u"Last Name"_s, u"fn"_s, u"x`y"_s} << u"111"_s;
    QTest::newRow("jet schema and alias")
        << u"SELECT [od].[Unit Price] AS [Price] FROM [dbo].[Order Details] AS [od] WHERE [od].[Qty] > 0"_s
        << u"dbo"_s << u"Order Details"_s << u"od"_s << false << QStringList{u"Unit Price"_s}
        << QStringList{u"Price"_s} << u"1"_s;
    QTest::newRow("qualifier of another table") << u"SELECT x.a, a FROM t"_s << QString() << u"t"_s
                                                << QString() << false << QStringList{QString(), u"a"_s}
                                                << QStringList{u"x.a"_s, u"a"_s} << u"01"_s;
    QTest::newRow("constants are not columns")
        << u"SELECT NULL, CURRENT_DATE, 'a', 1 FROM t"_s << QString() << u"t"_s << QString() << false
        << QStringList{QString(), QString(), QString(), QString()}
        << QStringList{u"NULL"_s, u"CURRENT_DATE"_s, u"'a'"_s, u"1"_s} << u"0000"_s;
}

void TestSelectAnalysis::singleTable()
{
    QFETCH(QString, sql);
    QFETCH(QString, schema);
    QFETCH(QString, table);
    QFETCH(QString, alias);
    QFETCH(bool, selectsAll);
    QFETCH(QStringList, columns);
    QFETCH(QStringList, outputNames);
    QFETCH(QString, plain);

    const SelectAnalysis a = SelectAnalysis::Analyze(sql);
    QVERIFY(a.singleTable);
    QCOMPARE(a.schema, schema);
    QCOMPARE(a.table, table);
    QCOMPARE(a.alias, alias);
    QCOMPARE(a.selectsAll, selectsAll);
    QCOMPARE(a.columns, columns);
    QCOMPARE(a.outputNames, outputNames);
    QCOMPARE(flags(a.columnIsPlain), plain);
}

void TestSelectAnalysis::notSingleTable_data()
{
    QTest::addColumn<QString>("sql");

    const QStringList cases{
        u"SELECT * FROM a JOIN b ON a.id = b.id"_s,
        u"SELECT * FROM [a] INNER JOIN [b] ON [a].id = [b].id"_s,
        u"SELECT * FROM a LEFT OUTER JOIN b ON 1 = 1"_s,
        u"SELECT * FROM a NATURAL JOIN b"_s,
        u"SELECT * FROM a, b"_s,
        u"SELECT * FROM a x, b y WHERE x.id = y.id"_s,
        u"SELECT k, COUNT(*) FROM t GROUP BY k"_s,
        u"SELECT COUNT(*) FROM t"_s,
        u"SELECT coalesce(max(x), 0) AS m FROM t"_s,
        u"SELECT a FROM t HAVING a > 1"_s,
        u"SELECT DISTINCT a FROM t"_s,
        u"SELECT DISTINCTROW a FROM t"_s,
        u"SELECT a FROM t UNION SELECT a FROM u"_s,
        u"SELECT a FROM t EXCEPT SELECT a FROM u"_s,
        u"SELECT * FROM (SELECT * FROM t)"_s,
        u"SELECT * FROM (SELECT * FROM t) AS s"_s,
        u"SELECT * FROM generate_series(1, 10)"_s,
        u"SELECT * FROM a.b.c"_s,
        u"SELECT *, a + 1 AS b FROM t"_s,
        u"SELECT a, t.* FROM t"_s,
        u"SELECT x.* FROM t"_s,
        u"SELECT * INTO t2 FROM t"_s,
        u"SELECT * FROM t IN 'other.mdb'"_s,
        u"SELECT 1"_s,
        u"SELECT a, FROM t"_s,
        u"UPDATE t SET a = 1"_s,
        u"WITH c AS (SELECT * FROM t) SELECT * FROM c"_s,
        u"SELECT * FROM t; SELECT * FROM u"_s,
        u"SELECT * FROM"_s,
        QString(),
    };
    for (const QString& sql : cases)
        QTest::newRow(qPrintable(sql)) << sql;
}

void TestSelectAnalysis::notSingleTable()
{
    QFETCH(QString, sql);
    const SelectAnalysis a = SelectAnalysis::Analyze(sql);
    QVERIFY(!a.singleTable);
    // Nothing half-filled that a caller could mistake for a usable source.
    QVERIFY(a.table.isEmpty());
    QVERIFY(a.schema.isEmpty());
    QVERIFY(a.alias.isEmpty());
    QVERIFY(!a.selectsAll);
    QVERIFY(a.columns.isEmpty());
    QVERIFY(a.outputNames.isEmpty());
    QVERIFY(a.columnIsPlain.isEmpty());
}

void TestSelectAnalysis::fromPosition_data()
{
    // '|' marks where the top-level FROM starts; without one there is none.
    QTest::addColumn<QString>("marked");
    QTest::newRow("table window query") << u"SELECT TOP 1000 *\r\n|FROM [Clients]"_s;
    QTest::newRow("lower case") << u"select a |from t"_s;
    QTest::newRow("sub-select in list") << u"SELECT a, (SELECT b FROM u) AS c |FROM t"_s;
    QTest::newRow("from in string and names") << u"SELECT 'from', \"FROM\", [from] |FROM t"_s;
    QTest::newRow("from in comment") << u"SELECT a -- FROM x\r\n/* FROM y */ |FROM t"_s;
    QTest::newRow("join still has one") << u"SELECT * |FROM a JOIN b ON 1 = 1"_s;
    QTest::newRow("no from") << u"SELECT 1 + 2"_s;
    QTest::newRow("not a select") << u"DELETE FROM t"_s;
}

void TestSelectAnalysis::fromPosition()
{
    QFETCH(QString, marked);
    const qsizetype expected = marked.indexOf(u'|');
    const QString sql = QString(marked).remove(u'|');
    QCOMPARE(SelectAnalysis::Analyze(sql).fromPos, expected);
}

DABRIX_TEST_MAIN(TestSelectAnalysis)
#include "tst_selectanalysis.moc"
