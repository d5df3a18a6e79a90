#include "support/TestMain.h"

#include "ado/AdoError.h"
#include "ado/Catalog.h"
#include "ado/Connection.h"
#include "ado/Recordset.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace ado;

namespace {

QString Text(const QVariant& v)
{
    if (!v.isValid() || v.isNull())
        return QStringLiteral("null");
    if (v.typeId() == QMetaType::QByteArray)
        return QString::fromLatin1(v.toByteArray().toHex());
    return v.toString();
}

QByteArray Digest(const QString& file)
{
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

} // namespace

class TestParadox : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    Connection m_cnx;

    // Every fixture table copied into one folder, so that writes cannot reach the originals.
    QString Folder() const { return m_dir->path(); }

    QStringList Column(const QString& sql, int column = 0)
    {
        Recordset rs;
        rs.Open(sql, &m_cnx);
        QStringList values;
        for (; !rs.Eof(); rs.MoveNext())
            values << Text(rs.Fields(column).Value());
        return values;
    }

    static QString ConnectionString(const QString& folder)
    {
        return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Extended Properties = Paradox 5.x;").arg(folder);
    }

private slots:
    void initTestCase()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QDirIterator it(testsupport::FixturePath(QStringLiteral("paradox")), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            QVERIFY(QFile::copy(info.filePath(), m_dir->filePath(info.fileName())));
            QFile::setPermissions(m_dir->filePath(info.fileName()), QFile::ReadOwner | QFile::WriteOwner);
        }
        m_cnx.Open(ConnectionString(Folder()));
    }

    void everyTableListed()
    {
        Catalog cat;
        cat.SetActiveConnection(&m_cnx);
        QStringList names;
        for (const TableInfo& t : cat.Tables()) {
            QCOMPARE(t.Type, QStringLiteral("TABLE"));
            names << t.Name;
        }
        for (const char* expected : {"AREACODE", "CUSTOMER", "DECIMAL", "HERCULES", "ORDERS", "ROMAN8", "County", "TypSammlung",
                                     "bcd", "bytes", "date35", "date4", "date5", "date7", "fmemo", "graphic240", "logical", "long",
                                     "memo", "time", "timestamp", "encrypted"})
            QVERIFY2(names.contains(QString::fromLatin1(expected)), expected);
        QCOMPARE(names.size(), 22);
    }

    void recordCounts_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("count");
        QTest::newRow("AREACODE") << "AREACODE" << 135;
        QTest::newRow("CUSTOMER") << "CUSTOMER" << 20;
        QTest::newRow("DECIMAL") << "DECIMAL" << 9;
        QTest::newRow("HERCULES") << "HERCULES" << 20;
        QTest::newRow("ORDERS, 8 blocks") << "ORDERS" << 224;
        QTest::newRow("County, 16 KiB blocks") << "County" << 3218;
        QTest::newRow("TypSammlung") << "TypSammlung" << 5;
        QTest::newRow("bcd") << "bcd" << 3;
        QTest::newRow("date35, Paradox 3.5 header") << "date35" << 3;
        QTest::newRow("date7") << "date7" << 5;
        QTest::newRow("logical") << "logical" << 4;
        QTest::newRow("alias with extension") << "TypSammlung.DB" << 5;
    }

    void recordCounts()
    {
        QFETCH(QString, table);
        QFETCH(int, count);
        QCOMPARE(Column(QStringLiteral("SELECT COUNT(*) FROM [%1]").arg(table)), QStringList{QString::number(count)});
        Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM [%1]").arg(table), &m_cnx);
        QCOMPARE(rs.RecordCount(), count);
    }

    // Values of the table with one field of every type, as the bytes of the file give them.
    void everyFieldType_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("adoType");
        QTest::addColumn<QStringList>("values");
        const auto rows = [](std::initializer_list<const char*> v) {
            QStringList l;
            for (const char* s : v)
                l << QString::fromUtf8(s);
            return l;
        };
        // Rows ordered by Alpha: AAA Irgendein Text, Erste Zeile, Fünfter Datensatz, Null-Werte, Zweite Zeile.
        QTest::newRow("alpha cp1252") << "Alpha" << 202 << rows({"AAA Irgendein Text", "Erste Zeile", "Fünfter Datensatz", "Null-Werte", "Zweite Zeile"});
        QTest::newRow("number") << "Numerisch" << 5 << rows({"40", "23", "1.34", "0", "-40"});
        QTest::newRow("currency") << "Währung" << 6 << rows({"40", "null", "13.002", "0", "-40"});
        QTest::newRow("short") << "Integer kurz" << 2 << rows({"40", "null", "null", "0", "-40"});
        QTest::newRow("long") << "Integer lang" << 3 << rows({"40", "null", "null", "0", "-40"});
        QTest::newRow("bcd") << "BCD" << 131 << rows({"40", "null", "13.123457", "0", "-40"});
        QTest::newRow("date") << "Datum" << 133 << rows({"1970-01-01", "null", "null", "null", "1999-09-09"});
        QTest::newRow("time") << "Zeit" << 134 << rows({"00:00:00", "null", "01:10:12", "null", "11:11:11"});
        QTest::newRow("logical") << "Logisch" << 11 << rows({"null", "false", "null", "null", "true"});
        QTest::newRow("autoinc") << "Zähler" << 3 << rows({"1", "3", "5", "4", "2"});
        QTest::newRow("memo from .MB") << "Memo" << 203 << rows({"null", "null", "Dies ist eine Memo im 'Fünften Datensat'", "null", "null"});
    }

    void everyFieldType()
    {
        QFETCH(QString, field);
        QFETCH(int, adoType);
        QFETCH(QStringList, values);
        Recordset rs;
        rs.Open(QStringLiteral("SELECT [%1] FROM TypSammlung ORDER BY Alpha").arg(field), &m_cnx);
        QCOMPARE(rs.Fields(0).Type(), adoType);
        QStringList got;
        for (; !rs.Eof(); rs.MoveNext()) {
            const QVariant v = rs.Fields(0).Value();
            QString s = Text(v);
            if (adoType == 133)
                s = s.left(10);
            if (adoType == 134)
                s = s.left(8);
            if (adoType == 11 && s != u"null")
                s = v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
            got << s;
        }
        QCOMPARE(got, values);
    }

    void fieldsOfOtherTables_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("values");
        QTest::newRow("bcd with 2 decimals") << "SELECT A FROM bcd" << QStringList{"1.23", "-1.23", "0"};
        QTest::newRow("bcd with none") << "SELECT B FROM bcd" << QStringList{"1", "-1", "null"};
        QTest::newRow("memo in the record") << "SELECT length(MEMO) FROM memo ORDER BY Id" << QStringList{"555", "12"};
        QTest::newRow("cp437 alpha") << "SELECT COUNT(*) FROM AREACODE WHERE State = 'CA'" << QStringList{"12"};
        QTest::newRow("county") << "SELECT County FROM County WHERE CountyID = 1" << QStringList{"Abbeville"};
        QTest::newRow("timestamp") << "SELECT Timestamp FROM timestamp" << QStringList{"null", "2020-02-01T01:00:01.000"};
    }

    void fieldsOfOtherTables()
    {
        QFETCH(QString, sql);
        QFETCH(QStringList, values);
        QCOMPARE(Column(sql), values);
    }

    void unreadableTablesNameThemselves_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("message");
        QTest::newRow("password") << "encrypted" << "encrypted.db";
        QTest::newRow("record count lies") << "count" << "header counts 10 records";
        QTest::newRow("cut short") << "cut" << "cannot be read";
        QTest::newRow("fields beyond the record") << "fields" << "record size";
        QTest::newRow("block loop") << "loop" << "linked in a loop";
    }

    void unreadableTablesNameThemselves()
    {
        QFETCH(QString, damage);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QString file = dir.filePath(QStringLiteral("broken.db"));
        if (damage == u"encrypted") {
            file = dir.filePath(QStringLiteral("encrypted.db"));
            QFile::copy(m_dir->filePath(QStringLiteral("encrypted.db")), file);
        } else {
            QFile::copy(m_dir->filePath(damage == u"loop" ? QStringLiteral("ORDERS.DB") : QStringLiteral("DECIMAL.DB")), file);
        }
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite));
            if (damage == u"count") {
                f.seek(6);
                f.write(QByteArray("\x0a\x00\x00\x00", 4));
            } else if (damage == u"cut") {
                f.resize(3000);
            } else if (damage == u"fields") {
                f.seek(0x78 + 1);
                f.write(QByteArray("\x20", 1));
            } else if (damage == u"loop") {
                // The second block's next block is the first again.
                f.seek(2048 + 2048);
                f.write(QByteArray("\x01\x00", 2));
            }
        }
        const QByteArray before = Digest(file);
        Connection cnx;
        cnx.Open(ConnectionString(dir.path()));
        Catalog cat;
        cat.SetActiveConnection(&cnx);
        QCOMPARE(cat.Tables().size(), 1);
        // A failure before the first row ends Open; one after it ends the fetch.
        QString error;
        try {
            Recordset rs;
            QSignalSpy complete(&rs, &Recordset::FetchComplete);
            rs.Open(QStringLiteral("SELECT * FROM [%1]").arg(cat.Tables().first().Name), &cnx, Recordset::adOpenStatic,
                    Recordset::adLockReadOnly, Recordset::adAsyncFetch);
            rs.FinishFetch();
            QCOMPARE(complete.size(), 1);
            error = complete.first().at(0).toString();
            QCOMPARE(complete.first().at(1).toInt(), int(Recordset::adStatusErrorsOccurred));
        } catch (const AdoError& e) {
            QCOMPARE(e.Number(), -2147467259L);
            error = e.Description();
        }
        QVERIFY2(error.contains(message), qPrintable(error));
        QVERIFY2(error.contains(QFileInfo(file).fileName()), qPrintable(error));
        QCOMPARE(Digest(file), before);
    }

    void writesAreRefused()
    {
        const QString file = m_dir->filePath(QStringLiteral("AREACODE.DB"));
        const QByteArray before = Digest(file);
        for (const QString& sql : {QStringLiteral("UPDATE AREACODE SET State = 'XX'"), QStringLiteral("DELETE FROM AREACODE"),
                                   QStringLiteral("INSERT INTO AREACODE ([Area Code]) VALUES ('999')")}) {
            try {
                m_cnx.Execute(sql);
                QFAIL(qPrintable(sql));
            } catch (const AdoError& e) {
                QCOMPARE(e.Description(), QStringLiteral("Cannot update. Database or object is read-only."));
            }
        }
        QCOMPARE(Digest(file), before);
    }
};

DABRIX_TEST_MAIN(TestParadox)
#include "tst_paradox.moc"
