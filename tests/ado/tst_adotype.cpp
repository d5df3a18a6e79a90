#include "support/TestMain.h"

#include "ado/AdoError.h"
#include "ado/AdoType.h"

#include <QDate>
#include <QDateTime>

using namespace ado;

class TestAdoType : public QObject {
    Q_OBJECT

private slots:
    void declaredTypes_data()
    {
        QTest::addColumn<QString>("declared");
        QTest::addColumn<int>("code");
        QTest::newRow("varchar") << "VARCHAR(40)" << int(AdoType::VarWChar);
        QTest::newRow("text") << "TEXT" << int(AdoType::LongVarWChar);
        QTest::newRow("char") << "CHAR(3)" << int(AdoType::WChar);
        QTest::newRow("numeric") << "NUMERIC(10,2)" << int(AdoType::Numeric);
        QTest::newRow("int8") << "int8" << int(AdoType::BigInt);
        QTest::newRow("timestamp") << "timestamp without time zone" << int(AdoType::DBTimeStamp);
        QTest::newRow("date") << "DATE" << int(AdoType::DBDate);
        QTest::newRow("bool") << "BOOLEAN" << int(AdoType::Boolean);
        QTest::newRow("blob") << "BLOB" << int(AdoType::LongVarBinary);
        QTest::newRow("uuid") << "uuid" << int(AdoType::Guid);
        QTest::newRow("affinity int") << "UNSIGNED MEDIUMINT" << int(AdoType::Integer);
        QTest::newRow("none") << "" << int(AdoType::VarWChar);
        QTest::newRow("SQLite real is eight bytes") << "REAL" << int(AdoType::Double);
        QTest::newRow("float4 is single") << "FLOAT4" << int(AdoType::Single);
    }
    void declaredTypes()
    {
        QFETCH(QString, declared);
        QFETCH(int, code);
        QCOMPARE(AdoType::FromDeclaredType(declared), code);
    }

    void normalizesStoredText_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("type");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("date") << QVariant("2024-02-29") << int(AdoType::DBDate) << QVariant(QDate(2024, 2, 29));
        QTest::newRow("no such day") << QVariant("2023-02-29") << int(AdoType::DBDate) << QVariant("2023-02-29");
        QTest::newRow("date with midnight") << QVariant("2024-01-05 00:00:00") << int(AdoType::DBDate) << QVariant(QDate(2024, 1, 5));
        QTest::newRow("timestamp") << QVariant("2024-01-05 13:45:07") << int(AdoType::DBTimeStamp)
                                   << QVariant(QDateTime(QDate(2024, 1, 5), QTime(13, 45, 7)));
        QTest::newRow("timestamp T ms") << QVariant("2024-01-05T13:45:07.25") << int(AdoType::DBTimeStamp)
                                        << QVariant(QDateTime(QDate(2024, 1, 5), QTime(13, 45, 7, 250)));
        QTest::newRow("timestamp no seconds") << QVariant("2024-01-05 13:45") << int(AdoType::DBTimeStamp)
                                              << QVariant(QDateTime(QDate(2024, 1, 5), QTime(13, 45)));
        QTest::newRow("bad hour") << QVariant("2024-01-05 25:00:00") << int(AdoType::DBTimeStamp) << QVariant("2024-01-05 25:00:00");
        QTest::newRow("not a date") << QVariant("soon") << int(AdoType::DBDate) << QVariant("soon");
        QTest::newRow("integer text") << QVariant("42") << int(AdoType::Integer) << QVariant(qlonglong(42));
        QTest::newRow("real in integer column") << QVariant(2.5) << int(AdoType::Integer) << QVariant(2.5);
        QTest::newRow("single as typed") << QVariant(double(0.15f)) << int(AdoType::Single) << QVariant(0.15);
        QTest::newRow("single large") << QVariant(double(16777216.0f)) << int(AdoType::Single) << QVariant(16777216.0);
        QTest::newRow("bool text") << QVariant("t") << int(AdoType::Boolean) << QVariant(true);
        QTest::newRow("null") << QVariant() << int(AdoType::Integer) << QVariant();
        QTest::newRow("decimal beyond a double") << QVariant("123456789012345678.91") << int(AdoType::Numeric)
                                                 << QVariant("123456789012345678.91");
        QTest::newRow("decimal with a sign") << QVariant(" +0.50") << int(AdoType::Numeric) << QVariant("0.50");
        QTest::newRow("big integer as decimal") << QVariant(qlonglong(9007199254740993)) << int(AdoType::Numeric)
                                                << QVariant("9007199254740993");
        QTest::newRow("real in decimal column") << QVariant(2.5) << int(AdoType::Numeric) << QVariant(2.5);
        QTest::newRow("not a decimal") << QVariant("1e5") << int(AdoType::Numeric) << QVariant(100000.0);
    }
    void normalizesStoredText()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, type);
        QFETCH(QVariant, expected);
        const QVariant got = AdoType::Normalize(stored, type);
        QCOMPARE(got.metaType(), expected.metaType());
        QCOMPARE(got, expected);
    }

    void coercionRefusesMismatches()
    {
        QCOMPARE(AdoType::Coerce(QStringLiteral(" 12 "), AdoType::Integer), QVariant(qlonglong(12)));
        QCOMPARE(AdoType::Coerce(QStringLiteral("1.5"), AdoType::Double), QVariant(1.5));
        // An empty cell is no number: the grid turns it into Null before it gets here.
        QVERIFY_THROWS_EXCEPTION(AdoError, AdoType::Coerce(QStringLiteral(""), AdoType::Integer));
        QVERIFY(!AdoType::Coerce(QVariant(), AdoType::Integer).isValid());
        QVERIFY_THROWS_EXCEPTION(AdoError, AdoType::Coerce(QStringLiteral("12abc"), AdoType::Integer));
        QVERIFY_THROWS_EXCEPTION(AdoError, AdoType::Coerce(QStringLiteral("maybe"), AdoType::Boolean));
        QVERIFY_THROWS_EXCEPTION(AdoError, AdoType::Coerce(QStringLiteral("31/31/2024"), AdoType::DBDate));
    }

    void decimalsAreTakenExactly_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("C form") << "en_US" << "-123456789012345678.91" << QVariant("-123456789012345678.91");
        QTest::newRow("regional comma") << "fr_FR" << "2,75" << QVariant("2.75");
        QTest::newRow("C form under a comma locale") << "fr_FR" << "2.75" << QVariant("2.75");
        QTest::newRow("integer") << "en_US" << "7" << QVariant("7");
    }
    void decimalsAreTakenExactly()
    {
        QFETCH(QString, locale);
        QFETCH(QString, typed);
        QFETCH(QVariant, expected);
        const QLocale before;
        QLocale::setDefault(QLocale(locale));
        const QVariant got = AdoType::Coerce(typed, AdoType::Numeric);
        QLocale::setDefault(before);
        QCOMPARE(got.metaType(), expected.metaType());
        QCOMPARE(got, expected);
        QVERIFY_THROWS_EXCEPTION(AdoError, AdoType::Coerce(QStringLiteral("12abc"), AdoType::Numeric));
    }
};

DABRIX_TEST_MAIN(TestAdoType)
#include "tst_adotype.moc"
