#include "support/TestMain.h"

#include "ado/AdoError.h"
#include "ado/Catalog.h"
#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "ado/fileengine/ChildProcessReader.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using namespace ado;

namespace {

const QString NullMark = QStringLiteral("@NULL@");

QByteArray Run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        qWarning() << program << args << p.readAllStandardError();
    return p.readAllStandardOutput();
}

// mdb-export's CSV: quoted fields with doubled quotes, line breaks inside quotes.
QList<QStringList> ParseCsv(const QString& text)
{
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text.at(i + 1) == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',' || c == u'\n') {
            row << field;
            field.clear();
            if (c == u'\n') {
                rows << row;
                row.clear();
            }
        } else {
            field += c;
        }
    }
    if (!row.isEmpty() || !field.isEmpty())
        rows << (row << field);
    return rows;
}

QStringList ToolTables(const QString& file, bool system)
{
    QStringList args{QStringLiteral("-1")};
    if (system)
        args << QStringLiteral("-S");
    args << file;
    return QString::fromUtf8(Run(QStringLiteral("mdb-tables"), args)).split(u'\n', Qt::SkipEmptyParts);
}

// Whether our value says what mdb-export wrote for it.
bool SameValue(const QVariant& ours, int adoType, const QString& theirs, QString* why)
{
    const bool oursNull = !ours.isValid() || ours.isNull() || (ours.typeId() == QMetaType::QString && ours.toString().isEmpty());
    if (theirs == NullMark || theirs.isEmpty()) {
        *why = ours.toString();
        return oursNull;
    }
    if (oursNull) {
        *why = QStringLiteral("null");
        return false;
    }
    switch (adoType) {
    case 11:
        *why = ours.toString();
        return (ours.toBool() ? u"1" : u"0") == theirs;
    case 128: case 204: case 205:
        *why = QString::fromLatin1(ours.toByteArray().toHex().toUpper().left(40));
        return ours.toByteArray().toHex().toUpper() == theirs.toLatin1();
    case 7: case 133: case 135: {
        const QDateTime dt = ours.typeId() == QMetaType::QString ? QDateTime::fromString(ours.toString(), Qt::ISODate) : ours.toDateTime();
        *why = dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        return *why == theirs;
    }
    case 2: case 3: case 4: case 5: case 6: case 17: case 20: case 131: {
        const double a = ours.toDouble(), b = theirs.toDouble();
        *why = QString::number(a, 'g', 17);
        return std::fabs(a - b) <= 1e-6 * qMax(1.0, std::fabs(b));
    }
    case 72:
        *why = ours.toString();
        return ours.toString().compare(theirs, Qt::CaseInsensitive) == 0;
    default:
        *why = ours.toString();
        return ours.toString() == theirs;
    }
}

// The most memory the test program has used so far, from the kernel's accounting.
qint64 PeakMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

// Makes every child reader die of the signal while the guard lives.
class ChildCrash {
public:
    explicit ChildCrash(int sig) { ChildProcessReader::SetChildHook([sig] { ::raise(sig); }); }
    ~ChildCrash() { ChildProcessReader::SetChildHook({}); }
};

QByteArray Digest(const QString& file)
{
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

} // namespace

class TestAccess : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString Copy(const QString& relative)
    {
        const QString target = m_dir.filePath(QFileInfo(relative).fileName());
        QFile::remove(target);
        QFile::copy(testsupport::FixturePath(QStringLiteral("mdb/") + relative), target);
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        return target;
    }

    static QString ConnectionString(const QString& file)
    {
        return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;").arg(file);
    }

    static QStringList Fixtures()
    {
        return {QStringLiteral("mdbtestdata/nwind.mdb"), QStringLiteral("mdbtestdata/DateTestDatabase.mdb"),
                QStringLiteral("mdbtestdata/ASampleDatabase.accdb"), QStringLiteral("northwind-jet4/Northwind.mdb"),
                QStringLiteral("jackcess/adox_jet4.mdb"), QStringLiteral("jackcess/fixedNumericTestV2000.mdb"),
                QStringLiteral("jackcess/queryTestV1997.mdb"), QStringLiteral("jackcess/queryTestV2000.mdb"),
                QStringLiteral("jackcess/test2V1997.mdb"), QStringLiteral("jackcess/test2V2000.mdb"),
                QStringLiteral("jackcess/test2V2003.mdb"), QStringLiteral("jackcess/testUnicodeCompV2003.mdb"),
                QStringLiteral("jackcess/testV1997.mdb")};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        if (QStandardPaths::findExecutable(QStringLiteral("mdb-export")).isEmpty())
            QSKIP("mdbtools' command-line tools are not installed");
    }

    void catalogueMatchesMdbTables_data()
    {
        QTest::addColumn<QString>("fixture");
        for (const QString& f : Fixtures())
            QTest::newRow(qPrintable(f)) << f;
    }

    void catalogueMatchesMdbTables()
    {
        QFETCH(QString, fixture);
        const QString file = Copy(fixture);
        Connection cnx;
        cnx.Open(ConnectionString(file));
        Catalog cat;
        cat.SetActiveConnection(&cnx);
        QStringList user, system;
        for (const TableInfo& t : cat.Tables())
            (t.Type == u"TABLE" ? user : system) << t.Name;
        for (const TableInfo& t : cat.Tables())
            QVERIFY2(t.Type == u"TABLE" || t.Type == u"SYSTEM TABLE", qPrintable(t.Type));
        QStringList expectedUser = ToolTables(file, false);
        QStringList expectedSystem = ToolTables(file, true);
        for (const QString& t : expectedUser)
            expectedSystem.removeOne(t);
        user.sort();
        system.sort();
        expectedUser.sort();
        expectedSystem.sort();
        QCOMPARE(user, expectedUser);
        QCOMPARE(system, expectedSystem);
    }

    void valuesMatchMdbExport_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("table");
        for (const QString& f : Fixtures()) {
            for (const QString& t : ToolTables(testsupport::FixturePath(QStringLiteral("mdb/") + f), false))
                QTest::newRow(qPrintable(f + u'/' + t)) << f << t;
        }
    }

    void valuesMatchMdbExport()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, table);
        const QString file = Copy(fixture);
        const QString format = QStringLiteral("%Y-%m-%d %H:%M:%S");
        const QList<QStringList> expected = ParseCsv(QString::fromUtf8(Run(
            QStringLiteral("mdb-export"), {QStringLiteral("-0"), NullMark, QStringLiteral("-b"), QStringLiteral("hex"),
                                           QStringLiteral("-D"), format, QStringLiteral("-T"), format, file, table})));
        QVERIFY(!expected.isEmpty());
        const QStringList header = expected.first();

        Connection cnx;
        cnx.Open(ConnectionString(file));
        Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM [%1]").arg(table), &cnx);
        QCOMPARE(rs.RecordCount(), int(expected.size() - 1));
        QStringList names;
        for (int i = 0; i < rs.FieldCount(); ++i)
            names << rs.Fields(i).Name();
        QCOMPARE(names, header);

        int compared = 0;
        for (int row = 1; row < expected.size(); ++row, rs.MoveNext()) {
            QCOMPARE(expected.at(row).size(), header.size());
            for (int c = 0; c < header.size(); ++c) {
                const QString& theirs = expected.at(row).at(c);
                // mdb-export cannot format dates before 1900 or after 2038 ("1900-01-00").
                if (theirs.contains(QStringLiteral("-00 ")))
                    continue;
                QString ours;
                QVERIFY2(SameValue(rs.Fields(c).Value(), rs.Fields(c).Type(), theirs, &ours),
                         qPrintable(QStringLiteral("row %1 %2: ours %3, mdb-export %4").arg(row).arg(header.at(c), ours, theirs.left(40))));
                ++compared;
            }
        }
        QVERIFY(rs.Eof());
        if (expected.size() > 1)
            QVERIFY(compared > 0);
    }

    void engineType_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<int>("engineType");
        QTest::newRow("Jet 3") << "mdbtestdata/nwind.mdb" << 4;
        QTest::newRow("Jet 4") << "northwind-jet4/Northwind.mdb" << 5;
        QTest::newRow("empty Jet 4") << "jackcess/adox_jet4.mdb" << 5;
        QTest::newRow("ACE") << "mdbtestdata/ASampleDatabase.accdb" << 6;
    }

    void engineType()
    {
        QFETCH(QString, fixture);
        QFETCH(int, engineType);
        Connection cnx;
        cnx.Open(ConnectionString(Copy(fixture)));
        QCOMPARE(cnx.Properties(QStringLiteral("Jet OLEDB:Engine Type")).toInt(), engineType);
    }

    void typesAndTexts()
    {
        Connection cnx;
        cnx.Open(ConnectionString(Copy(QStringLiteral("mdbtestdata/nwind.mdb"))));
        Recordset rs;
        rs.Open(QStringLiteral("SELECT CompanyName FROM Customers WHERE CustomerID = 'OCEAN'"), &cnx);
        QCOMPARE(rs.Fields(0).Value().toString(), QStringLiteral("Océano Atlántico Ltda."));
        QCOMPARE(rs.Fields(0).Type(), 202);

        Recordset umsatz;
        umsatz.Open(QStringLiteral("SELECT COUNT(*) FROM [Umsätze]"), &cnx);
        QCOMPARE(umsatz.Fields(0).Value().toInt(), 830);

        // ADO type codes of Jet's column types.
        Recordset products;
        products.Open(QStringLiteral("SELECT TOP 1 ProductName, UnitPrice, Discontinued, SupplierID FROM Products"), &cnx);
        QCOMPARE(products.Fields(QStringLiteral("UnitPrice")).Type(), 6);
        QCOMPARE(products.Fields(QStringLiteral("Discontinued")).Type(), 11);
        QCOMPARE(products.Fields(QStringLiteral("SupplierID")).Type(), 3);

        Recordset photo;
        photo.Open(QStringLiteral("SELECT Photo, Notes, BirthDate FROM Employees WHERE EmployeeID = 1"), &cnx);
        QCOMPARE(photo.Fields(QStringLiteral("Photo")).Type(), 205);
        QCOMPARE(photo.Fields(QStringLiteral("Notes")).Type(), 203);
        QCOMPARE(photo.Fields(QStringLiteral("BirthDate")).Type(), 135);
        const QByteArray bytes = photo.Fields(QStringLiteral("Photo")).Value().toByteArray();
        // An OLE object spread over several pages, wrapping a Windows bitmap.
        QVERIFY(bytes.size() > 8192);
        QVERIFY(bytes.contains("BM"));
    }

    void unicodeAndDates()
    {
        Connection cnx;
        cnx.Open(ConnectionString(Copy(QStringLiteral("jackcess/testUnicodeCompV2003.mdb"))));
        Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM [Table]"), &cnx);
        QCOMPARE(rs.RecordCount(), 8);
        QHash<qint64, QString> texts;
        for (; !rs.Eof(); rs.MoveNext())
            texts.insert(rs.Fields(0).Value().toLongLong(), rs.Fields(1).Value().toString());
        // Jet 4 compressed Unicode and full UCS-2, in Finnish, Russian, Greek and Japanese.
        QCOMPARE(texts.value(2), QStringLiteral("ääkkösiä"));
        QCOMPARE(texts.value(3), QStringLiteral("Мир"));
        QVERIFY(texts.value(4).startsWith(QStringLiteral("ϰα")));
        QCOMPARE(texts.value(5), QStringLiteral("漢字仮名交じり文"));
        QVERIFY(texts.value(8).contains(QStringLiteral("ÀÁÂÃÄÅ")));

        Connection dates;
        dates.Open(ConnectionString(Copy(QStringLiteral("mdbtestdata/DateTestDatabase.mdb"))));
        Recordset d;
        d.Open(QStringLiteral("SELECT IDCol, DateTimeCol, LongTextCol FROM DateTest ORDER BY IDCol"), &dates);
        QHash<QString, int> years;
        for (; !d.Eof(); d.MoveNext())
            years.insert(d.Fields(2).Value().toString(), QDateTime::fromString(d.Fields(1).Value().toString(), Qt::ISODate).date().year());
        QCOMPARE(years.value(QStringLiteral("Year 9999")), 9999);
        QVERIFY(years.value(QStringLiteral("Pre-1900 years")) < 1900);
        QVERIFY(years.value(QStringLiteral("Pre-1000 years")) < 1000);
        QCOMPARE(years.value(QStringLiteral("Hello")), 2021);
    }

    void writesAreRefused_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("update") << "UPDATE Shippers SET CompanyName = 'x'";
        QTest::newRow("insert") << "INSERT INTO Shippers (ShipperID, CompanyName) VALUES (9, 'x')";
        QTest::newRow("delete") << "DELETE FROM Shippers";
    }

    void writesAreRefused()
    {
        QFETCH(QString, sql);
        const QString file = Copy(QStringLiteral("mdbtestdata/nwind.mdb"));
        const QByteArray before = Digest(file);
        Connection cnx;
        cnx.Open(ConnectionString(file));
        try {
            cnx.Execute(sql);
            QFAIL("the write was accepted");
        } catch (const AdoError& e) {
            QCOMPARE(e.Number(), -2147467259L);
            QCOMPARE(e.Description(), QStringLiteral("Cannot update. Database or object is read-only."));
        }
        cnx.Close();
        QCOMPARE(Digest(file), before);
    }

    void damagedFiles_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("empty file") << "empty";
        QTest::newRow("cut mid-page") << "cut 300000";
        QTest::newRow("cut at a page") << "cut 1048576";
        QTest::newRow("header page overwritten") << "zero 0 2048";
        QTest::newRow("not a database") << "text";
    }

    void damagedFiles()
    {
        QFETCH(QString, damage);
        const QString file = Copy(QStringLiteral("mdbtestdata/nwind.mdb"));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite));
            const QStringList parts = damage.split(u' ');
            if (parts[0] == u"empty") {
                f.resize(0);
            } else if (parts[0] == u"cut") {
                f.resize(parts[1].toLongLong());
            } else if (parts[0] == u"zero") {
                f.seek(parts[1].toLongLong());
                f.write(QByteArray(parts[2].toInt(), '\0'));
            } else {
                f.resize(0);
                f.write(QByteArray("CustomerID,CompanyName\n").repeated(200));
            }
        }
        const QByteArray before = Digest(file);
        // Opening may fail, or a table read may: either way a clear failure on every table.
        int failures = 0;
        try {
            Connection cnx;
            cnx.Open(ConnectionString(file));
            for (const QString& t : {QStringLiteral("Customers"), QStringLiteral("Orders"), QStringLiteral("Order Details"),
                                     QStringLiteral("Employees"), QStringLiteral("Categories")}) {
                try {
                    // A failure after the first rows ends the fetch instead of Open.
                    Recordset rs;
                    QSignalSpy complete(&rs, &Recordset::FetchComplete);
                    rs.Open(QStringLiteral("SELECT * FROM [%1]").arg(t), &cnx, Recordset::adOpenStatic, Recordset::adLockReadOnly,
                            Recordset::adAsyncFetch);
                    rs.FinishFetch();
                    QCOMPARE(complete.size(), 1);
                    if (complete.first().at(1).toInt() == Recordset::adStatusErrorsOccurred) {
                        QVERIFY(complete.first().at(0).toString().contains(t));
                        ++failures;
                    }
                } catch (const AdoError& e) {
                    QCOMPARE(e.Number(), -2147467259L);
                    QVERIFY2(!e.Description().isEmpty(), qPrintable(t));
                    ++failures;
                }
            }
        } catch (const AdoError& e) {
            QCOMPARE(e.Number(), -2147467259L);
            QVERIFY2(e.Description().contains(QStringLiteral("Unrecognized database format")), qPrintable(e.Description()));
            ++failures;
        }
        QVERIFY(failures > 0);
        QCOMPARE(Digest(file), before);
    }

    // Bytes of the catalogue's property blocks that make libmdb allocate until memory
    // runs out (a length's high byte, a count's), found by trying values on each byte.
    void catalogueThatEatsMemory_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("Jet 4 properties") << "northwind-jet4/Northwind.mdb" << qint64(73968) << QByteArray("\x00", 1);
        QTest::newRow("Jet 3 property length") << "jackcess/testV1997.mdb" << qint64(41528) << QByteArray("\x7f");
        QTest::newRow("Jet 3 property count") << "jackcess/testV1997.mdb" << qint64(41549) << QByteArray("\x00", 1);
    }

    void catalogueThatEatsMemory()
    {
        QFETCH(QString, fixture);
        QFETCH(qint64, offset);
        QFETCH(QByteArray, bytes);
        const QString file = Copy(fixture);
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.seek(offset));
            QCOMPARE(f.write(bytes), bytes.size());
        }
        const qint64 peakBefore = PeakMemory();
        QVERIFY(peakBefore > 0);
        try {
            Connection cnx;
            cnx.Open(ConnectionString(file));
            QFAIL("the damaged file was opened");
        } catch (const AdoError& e) {
            QCOMPARE(e.Number(), -2147467259L);
            QVERIFY2(e.Description().contains(QStringLiteral("'%1'").arg(file)), qPrintable(e.Description()));
            QVERIFY2(e.Description().contains(QStringLiteral("damaged")), qPrintable(e.Description()));
        }
        QVERIFY2(PeakMemory() - peakBefore < qint64(200) << 20, qPrintable(QString::number(PeakMemory() - peakBefore)));

        // The program goes on: the intact file still reads.
        Connection cnx;
        cnx.Open(ConnectionString(Copy(fixture)));
        Catalog cat;
        cat.SetActiveConnection(&cnx);
        QVERIFY(!cat.Tables().isEmpty());
    }

    void readerKilledBySignal_data()
    {
        QTest::addColumn<bool>("atOpen");
        QTest::addColumn<int>("signal");
        QTest::newRow("catalogue, segmentation fault") << true << SIGSEGV;
        QTest::newRow("catalogue, killed") << true << SIGKILL;
        QTest::newRow("rows, segmentation fault") << false << SIGSEGV;
        QTest::newRow("rows, bus error") << false << SIGBUS;
    }

    void readerKilledBySignal()
    {
        QFETCH(bool, atOpen);
        QFETCH(int, signal);
        const QString file = Copy(QStringLiteral("mdbtestdata/nwind.mdb"));
        const QString expected = QStringLiteral("with signal %1").arg(signal);
        Connection cnx;
        if (atOpen) {
            const ChildCrash crash(signal);
            try {
                cnx.Open(ConnectionString(file));
                QFAIL("the file was opened");
            } catch (const AdoError& e) {
                QVERIFY2(e.Description().startsWith(QStringLiteral("The database '%1' cannot be read: ").arg(file)), qPrintable(e.Description()));
                QVERIFY2(e.Description().contains(expected), qPrintable(e.Description()));
            }
            return;
        }
        cnx.Open(ConnectionString(file));
        {
            const ChildCrash crash(signal);
            Recordset rs;
            try {
                rs.Open(QStringLiteral("SELECT * FROM Shippers"), &cnx);
                QFAIL("the rows were read");
            } catch (const AdoError& e) {
                QVERIFY2(e.Description().contains(QStringLiteral("The table 'Shippers' of '%1' cannot be read: ").arg(file)),
                         qPrintable(e.Description()));
                QVERIFY2(e.Description().contains(expected), qPrintable(e.Description()));
            }
        }
        // The next read of the same connection runs a new reader.
        Recordset rs;
        rs.Open(QStringLiteral("SELECT COUNT(*) FROM Shippers"), &cnx);
        QCOMPARE(rs.Fields(0).Value().toInt(), 3);
    }

    void joinReadsEachTableOnce()
    {
        const QString file = Copy(QStringLiteral("mdbtestdata/nwind.mdb"));
        const int details = int(ParseCsv(QString::fromUtf8(Run(QStringLiteral("mdb-export"), {file, QStringLiteral("Order Details")}))).size()) - 1;
        Connection cnx;
        cnx.Open(ConnectionString(file));
        // Each reader leaves a mark in this file.
        const QByteArray marks = QFile::encodeName(m_dir.filePath(QStringLiteral("readers")));
        ChildProcessReader::SetChildHook([marks] {
            const int fd = ::open(marks.constData(), O_WRONLY | O_APPEND | O_CREAT, 0600);
            (void)!::write(fd, "x", 1);
            ::close(fd);
        });
        Recordset rs;
        rs.Open(QStringLiteral("SELECT COUNT(*) FROM Orders o INNER JOIN [Order Details] d ON d.OrderID = o.OrderID"), &cnx);
        ChildProcessReader::SetChildHook({});
        QCOMPARE(rs.Fields(0).Value().toInt(), details);
        QCOMPARE(QFileInfo(QFile::decodeName(marks)).size(), 2);
    }
};

DABRIX_TEST_MAIN(TestAccess)
#include "tst_access.moc"
