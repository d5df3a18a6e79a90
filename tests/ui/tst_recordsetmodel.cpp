#include "support/TestMain.h"

#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "ui/RecordsetModel.h"
#include "windows/adoLib.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QSignalSpy>

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
    void displayAndEditRoles_data();
    void displayAndEditRoles();
    void editsReachTheDatabase_data();
    void editsReachTheDatabase();
    void refusedWriteIsReportedAndCancelled();
    void newRowLineAddsARecord();
    void removeRowsDeletes();
    void readOnlyRecordset();
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
    QCOMPARE(model.rowCount(), 302);
    QVERIFY(model.removeRows(0, 2));
    QCOMPARE(model.rowCount(), 300);
    model.SetAllowAddNew(false);
    QCOMPARE(model.rowCount(), 299);
    rs.reset();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 0);
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
    QTest::newRow("binary") << false << 5 << QStringLiteral("(binaire)") << QVariant() << false;
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

DABRIX_TEST_MAIN(TestRecordsetModel)
#include "tst_recordsetmodel.moc"
