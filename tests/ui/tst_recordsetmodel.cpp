#include "support/TestMain.h"

#include "support/TestDatabase.h"
#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "ui/RecordsetModel.h"
#include "windows/adoLib.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

class TestRecordsetModel : public QObject {
    Q_OBJECT

private:
    QString m_cs;
    std::unique_ptr<ado::Connection> m_cnx;

    std::unique_ptr<ado::Recordset> open(const QString& sql, long options = -1,
                                         int lock = ado::Recordset::adLockOptimistic)
    {
        auto rs = adoLib::NewRecordset(ado::Recordset::adUseClient);
        rs->Open(sql, m_cnx.get(), ado::Recordset::adOpenStatic, lock, options);
        return rs;
    }

    QVariant readBack(const QString& sql)
    {
        ado::Connection other;
        other.Open(m_cs);
        ado::Recordset rs;
        rs.Open(sql, &other);
        return rs.Eof() ? QVariant(QStringLiteral("<no row>")) : rs.Fields(0).Value();
    }

    static void addKinds()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("sqlite") << QStringLiteral("sqlite");
        QTest::newRow("postgres") << QStringLiteral("postgres");
    }

    // A fresh database of the row's kind, the connection and the read-back going to it.
    bool prepareKind(const QString& sqliteTable, const QString& postgresTable)
    {
        QFETCH(QString, kind);
        testsupport::TestDatabase db;
        if (!db.Create(kind, QStringLiteral("tst_model_") + QString::fromLatin1(QTest::currentTestFunction()).toLower())) {
            qWarning("%s", qPrintable(db.error));
            return false;
        }
        m_cs = db.connectionString;
        m_cnx = std::make_unique<ado::Connection>();
        m_cnx->Open(m_cs);
        m_cnx->Execute(db.IsPostgres() ? postgresTable : sqliteTable);
        return true;
    }

    // Two columns that may not be Null, so a row written cell by cell can never be had.
    bool preparePairs()
    {
        return prepareKind(QStringLiteral("CREATE TABLE [Pairs] (id INTEGER PRIMARY KEY AUTOINCREMENT, a VARCHAR(10) NOT NULL, "
                                          "b INTEGER NOT NULL, c VARCHAR(10) DEFAULT 'dflt')"),
                           QStringLiteral("CREATE TABLE [Pairs] (id SERIAL PRIMARY KEY, a VARCHAR(10) NOT NULL, "
                                          "b INTEGER NOT NULL, c VARCHAR(10) DEFAULT 'dflt')"));
    }

private slots:
    void init()
    {
        const QString file = QDir::temp().filePath(QStringLiteral("tst_model.sqlite"));
        QFile::remove(file);
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        m_cs = QStringLiteral("Provider=SQLite;Data Source=") + file;
        m_cnx = std::make_unique<ado::Connection>();
        m_cnx->Open(m_cs);
        m_cnx->Execute(QStringLiteral("CREATE TABLE [Items] (id INTEGER PRIMARY KEY, name VARCHAR(40), price DOUBLE, "
                                      "qty INTEGER, born DATE, data BLOB)"));
        m_cnx->BeginTrans();
        for (int i = 1; i <= 300; ++i)
            m_cnx->Execute(QStringLiteral("INSERT INTO [Items] (id, name, price, qty) VALUES (%1, 'item %1', %1.5, %2)")
                               .arg(i).arg(i % 7));
        m_cnx->Execute(QStringLiteral("UPDATE [Items] SET born = '2024-03-09', data = x'0102' WHERE id = 1"));
        m_cnx->CommitTrans();
    }
    void cleanup()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        m_cnx.reset();
    }

    void followsTheRecordsetThroughItsLife();
    void backgroundFetchShownInFewSteps();
    void displayAndEditRoles_data();
    void displayAndEditRoles();
    void valuesAsTheEyeReadsThem();
    void editsReachTheDatabase_data();
    void editsReachTheDatabase();
    void refusedWriteIsReportedAndCancelled();
    void newRowLineAddsARecord();
    void removeRowsDeletes();
    void readOnlyRecordset();
    void newRowIsOneInsert_data();
    void newRowIsOneInsert();
    void refusedNewRowStaysPending_data();
    void refusedNewRowStaysPending();
    void newRowOnDbaseTable();
    void datesReadBackAsShown_data();
    void datesReadBackAsShown();
};

void TestRecordsetModel::followsTheRecordsetThroughItsLife()
{
    RecordsetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    auto rs = open(QStringLiteral("SELECT * FROM [Items]"), ado::Recordset::adAsyncFetch);
    QVERIFY(rs->IsFetching());
    model.SetRecordset(rs.get());
    QVERIFY(model.rowCount() < 301);
    QTRY_VERIFY(!rs->IsFetching());
    QCOMPARE(model.rowCount(), 301); // the rows and the new-row line
    QCOMPARE(model.columnCount(), 6);
    QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("price"));
    QCOMPARE(model.headerData(300, Qt::Vertical).toString(), QStringLiteral("*"));

    rs->SetSort(QStringLiteral("id DESC"));
    QCOMPARE(model.index(0, 0).data(Qt::EditRole).toLongLong(), 300);
    QVERIFY(model.setData(model.index(300, 1), QStringLiteral("added")));
    QCOMPARE(model.rowCount(), 301);
    QVERIFY(model.CommitNewRow());
    QCOMPARE(model.rowCount(), 302);
    QVERIFY(model.removeRows(0, 2));
    QCOMPARE(model.rowCount(), 300);
    model.SetAllowAddNew(false);
    QCOMPARE(model.rowCount(), 299);
    rs.reset();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 0);
}

// The grid takes the rows of a long fetch in a few steps, never shows a row the recordset
// lacks, shows every held row as soon as one of them is touched, and has them all when the
// fetch completes.
void TestRecordsetModel::backgroundFetchShownInFewSteps()
{
    m_cnx->Execute(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 301 UNION ALL SELECT i + 1 FROM n WHERE i < 200000) "
                                  "INSERT INTO [Items] (id, name, price, qty) SELECT i, 'item ' || i, i + 0.5, i % 7 FROM n"));
    RecordsetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    auto rs = open(QStringLiteral("SELECT * FROM [Items]"), ado::Recordset::adAsyncFetch);
    model.SetRecordset(rs.get());

    int slices = 0, shown = 0, fetchedCountAtEnd = -1, shownCountAtEnd = -1;
    bool beyond = false;
    connect(rs.get(), &ado::Recordset::rowsInserted, this, [&] {
        ++slices;
        beyond = beyond || model.RecordRows() > rs->RecordCount();
    });
    connect(&model, &QAbstractItemModel::rowsInserted, this, [&] { ++shown; });
    connect(rs.get(), &ado::Recordset::FetchComplete, this, [&] {
        fetchedCountAtEnd = rs->RecordCount();
        shownCountAtEnd = model.RecordRows();
    });

    // Touching a row the grid does not show yet shows it and those before it.
    QTRY_VERIFY(model.RecordRows() < rs->RecordCount());
    const int held = rs->RecordCount();
    rs->SetAbsolutePosition(held);
    rs->Fields(1).SetValue(QStringLiteral("touched"));
    QVERIFY(model.RecordRows() >= held);
    QCOMPARE(model.index(held - 1, 1).data().toString(), QStringLiteral("touched"));
    rs->CancelUpdate();

    QTRY_VERIFY_WITH_TIMEOUT(!rs->IsFetching(), 60000);
    QCOMPARE(fetchedCountAtEnd, 200000);
    QCOMPARE(shownCountAtEnd, 200000);
    QCOMPARE(model.rowCount(), 200001);
    QVERIFY(!beyond);
    QVERIFY2(slices > 3, qPrintable(QString::number(slices)));
    QVERIFY2(shown < slices, qPrintable(QStringLiteral("%1 showings for %2 slices").arg(shown).arg(slices)));
}

void TestRecordsetModel::displayAndEditRoles_data()
{
    QTest::addColumn<bool>("french");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QVariant>("edit");
    QTest::addColumn<bool>("editable");

    QTest::newRow("double en") << false << 2 << QStringLiteral("1.5") << QVariant(1.5) << true;
    QTest::newRow("double fr") << true << 2 << QStringLiteral("1,5") << QVariant(1.5) << true;
    QTest::newRow("date fr") << true << 4 << QStringLiteral("09/03/2024") << QVariant(QDate(2024, 3, 9)) << true;
    QTest::newRow("date en keeps the century") << false << 4 << QStringLiteral("3/9/2024") << QVariant(QDate(2024, 3, 9)) << true;
    QTest::newRow("binary") << false << 5 << QStringLiteral("(binaire, 2 octets)") << QVariant() << false;
}

void TestRecordsetModel::displayAndEditRoles()
{
    QFETCH(bool, french);
    QFETCH(int, column);
    QFETCH(QString, display);
    QFETCH(QVariant, edit);
    QFETCH(bool, editable);

    if (french)
        QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    auto rs = open(QStringLiteral("SELECT * FROM [Items] WHERE id = 1"));
    RecordsetModel model;
    model.SetRecordset(rs.get());
    const QModelIndex index = model.index(0, column);
    QCOMPARE(index.data(Qt::DisplayRole).toString(), display);
    QCOMPARE(index.data(Qt::EditRole), edit);
    QCOMPARE(bool(index.flags() & Qt::ItemIsEditable), editable);
}

// Booleans as check boxes, sizes for binaries, Null apart from empty text, long texts whole
// in the tooltip; the stored values are untouched.
void TestRecordsetModel::valuesAsTheEyeReadsThem()
{
    m_cnx->Execute(QStringLiteral("CREATE TABLE Looks (id INTEGER PRIMARY KEY, ok BOOLEAN, pic BLOB, note TEXT)"));
    m_cnx->Execute(QStringLiteral("INSERT INTO Looks VALUES (1, 1, zeroblob(3616), '')"));
    m_cnx->Execute(QStringLiteral("INSERT INTO Looks VALUES (2, 0, NULL, NULL)"));
    const QString longText = QString(60, u'x') + QStringLiteral("end");
    m_cnx->Execute(QStringLiteral("INSERT INTO Looks VALUES (3, NULL, x'00', '%1')").arg(longText));
    auto rs = open(QStringLiteral("SELECT * FROM Looks ORDER BY id"));
    RecordsetModel model;
    model.SetRecordset(rs.get());
    QAbstractItemModelTester tester(&model);

    QCOMPARE(model.index(0, 1).data(Qt::CheckStateRole), QVariant(Qt::Checked));
    QCOMPARE(model.index(1, 1).data(Qt::CheckStateRole), QVariant(Qt::Unchecked));
    QVERIFY(!model.index(2, 1).data(Qt::CheckStateRole).isValid());
    QVERIFY(model.index(0, 1).data(Qt::DisplayRole).toString().isEmpty());
    QVERIFY(model.index(0, 1).flags() & Qt::ItemIsUserCheckable);

    QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("(binaire, 3\u202f616 octets)"));
    QCOMPARE(model.index(2, 2).data().toString(), QStringLiteral("(binaire, 1 octet)"));
    QVERIFY(model.index(1, 2).data().toString().isEmpty());

    // Null is shaded, an empty text is not.
    QVERIFY(model.index(1, 3).data(Qt::BackgroundRole).isValid());
    QVERIFY(!model.index(0, 3).data(Qt::BackgroundRole).isValid());
    QCOMPARE(model.index(0, 3).data().toString(), QString());
    QCOMPARE(model.index(2, 3).data(Qt::ToolTipRole).toString(), longText);
    QVERIFY(!model.index(0, 3).data(Qt::ToolTipRole).isValid());

    // A click on the check box writes through.
    QVERIFY(model.setData(model.index(1, 1), Qt::Checked, Qt::CheckStateRole));
    QCOMPARE(readBack(QStringLiteral("SELECT ok FROM Looks WHERE id = 2")).toInt(), 1);
    QCOMPARE(model.index(1, 1).data(Qt::CheckStateRole), QVariant(Qt::Checked));
}

void TestRecordsetModel::editsReachTheDatabase_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("convertEmptyCell");
    QTest::addColumn<QVariant>("typed");
    QTest::addColumn<QString>("check");
    QTest::addColumn<QVariant>("stored");

    QTest::newRow("text") << 1 << 0 << QVariant(QStringLiteral("changed")) << QStringLiteral("name") << QVariant(QStringLiteral("changed"));
    QTest::newRow("empty text stays empty") << 1 << 0 << QVariant(QString()) << QStringLiteral("name") << QVariant(QStringLiteral(""));
    QTest::newRow("number as text") << 2 << 1 << QVariant(QStringLiteral("2.25")) << QStringLiteral("price") << QVariant(2.25);
    QTest::newRow("cleared number is Null") << 3 << 1 << QVariant(QString()) << QStringLiteral("qty IS NULL") << QVariant(1);
}

void TestRecordsetModel::editsReachTheDatabase()
{
    QFETCH(int, column);
    QFETCH(int, convertEmptyCell);
    QFETCH(QVariant, typed);
    QFETCH(QString, check);
    QFETCH(QVariant, stored);

    auto rs = open(QStringLiteral("SELECT * FROM [Items] ORDER BY id"));
    RecordsetModel model;
    model.SetRecordset(rs.get());
    model.SetConvertEmptyCell(column, convertEmptyCell);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy failed(&model, &RecordsetModel::writeFailed);
    QVERIFY(model.setData(model.index(4, column), typed));
    QCOMPARE(failed.count(), 0);
    QVERIFY(!changed.isEmpty());
    QCOMPARE(readBack(QStringLiteral("SELECT %1 FROM [Items] WHERE id = 5").arg(check)), stored);
}

void TestRecordsetModel::refusedWriteIsReportedAndCancelled()
{
    auto rs = open(QStringLiteral("SELECT * FROM [Items] ORDER BY id"));
    RecordsetModel model;
    model.SetRecordset(rs.get());
    QSignalSpy failed(&model, &RecordsetModel::writeFailed);
    // Without the conversion an empty cell is an empty text, which no integer column takes.
    QVERIFY(!model.setData(model.index(4, 3), QString()));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(rs->EditMode(), int(ado::Recordset::adEditNone));
    QCOMPARE(model.index(4, 3).data(Qt::EditRole).toLongLong(), 5);
    QCOMPARE(readBack(QStringLiteral("SELECT qty FROM [Items] WHERE id = 5")).toLongLong(), 5);
}

void TestRecordsetModel::newRowLineAddsARecord()
{
    auto rs = open(QStringLiteral("SELECT * FROM [Items] WHERE id > 298"));
    RecordsetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.SetRecordset(rs.get());
    QCOMPARE(model.rowCount(), 3);
    QVERIFY(model.IsNewRowLine(2));
    // Entering the new row and leaving it without typing adds nothing.
    QVERIFY(model.setData(model.index(2, 1), QString()));
    QCOMPARE(model.rowCount(), 3);
    QVERIFY(model.setData(model.index(2, 1), QStringLiteral("fresh")));
    QCOMPARE(model.rowCount(), 3);
    QVERIFY(model.CommitNewRow());
    QCOMPARE(model.rowCount(), 4);
    QCOMPARE(model.index(2, 1).data().toString(), QStringLiteral("fresh"));
    QVERIFY(model.IsNewRowLine(3));
    QCOMPARE(readBack(QStringLiteral("SELECT count(*) FROM [Items] WHERE name = 'fresh'")).toInt(), 1);
}

void TestRecordsetModel::removeRowsDeletes()
{
    auto rs = open(QStringLiteral("SELECT * FROM [Items] ORDER BY id"));
    RecordsetModel model;
    model.SetRecordset(rs.get());
    QVERIFY(model.removeRows(1, 2));
    QCOMPARE(model.rowCount(), 299);
    QCOMPARE(model.index(1, 0).data().toInt(), 4);
    QCOMPARE(readBack(QStringLiteral("SELECT count(*) FROM [Items] WHERE id IN (2, 3)")).toInt(), 0);
}

void TestRecordsetModel::readOnlyRecordset()
{
    auto rs = open(QStringLiteral("SELECT * FROM [Items]"), -1, ado::Recordset::adLockReadOnly);
    RecordsetModel model;
    model.SetRecordset(rs.get());
    QCOMPARE(model.rowCount(), 300);
    QVERIFY(!(model.index(0, 1).flags() & Qt::ItemIsEditable));
    QVERIFY(!model.setData(model.index(0, 1), QStringLiteral("x")));
}

void TestRecordsetModel::newRowIsOneInsert_data()
{
    addKinds();
}

void TestRecordsetModel::newRowIsOneInsert()
{
    QVERIFY(preparePairs());
    auto rs = open(QStringLiteral("SELECT * FROM [Pairs]"));
    RecordsetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.SetRecordset(rs.get());
    QSignalSpy failed(&model, &RecordsetModel::writeFailed);
    QCOMPARE(model.rowCount(), 1);

    // Each cell typed waits in the new-row line, shown as typed.
    QVERIFY(model.setData(model.index(0, 1), QStringLiteral("x")));
    QVERIFY(model.setData(model.index(0, 2), QStringLiteral("7")));
    QCOMPARE(failed.count(), 0);
    QVERIFY(model.HasPendingRow());
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("x"));
    QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("7"));
    QCOMPARE(readBack(QStringLiteral("SELECT count(*) FROM [Pairs]")).toInt(), 0);

    QVERIFY(model.CommitNewRow());
    QCOMPARE(failed.count(), 0);
    QVERIFY(!model.HasPendingRow());
    QCOMPARE(model.rowCount(), 2);
    QVERIFY(model.IsNewRowLine(1));
    QCOMPARE(model.index(1, 1).data(), QVariant());
    QCOMPARE(readBack(QStringLiteral("SELECT count(*) FROM [Pairs] WHERE a = 'x' AND b = 7")).toInt(), 1);
    // The record shows what the database made of it: its key and the column default.
    QCOMPARE(model.index(0, 0).data(Qt::EditRole).toLongLong(), readBack(QStringLiteral("SELECT id FROM [Pairs]")).toLongLong());
    QCOMPARE(model.index(0, 3).data().toString(), readBack(QStringLiteral("SELECT c FROM [Pairs]")).toString());

    // Nothing typed, nothing written.
    QVERIFY(model.CommitNewRow());
    QCOMPARE(readBack(QStringLiteral("SELECT count(*) FROM [Pairs]")).toInt(), 1);
}

void TestRecordsetModel::refusedNewRowStaysPending_data()
{
    addKinds();
}

void TestRecordsetModel::refusedNewRowStaysPending()
{
    QVERIFY(preparePairs());
    auto rs = open(QStringLiteral("SELECT * FROM [Pairs]"));
    RecordsetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.SetRecordset(rs.get());
    model.SetConvertEmptyCell(2, RecordsetModel::EmptyToNull);
    QSignalSpy failed(&model, &RecordsetModel::writeFailed);

    // A value the column cannot hold is refused at once and not kept.
    QVERIFY(!model.setData(model.index(0, 2), QStringLiteral("abc")));
    QCOMPARE(failed.count(), 1);
    QVERIFY(!model.HasPendingRow());

    // The database refuses a row without b: reported, nothing left behind, the typing kept.
    QVERIFY(model.setData(model.index(0, 1), QStringLiteral("x")));
    QVERIFY(!model.CommitNewRow());
    QCOMPARE(failed.count(), 2);
    QCOMPARE(rs->EditMode(), int(ado::Recordset::adEditNone));
    QCOMPARE(rs->RecordCount(), 0);
    QCOMPARE(model.rowCount(), 1);
    QVERIFY(model.HasPendingRow());
    QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("x"));
    QCOMPARE(readBack(QStringLiteral("SELECT count(*) FROM [Pairs]")).toInt(), 0);

    // Mended, the same row goes in.
    QVERIFY(model.setData(model.index(0, 2), QStringLiteral("3")));
    QVERIFY(model.CommitNewRow());
    QCOMPARE(readBack(QStringLiteral("SELECT count(*) FROM [Pairs] WHERE a = 'x' AND b = 3")).toInt(), 1);

    // Abandoned, it is forgotten; so is one whose line is deleted.
    QVERIFY(model.setData(model.index(1, 1), QStringLiteral("y")));
    model.AbandonNewRow();
    QVERIFY(!model.HasPendingRow());
    QCOMPARE(model.index(1, 1).data(), QVariant());
    QVERIFY(model.setData(model.index(1, 1), QStringLiteral("z")));
    QVERIFY(model.removeRows(1, 1));
    QVERIFY(!model.HasPendingRow());
    QVERIFY(model.CommitNewRow());
    QCOMPARE(readBack(QStringLiteral("SELECT count(*) FROM [Pairs]")).toInt(), 1);
    QCOMPARE(failed.count(), 2);
}

void TestRecordsetModel::newRowOnDbaseTable()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("dbase_31.dbf"));
    QVERIFY(QFile::copy(testsupport::FixturePath(QStringLiteral("dbf/infused/dbase_31.dbf")), target));
    QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner));
    m_cs = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Extended Properties = Dbase IV;").arg(dir.path());
    m_cnx = std::make_unique<ado::Connection>();
    m_cnx->Open(m_cs);
    const int before = readBack(QStringLiteral("SELECT count(*) FROM dbase_31")).toInt();
    const qlonglong lastId = readBack(QStringLiteral("SELECT max(PRODUCTID) FROM dbase_31")).toLongLong();

    auto rs = open(QStringLiteral("SELECT * FROM dbase_31"));
    RecordsetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.SetRecordset(rs.get());
    QSignalSpy failed(&model, &RecordsetModel::writeFailed);
    const int line = model.NewRowLine();
    QCOMPARE(line, before);
    const auto column = [&](const char* name) {
        for (int i = 0; i < model.columnCount(); ++i)
            if (model.DataField(i).compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    };
    // The autoincrement field fills itself; the typed fields go in with it in one record.
    QVERIFY(model.setData(model.index(line, column("PRODUCTNAM")), QStringLiteral("Tea")));
    QVERIFY(model.setData(model.index(line, column("UNITSINSTO")), QStringLiteral("7")));
    QVERIFY(model.setData(model.index(line, column("SUPPLIERID")), QStringLiteral("3")));
    QVERIFY(model.CommitNewRow());
    QCOMPARE(failed.count(), 0);
    QCOMPARE(model.RecordRows(), before + 1);
    QCOMPARE(model.index(line, column("PRODUCTNAM")).data().toString(), QStringLiteral("Tea"));

    ado::Connection other;
    other.Open(m_cs);
    ado::Recordset stored;
    stored.Open(QStringLiteral("SELECT PRODUCTID, PRODUCTNAM, UNITSINSTO, SUPPLIERID FROM dbase_31 WHERE PRODUCTID > %1").arg(lastId), &other);
    QCOMPARE(stored.RecordCount(), 1);
    QCOMPARE(stored.Fields(1).Value().toString(), QStringLiteral("Tea"));
    QCOMPARE(stored.Fields(2).Value().toLongLong(), 7);
    QCOMPARE(stored.Fields(3).Value().toLongLong(), 3);
    rs.reset();
}

void TestRecordsetModel::datesReadBackAsShown_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QLocale>("locale");
    const QList<QPair<const char*, QLocale>> locales = {{"fr_FR", QLocale(QLocale::French, QLocale::France)},
                                                        {"en_US", QLocale(QLocale::English, QLocale::UnitedStates)},
                                                        {"C", QLocale::c()}};
    for (const char* kind : {"sqlite", "postgres"})
        for (const auto& [name, locale] : locales)
            QTest::addRow("%s %s", kind, name) << QString::fromLatin1(kind) << locale;
}

void TestRecordsetModel::datesReadBackAsShown()
{
    QFETCH(QLocale, locale);
    const QString table = QStringLiteral("CREATE TABLE [Moments] (id INTEGER PRIMARY KEY, d DATE, ts TIMESTAMP, t TIME)");
    QVERIFY(prepareKind(table, table));
    m_cnx->Execute(QStringLiteral("INSERT INTO [Moments] VALUES (1, '2024-03-09', '2024-03-09 10:11:12', '10:11:12')"));
    m_cnx->Execute(QStringLiteral("INSERT INTO [Moments] VALUES (2, '1999-12-31', '1999-12-31 23:59:58', '23:59:58')"));
    m_cnx->Execute(QStringLiteral("INSERT INTO [Moments] VALUES (3, '2001-02-03', '2001-02-03 00:00:00', '00:00:00')"));
    QLocale::setDefault(locale);
    auto rs = open(QStringLiteral("SELECT * FROM [Moments] ORDER BY id"));
    RecordsetModel model;
    model.SetRecordset(rs.get());
    QSignalSpy failed(&model, &RecordsetModel::writeFailed);

    const QStringList columns = {QStringLiteral("d"), QStringLiteral("ts"), QStringLiteral("t")};
    for (int column = 1; column <= 3; ++column) {
        const QString name = columns[column - 1];
        // Left as shown, a cell is not written.
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QVERIFY(model.setData(model.index(0, column), model.index(0, column).data()));
        QCOMPARE(changed.count(), 0);
        for (int from : {2, 3}) {
            // Row 1 takes the text row 2 (or 3) shows, and must then hold the same value.
            const QString shown = model.index(from - 1, column).data().toString();
            QVERIFY2(model.setData(model.index(0, column), shown), qPrintable(name + u' ' + shown));
            QCOMPARE(failed.count(), 0);
            const QVariant expected = readBack(QStringLiteral("SELECT %1 FROM [Moments] WHERE id = %2").arg(name).arg(from));
            QCOMPARE(readBack(QStringLiteral("SELECT %1 FROM [Moments] WHERE id = 1").arg(name)), expected);
            QCOMPARE(model.index(0, column).data().toString(), shown);
        }
        // Typed into the new row, the shown text is stored as the same value too.
        QVERIFY(model.setData(model.index(model.NewRowLine(), 0), QString::number(10 + column)));
        QVERIFY(model.setData(model.index(model.NewRowLine(), column), model.index(1, column).data()));
        QVERIFY(model.CommitNewRow());
        QCOMPARE(readBack(QStringLiteral("SELECT %1 FROM [Moments] WHERE id = %2").arg(name).arg(10 + column)),
                 readBack(QStringLiteral("SELECT %1 FROM [Moments] WHERE id = 2").arg(name)));
    }
    QCOMPARE(failed.count(), 0);
}

DABRIX_TEST_MAIN(TestRecordsetModel)
#include "tst_recordsetmodel.moc"
