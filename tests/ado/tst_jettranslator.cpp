#include "ado/JetTranslator.h"
#include "ado/SqlTokenizer.h"
#include "support/TestMain.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QScopeGuard>

using ado::JetTranslator;
using ado::SqlDialect;
using ado::SqlToken;
using ado::SqlTokenizer;
using namespace Qt::StringLiterals;

class TestJetTranslator : public QObject {
    Q_OBJECT

private slots:
    void tokenizerRoundTrip_data();
    void tokenizerRoundTrip();
    void tokenKinds_data();
    void tokenKinds();
    void translate_data();
    void translate();
    void dialects_data();
    void dialects();
    void bracketKeepsAnyName_data();
    void bracketKeepsAnyName();
    void translatedTopRunsOnSqlite_data();
    void translatedTopRunsOnSqlite();
};

namespace {

// One letter per token kind, so a whole token list reads as a short string.
QString kindLetters(const QList<SqlToken>& tokens)
{
    static const char letters[] = "WNSQBP_CA"; // order of SqlToken::Kind
    QString out;
    for (const SqlToken& t : tokens)
        out += QLatin1Char(letters[t.kind]);
    return out;
}

} // namespace

void TestJetTranslator::tokenizerRoundTrip_data()
{
    QTest::addColumn<QString>("sql");
    QTest::newRow("empty") << QString();
    QTest::newRow("jet query") << u"SELECT TOP 1000 *\r\nFROM [Clients]"_s;
    QTest::newRow("everything") << u"select a.\"x\"\"y\", `b`, [c d], 'it''s', 1.5e-3, ?, :p, $1, @v "
                                   u"-- note\r\n/* block */ x::int <> 3 || 'é' FROM t;"_s;
    QTest::newRow("unterminated string") << u"SELECT 'abc FROM t"_s;
    QTest::newRow("unterminated name") << u"SELECT \"abc FROM t"_s;
    QTest::newRow("unterminated bracket") << u"SELECT * FROM [Clients"_s;
    QTest::newRow("unterminated comment") << u"SELECT 1 /* never closed"_s;
    QTest::newRow("unterminated dollar") << u"SELECT $body$ never closed"_s;
    QTest::newRow("lone quote at end") << u"SELECT '"_s;
    QTest::newRow("odd characters") << u"#1/2/2020# ~ ! % ^ & { } \\ \t\f\u00a0"_s;
}

void TestJetTranslator::tokenizerRoundTrip()
{
    QFETCH(QString, sql);
    const QList<SqlToken> tokens = SqlTokenizer::Tokenize(sql);
    QString joined;
    for (const SqlToken& t : tokens) {
        QCOMPARE(t.pos, joined.size());
        QVERIFY2(!t.text.isEmpty(), "empty token");
        joined += t.text;
    }
    QCOMPARE(joined, sql);
}

void TestJetTranslator::tokenKinds_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("kinds"); // W N S Q B P _ C A as in kindLetters
    QTest::addColumn<QString>("texts"); // the tokens' texts joined by a middle dot

    QTest::newRow("doubled quote in string") << u"x='it''s'"_s << "WPS" << "x·=·'it''s'";
    QTest::newRow("doubled quote in name") << u"\"a\"\"b\".c"_s << "QPW" << "\"a\"\"b\"·.·c";
    QTest::newRow("backquoted name") << u"`a``b`"_s << "Q" << "`a``b`";
    QTest::newRow("doubled ] stays in the name") << u"[a]]b]"_s << "B" << "[a]]b]";
    QTest::newRow("two names side by side") << u"[a][b]"_s << "BB" << "[a]·[b]";
    QTest::newRow("doubled ] at the end") << u"[a]]]"_s << "B" << "[a]]]";
    QTest::newRow("quotes inside bracket") << u"[it's \"x\"]"_s << "B" << "[it's \"x\"]";
    QTest::newRow("line comment stops before CR LF") << u"a--b\r\nc"_s << "WC_W" << "a·--b·\r\n·c";
    QTest::newRow("block comment") << u"a/*b\n*/c"_s << "WCW" << "a·/*b\n*/·c";
    QTest::newRow("comment marker in string") << u"'--x' /*'*/"_s << "S_C" << "'--x'· ·/*'*/";
    QTest::newRow("numbers") << u"1 2.5 .5 1e3 1E+3 3e"_s << "N_N_N_N_N_NW"
                             << "1· ·2.5· ·.5· ·1e3· ·1E+3· ·3·e";
    QTest::newRow("parameters") << u"? ?2 :name $1 @v @@x"_s << "A_A_A_A_A_A"
                                << "?· ·?2· ·:name· ·$1· ·@v· ·@@x";
    QTest::newRow("cast is not a parameter") << u"a::text"_s << "WPW" << "a·::·text";
    QTest::newRow("two-character operators") << u"a<=b<>c!=d||e>=f"_s << "WPWPWPWPWPW"
                                             << "a·<=·b·<>·c·!=·d·||·e·>=·f";
    QTest::newRow("dollar-quoted body") << u"AS $f$ SELECT 'x' $f$;"_s << "W_SP"
                                        << "AS· ·$f$ SELECT 'x' $f$·;";
    QTest::newRow("empty dollar tag") << u"$$a$$"_s << "S" << "$$a$$";
    QTest::newRow("dollar inside word") << u"a$b"_s << "W" << "a$b";
    QTest::newRow("accented word") << u"Société_2"_s << "W" << "Société_2";
}

void TestJetTranslator::tokenKinds()
{
    QFETCH(QString, sql);
    QFETCH(QString, kinds);
    QFETCH(QString, texts);
    const QList<SqlToken> tokens = SqlTokenizer::Tokenize(sql);
    QStringList actualTexts;
    for (const SqlToken& t : tokens)
        actualTexts << t.text;
    QCOMPARE(actualTexts.join(u'·'), texts);
    QCOMPARE(kindLetters(tokens), kinds);
}

void TestJetTranslator::bracketKeepsAnyName_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << u"Clients"_s;
    QTest::newRow("a second statement") << u"x]; DROP TABLE victim; --"_s;
    QTest::newRow("a comment") << u"x] --"_s;
    QTest::newRow("a union") << u"x] UNION SELECT * FROM [secret"_s;
    QTest::newRow("inner bracket") << u"a]b"_s;
    QTest::newRow("bracketed already") << u"[sec].csv"_s;
    QTest::newRow("only brackets") << u"]]["_s;
    QTest::newRow("quotes") << u"it's \"x\""_s;
}

void TestJetTranslator::bracketKeepsAnyName()
{
    QFETCH(QString, name);
    const QString sql = u"SELECT * FROM "_s + SqlToken::bracket(name) + u" WHERE 1 = 1"_s;
    const QList<SqlToken> tokens = SqlTokenizer::Tokenize(sql);
    QCOMPARE(kindLetters(tokens), u"W_P_W_B_W_N_P_N"_s);
    QVERIFY(tokens.at(6).isClosedName());
    QCOMPARE(tokens.at(6).name(), name);
    SqlDialect sqlite;
    QCOMPARE(JetTranslator::Translate(sql, sqlite),
             u"SELECT * FROM "_s + sqlite.quoteIdentifier(name) + u" WHERE 1 = 1"_s);
}

void TestJetTranslator::translate_data()
{
    QTest::addColumn<QString>("jet");
    QTest::addColumn<QString>("expected");

    QTest::newRow("table window query") << u"SELECT TOP 1000 *\r\nFROM [Clients]"_s
                                        << u"SELECT *\r\nFROM \"Clients\" LIMIT 1000"_s;
    QTest::newRow("name with blank") << u"SELECT TOP 5 *\r\nFROM [Order Details]"_s
                                     << u"SELECT *\r\nFROM \"Order Details\" LIMIT 5"_s;
    QTest::newRow("no limit") << u"SELECT *\r\nFROM [Clients]"_s << u"SELECT *\r\nFROM \"Clients\""_s;
    QTest::newRow("statement inside a bracketed name") << u"SELECT * FROM [x]]; DROP TABLE victim; --]"_s
                                                       << u"SELECT * FROM \"x]; DROP TABLE victim; --\""_s;
    QTest::newRow("comment marker inside a bracketed name") << u"SELECT TOP 5 * FROM [x]] --] WHERE a = 1"_s
                                                            << u"SELECT * FROM \"x] --\" WHERE a = 1 LIMIT 5"_s;
    QTest::newRow("unclosed doubled bracket left as typed") << u"SELECT * FROM [x]]"_s << u"SELECT * FROM [x]]"_s;
    QTest::newRow("double quote inside bracket") << u"SELECT [a\"b] FROM t"_s
                                                 << u"SELECT \"a\"\"b\" FROM t"_s;
    QTest::newRow("qualified brackets") << u"SELECT [o].[Id] FROM [dbo].[Orders] AS [o]"_s
                                        << u"SELECT \"o\".\"Id\" FROM \"dbo\".\"Orders\" AS \"o\""_s;
    QTest::newRow("lower case, distinct") << u"select distinct top 3 name from t order by name"_s
                                          << u"select distinct name from t order by name LIMIT 3"_s;
    QTest::newRow("all") << u"SELECT ALL TOP 2 a FROM t"_s << u"SELECT ALL a FROM t LIMIT 2"_s;
    QTest::newRow("parenthesized count") << u"SELECT TOP (7) * FROM t"_s << u"SELECT * FROM t LIMIT 7"_s;
    QTest::newRow("where and order by") << u"SELECT TOP 10 * FROM t WHERE x = 1 ORDER BY y DESC"_s
                                        << u"SELECT * FROM t WHERE x = 1 ORDER BY y DESC LIMIT 10"_s;
    QTest::newRow("sub-select in IN") << u"SELECT * FROM t WHERE id IN (SELECT TOP 3 id FROM u ORDER BY d)"_s
                                      << u"SELECT * FROM t WHERE id IN (SELECT id FROM u ORDER BY d LIMIT 3)"_s;
    QTest::newRow("both levels")
        << u"SELECT TOP 2 * FROM (SELECT TOP 10 * FROM t ORDER BY a) ORDER BY b"_s
        << u"SELECT * FROM (SELECT * FROM t ORDER BY a LIMIT 10) ORDER BY b LIMIT 2"_s;
    QTest::newRow("three levels")
        << u"SELECT TOP 1 (SELECT TOP 1 x FROM (SELECT TOP 4 x FROM u) AS v) FROM t"_s
        << u"SELECT (SELECT x FROM (SELECT x FROM u LIMIT 4) AS v LIMIT 1) FROM t LIMIT 1"_s;
    QTest::newRow("scalar sub-select") << u"SELECT a, (SELECT TOP 1 b FROM u WHERE u.k = t.k) AS fb FROM t"_s
                                       << u"SELECT a, (SELECT b FROM u WHERE u.k = t.k LIMIT 1) AS fb FROM t"_s;
    QTest::newRow("insert select") << u"INSERT INTO x (a) SELECT TOP 3 a FROM t"_s
                                   << u"INSERT INTO x (a) SELECT a FROM t LIMIT 3"_s;
    QTest::newRow("before semicolon and comment") << u"SELECT TOP 1 * FROM t; -- done"_s
                                                  << u"SELECT * FROM t LIMIT 1; -- done"_s;
    QTest::newRow("before trailing line comment") << u"SELECT TOP 1 * FROM t -- last\r\n"_s
                                                  << u"SELECT * FROM t LIMIT 1 -- last\r\n"_s;
    QTest::newRow("after leading comment") << u"/* TOP 5 */\r\nSELECT TOP 5 * FROM t"_s
                                           << u"/* TOP 5 */\r\nSELECT * FROM t LIMIT 5"_s;
    QTest::newRow("comment between select and top") << u"SELECT /* x */ TOP 5 a FROM t"_s
                                                    << u"SELECT /* x */ a FROM t LIMIT 5"_s;
    QTest::newRow("line break after count kept") << u"SELECT TOP 5\r\n*\r\nFROM t"_s
                                                 << u"SELECT\r\n*\r\nFROM t LIMIT 5"_s;
    QTest::newRow("line break before top kept") << u"SELECT\r\nTOP 5 *\r\nFROM t"_s
                                                << u"SELECT\r\n*\r\nFROM t LIMIT 5"_s;
    QTest::newRow("two statements") << u"SELECT TOP 1 a FROM t;\r\nSELECT TOP 2 b FROM [u v];"_s
                                    << u"SELECT a FROM t LIMIT 1;\r\nSELECT b FROM \"u v\" LIMIT 2;"_s;
    QTest::newRow("cast") << u"SELECT TOP 1 x::text FROM t"_s << u"SELECT x::text FROM t LIMIT 1"_s;
    QTest::newRow("column called limit") << u"SELECT TOP 5 Limit FROM t"_s << u"SELECT Limit FROM t LIMIT 5"_s;
    QTest::newRow("parenthesized union member")
        << u"SELECT a FROM t UNION (SELECT TOP 5 b FROM u)"_s
        << u"SELECT a FROM t UNION (SELECT b FROM u LIMIT 5)"_s;

    // Left as written: no LIMIT means the same, or the text is not Jet's form.
    const QStringList untouched{
        u"SELECT 'SELECT TOP 5 * FROM [t]' FROM t"_s,
        u"SELECT \"TOP\", x FROM t"_s,
        u"SELECT top FROM t"_s,
        u"SELECT TOP 10 PERCENT * FROM t"_s,
        u"SELECT TOP 2.5 * FROM t"_s,
        u"SELECT TOP n * FROM t"_s,
        u"SELECT TOP 5 * FROM t LIMIT 10"_s,
        u"SELECT TOP 5 * FROM t ORDER BY a OFFSET 2"_s,
        u"SELECT TOP 5 a FROM t UNION SELECT b FROM u"_s,
        u"SELECT a FROM t UNION ALL SELECT TOP 5 b FROM u"_s,
        u"SELECT * FROM t -- SELECT TOP 5 [x]\r\n"_s,
        u"SELECT * FROM t /* [x] TOP 1 */"_s,
        u"SELECT * FROM t WHERE n LIKE '[a-c]*'"_s,
        u"SELECT * FROM [Clients"_s,
        u"CREATE FUNCTION f() RETURNS int AS $$ SELECT TOP 1 [x] $$ LANGUAGE sql"_s,
        u"UPDATE t SET top = 1"_s,
    };
    for (const QString& sql : untouched)
        QTest::newRow(qPrintable(u"untouched: "_s + QString(sql).replace(u"\r\n"_s, u" "_s))) << sql << sql;
}

void TestJetTranslator::translate()
{
    QFETCH(QString, jet);
    QFETCH(QString, expected);
    QCOMPARE(JetTranslator::Translate(jet, SqlDialect{}), expected);
}

void TestJetTranslator::dialects_data()
{
    QTest::addColumn<QChar>("open");
    QTest::addColumn<QChar>("close");
    QTest::addColumn<bool>("brackets");
    QTest::addColumn<bool>("top");
    QTest::addColumn<QString>("expected");

    // All from: SELECT TOP 3 [a`b], [c"d] FROM [My Table]
    QTest::newRow("backquotes") << QChar(u'`') << QChar(u'`') << true << true
                                << u"SELECT `a``b`, `c\"d` FROM `My Table` LIMIT 3"_s;
    QTest::newRow("brackets kept") << QChar(u'"') << QChar(u'"') << false << true
                                   << u"SELECT [a`b], [c\"d] FROM [My Table] LIMIT 3"_s;
    QTest::newRow("top kept") << QChar(u'"') << QChar(u'"') << true << false
                              << u"SELECT TOP 3 \"a`b\", \"c\"\"d\" FROM \"My Table\""_s;
    QTest::newRow("nothing") << QChar(u'"') << QChar(u'"') << false << false
                             << u"SELECT TOP 3 [a`b], [c\"d] FROM [My Table]"_s;
}

void TestJetTranslator::dialects()
{
    QFETCH(QChar, open);
    QFETCH(QChar, close);
    QFETCH(bool, brackets);
    QFETCH(bool, top);
    QFETCH(QString, expected);
    SqlDialect dialect;
    dialect.openQuote = open;
    dialect.closeQuote = close;
    dialect.translateBrackets = brackets;
    dialect.translateTop = top;
    QCOMPARE(JetTranslator::Translate(u"SELECT TOP 3 [a`b], [c\"d] FROM [My Table]"_s, dialect), expected);
}

void TestJetTranslator::translatedTopRunsOnSqlite_data()
{
    QTest::addColumn<QString>("jet");
    QTest::addColumn<QList<int>>("values");

    QTest::newRow("top") << u"SELECT TOP 3 [n] FROM [Num Table] ORDER BY n"_s << QList<int>{1, 2, 3};
    QTest::newRow("nested") << u"SELECT TOP 2 n FROM (SELECT TOP 4 n FROM [Num Table] ORDER BY n DESC) ORDER BY n"_s
                            << QList<int>{6, 7};
    QTest::newRow("in sub-select")
        << u"SELECT n FROM [Num Table] WHERE n IN (SELECT TOP 2 n FROM [Num Table] ORDER BY n DESC) ORDER BY n"_s
        << QList<int>{8, 9};
    QTest::newRow("union member") << u"SELECT 0 UNION SELECT n FROM (SELECT TOP 1 n FROM [Num Table] ORDER BY n)"_s
                                  << QList<int>{0, 1};
}

void TestJetTranslator::translatedTopRunsOnSqlite()
{
    QFETCH(QString, jet);
    QFETCH(QList<int>, values);
    const QString name = u"tst_jettranslator"_s;
    const auto cleanup = qScopeGuard([&name] { QSqlDatabase::removeDatabase(name); });
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(u":memory:"_s);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(u"CREATE TABLE \"Num Table\" (n INTEGER)"_s));
        for (int n = 1; n <= 9; ++n)
            QVERIFY(q.exec(u"INSERT INTO \"Num Table\" VALUES (%1)"_s.arg(n)));

        const QString sql = JetTranslator::Translate(jet, SqlDialect{});
        QVERIFY2(q.exec(sql), qPrintable(sql + u": "_s + q.lastError().text()));
        QList<int> actual;
        while (q.next())
            actual << q.value(0).toInt();
        QCOMPARE(actual, values);
    }
}

DABRIX_TEST_MAIN(TestJetTranslator)
#include "tst_jettranslator.moc"
