#include "support/TestMain.h"

#include "support/TestDatabase.h"
#include "ado/AdoError.h"
#include "ado/AdoType.h"
#include "ado/Connection.h"
#include "ado/Recordset.h"

#include <QAbstractItemModel>
#include <QDate>
#include <QSignalSpy>

using ado::AdoError;
using ado::Connection;
using ado::Recordset;

class TestRecordset : public QObject {
    Q_OBJECT

private:
    testsupport::TestDatabase m_db;
    std::unique_ptr<Connection> m_cnx;

    void addKinds()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("sqlite") << QStringLiteral("sqlite");
        QTest::newRow("postgres") << QStringLiteral("postgres");
    }

    // Opens a fresh database of the row's kind with the table "Items" of a few typed columns.
    bool prepare(int rows = 0)
    {
        QFETCH(QString, kind);
        const QString name = QStringLiteral("tst_rs_") + QString::fromLatin1(QTest::currentTestFunction()).toLower();
        if (!m_db.Create(kind, name)) {
            qWarning("%s", qPrintable(m_db.error));
            return false;
        }
        m_cnx = std::make_unique<Connection>();
        m_cnx->Open(m_db.connectionString);
        if (m_db.IsPostgres())
            m_cnx->Execute(QStringLiteral(
                "CREATE TABLE \"Items\" (id SERIAL PRIMARY KEY, name VARCHAR(40), price NUMERIC(10,2), qty INTEGER, "
                "born DATE, stamp TIMESTAMP, active BOOLEAN, notes TEXT, data BYTEA, code CHAR(3), big BIGINT)"));
        else
            m_cnx->Execute(QStringLiteral(
                "CREATE TABLE [Items] (id INTEGER PRIMARY KEY, name VARCHAR(40), price NUMERIC(10,2), qty INTEGER, "
                "born DATE, stamp DATETIME, active BOOLEAN, notes TEXT, data BLOB, code CHAR(3), big BIGINT)"));
        if (rows > 0) {
            m_cnx->BeginTrans();
            for (int i = 1; i <= rows; ++i)
                m_cnx->Execute(QStringLiteral("INSERT INTO [Items] (name, qty) VALUES ('item %1', %2)").arg(i).arg(i % 7));
            m_cnx->CommitTrans();
        }
        return true;
    }

    std::unique_ptr<Recordset> open(const QString& source, long options = -1, int lock = Recordset::adLockOptimistic)
    {
        auto rs = std::make_unique<Recordset>();
        rs->SetCursorLocation(Recordset::adUseClient);
        rs->SetProperty(QStringLiteral("Update Criteria"), 0);
        rs->SetProperty(QStringLiteral("Update Resync"), 0);
        rs->Open(source, m_cnx.get(), Recordset::adOpenStatic, lock, options);
        return rs;
    }

    // What a second, independent connection reads.
    QVariant readBack(const QString& sql)
    {
        Connection other;
        other.Open(m_db.connectionString);
        Recordset rs;
        rs.Open(sql, &other);
        return rs.Eof() ? QVariant(QStringLiteral("<no row>")) : rs.Fields(0).Value();
    }

    QStringList column(Recordset& rs, const QString& field)
    {
        QStringList values;
        rs.MoveFirst();
        while (!rs.Eof()) {
            const QVariant v = rs.Fields(field).Value();
            values << (v.isValid() ? v.toString() : QStringLiteral("null"));
            rs.MoveNext();
        }
        return values;
    }

private slots:
    void cleanup()
    {
        m_cnx.reset();
    }

    void typeCodes_data() { addKinds(); }
    void typeCodes()
    {
        QVERIFY(prepare());
        auto rs = open(QStringLiteral("SELECT * FROM [Items]"));
        const QList<int> expected = {ado::AdoType::Integer, ado::AdoType::VarWChar, ado::AdoType::Numeric,
                                     ado::AdoType::Integer, ado::AdoType::DBDate, ado::AdoType::DBTimeStamp,
                                     ado::AdoType::Boolean, ado::AdoType::LongVarWChar, ado::AdoType::LongVarBinary,
                                     ado::AdoType::WChar, ado::AdoType::BigInt};
        QCOMPARE(rs->FieldCount(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(rs->Fields(i).Type(), expected[i]);
        QVERIFY(rs->Eof());
        QVERIFY(rs->Bof());
        QCOMPARE(rs->RecordCount(), 0);
    }

    void asyncOpenDeliversEveryRowAndOneCompletion_data() { addKinds(); }
    void asyncOpenDeliversEveryRowAndOneCompletion()
    {
        QVERIFY(prepare(3000));
        auto rs = std::make_unique<Recordset>();
        rs->SetCursorLocation(Recordset::adUseClient);
        QSignalSpy complete(rs.get(), &Recordset::FetchComplete);
        QSignalSpy inserted(rs.get(), &Recordset::rowsInserted);
        rs->Open(QStringLiteral("SELECT * FROM [Items] ORDER BY id"), m_cnx.get(), Recordset::adOpenStatic,
                 Recordset::adLockOptimistic, Recordset::adAsyncFetch);
        // Open returns with the first rows only; the rest come through the event loop.
        QVERIFY(rs->IsFetching());
        QVERIFY(rs->RecordCount() < 3000);
        QCOMPARE(complete.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(complete.count(), 1, 20000);
        QCOMPARE(rs->RecordCount(), 3000);
        QCOMPARE(complete.at(0).at(1).toInt(), int(Recordset::adStatusOK));
        int delivered = 0;
        int expectedFirst = -1;
        for (const QList<QVariant>& args : inserted) {
            if (expectedFirst >= 0)
                QCOMPARE(args.at(0).toInt(), expectedFirst);
            delivered += args.at(1).toInt() - args.at(0).toInt() + 1;
            expectedFirst = args.at(1).toInt() + 1;
        }
        QCOMPARE(delivered + 50, 3000); // the first 50 came with Open itself
        QTest::qWait(50);
        QCOMPARE(complete.count(), 1);
        const QStringList ids = column(*rs, QStringLiteral("id"));
        QCOMPARE(ids.first(), QStringLiteral("1"));
        QCOMPARE(ids.last(), QStringLiteral("3000"));
    }

    void syncOpenFiresNoCompletion_data() { addKinds(); }
    void syncOpenFiresNoCompletion()
    {
        QVERIFY(prepare(10));
        auto rs = std::make_unique<Recordset>();
        QSignalSpy complete(rs.get(), &Recordset::FetchComplete);
        rs->Open(QStringLiteral("SELECT TOP 4 *\r\nFROM [Items]"), m_cnx.get(), 3, 3, -1);
        QCOMPARE(rs->RecordCount(), 4);
        QTest::qWait(20);
        QCOMPARE(complete.count(), 0);
    }

    void sortIsTypedAndStable_data() { addKinds(); }
    void sortIsTypedAndStable()
    {
        QVERIFY(prepare());
        // Inserted in an order where text comparison would give other answers.
        const char* rows[] = {
            "('b', 10, '2024-02-01', 2.5)", "('a', 2, '2023-12-31', 10)", "('c', NULL, NULL, NULL)",
            "('B', 10, '2024-01-15', 2.25)", "('d', 2, '2024-02-01', -1)", "('e', NULL, '2022-06-30', 0)",
        };
        for (const char* r : rows)
            m_cnx->Execute(QStringLiteral("INSERT INTO [Items] (name, qty, born, price) VALUES ") + QString::fromLatin1(r));
        auto rs = open(QStringLiteral("SELECT * FROM [Items]"));

        rs->SetSort(QStringLiteral("qty ASC"));
        QCOMPARE(column(*rs, QStringLiteral("name")), QStringList({"c", "e", "a", "d", "b", "B"}));
        rs->SetSort(QStringLiteral("qty DESC"));
        QCOMPARE(column(*rs, QStringLiteral("name")), QStringList({"b", "B", "a", "d", "c", "e"}));
        rs->SetSort(QStringLiteral("born ASC"));
        QCOMPARE(column(*rs, QStringLiteral("name")), QStringList({"c", "e", "a", "B", "b", "d"}));
        rs->SetSort(QStringLiteral("price ASC"));
        QCOMPARE(column(*rs, QStringLiteral("name")), QStringList({"c", "d", "e", "B", "b", "a"}));
        // Text ignores case and keeps the arrival order of equal names.
        rs->SetSort(QStringLiteral("name DESC"));
        QCOMPARE(column(*rs, QStringLiteral("name")), QStringList({"e", "d", "c", "b", "B", "a"}));
        rs->SetSort(QString());
        QCOMPARE(column(*rs, QStringLiteral("name")), QStringList({"b", "a", "c", "B", "d", "e"}));

        rs->MoveFirst();
        QCOMPARE(rs->Fields(QStringLiteral("born")).Value().metaType().id(), int(QMetaType::QDate));
        QVERIFY_THROWS_EXCEPTION(AdoError, rs->SetSort(QStringLiteral("nosuchfield ASC")));
    }

    void positionAndClone_data() { addKinds(); }
    void positionAndClone()
    {
        QVERIFY(prepare(5));
        auto rs = open(QStringLiteral("SELECT * FROM [Items] ORDER BY id"));
        QCOMPARE(rs->AbsolutePosition(), 1);
        rs->SetAbsolutePosition(4);
        QCOMPARE(rs->Fields(QStringLiteral("name")).Value().toString(), QStringLiteral("item 4"));
        auto clone = rs->Clone();
        QCOMPARE(clone->RecordCount(), 5);
        QCOMPARE(clone->AbsolutePosition(), 1);
        while (!clone->Eof())
            clone->MoveNext();
        QCOMPARE(rs->AbsolutePosition(), 4);
        QCOMPARE(rs->Fields(QStringLiteral("name")).Value().toString(), QStringLiteral("item 4"));
        rs->MoveLast();
        rs->MoveNext();
        QVERIFY(rs->Eof());
        QCOMPARE(rs->AbsolutePosition(), int(Recordset::adPosEOF));
        QVERIFY_THROWS_EXCEPTION(AdoError, rs->Fields(0).Value());
        QVERIFY_THROWS_EXCEPTION(AdoError, rs->SetAbsolutePosition(6));
    }

    void editsReachTheDatabase_data() { addKinds(); }
    void editsReachTheDatabase()
    {
        QVERIFY(prepare(3));
        auto rs = open(QStringLiteral("SELECT * FROM [Items] ORDER BY id"));
        auto watcher = rs->Clone();
        QSignalSpy cloneInserted(watcher.get(), &Recordset::rowsInserted);

        // Change one field of row 2: only that row changes.
        rs->SetAbsolutePosition(2);
        rs->Fields(QStringLiteral("qty")).SetValue(QStringLiteral("42"));
        rs->Fields(QStringLiteral("born")).SetValue(QDate(2020, 5, 17));
        QCOMPARE(rs->EditMode(), int(Recordset::adEditInProgress));
        rs->Update();
        QCOMPARE(readBack(QStringLiteral("SELECT qty FROM [Items] WHERE id = 2")).toInt(), 42);
        QCOMPARE(readBack(QStringLiteral("SELECT born FROM [Items] WHERE id = 2")).toDate(), QDate(2020, 5, 17));
        QCOMPARE(readBack(QStringLiteral("SELECT COUNT(*) FROM [Items] WHERE qty = 42")).toInt(), 1);

        // A new row gets its key back from the database.
        rs->AddNew();
        rs->Fields(QStringLiteral("name")).SetValue(QStringLiteral("added"));
        rs->Fields(QStringLiteral("data")).AppendChunk(QByteArray("\x00\x01", 2));
        rs->Fields(QStringLiteral("data")).AppendChunk(QByteArray("\x02"));
        rs->Update();
        QCOMPARE(rs->Fields(QStringLiteral("id")).Value().toInt(), 4);
        QCOMPARE(readBack(QStringLiteral("SELECT data FROM [Items] WHERE name = 'added'")).toByteArray(), QByteArray("\x00\x01\x02", 3));
        QCOMPARE(rs->RecordCount(), 4);
        QCOMPARE(watcher->RecordCount(), 4);
        QCOMPARE(cloneInserted.count(), 1);

        // Deleting the first row deletes that row only.
        rs->MoveFirst();
        rs->Delete();
        QCOMPARE(rs->RecordCount(), 3);
        QCOMPARE(watcher->RecordCount(), 3);
        QCOMPARE(readBack(QStringLiteral("SELECT COUNT(*) FROM [Items]")).toInt(), 3);
        QCOMPARE(readBack(QStringLiteral("SELECT COUNT(*) FROM [Items] WHERE id = 1")).toInt(), 0);

        // A cancelled new row leaves nothing behind.
        rs->AddNew();
        rs->Fields(QStringLiteral("name")).SetValue(QStringLiteral("never"));
        rs->CancelUpdate();
        QCOMPARE(rs->RecordCount(), 3);
        QCOMPARE(readBack(QStringLiteral("SELECT COUNT(*) FROM [Items]")).toInt(), 3);
    }

    void clearedNumberIsStoredAsNull_data() { addKinds(); }
    void clearedNumberIsStoredAsNull()
    {
        QVERIFY(prepare(1));
        auto rs = open(QStringLiteral("SELECT * FROM [Items]"));
        rs->Fields(QStringLiteral("qty")).SetValue(QVariant());
        rs->Update();
        QVERIFY(!readBack(QStringLiteral("SELECT qty FROM [Items] WHERE id = 1")).isValid());
        QVERIFY_THROWS_EXCEPTION(AdoError, rs->Fields(QStringLiteral("qty")).SetValue(QStringLiteral("abc")));
    }

    // Only single-precision columns are read as floats: SQLite's REAL and PostgreSQL's
    // double precision keep all 17 digits, read and written.
    void doublesKeepEveryDigit_data() { addKinds(); }
    void doublesKeepEveryDigit()
    {
        QVERIFY(prepare());
        QFETCH(QString, kind);
        const bool pg = kind == u"postgres";
        m_cnx->Execute(pg ? QStringLiteral("CREATE TABLE reals (id INTEGER PRIMARY KEY, r DOUBLE PRECISION, s REAL)")
                          : QStringLiteral("CREATE TABLE reals (id INTEGER PRIMARY KEY, r REAL, s FLOAT4)"));
        const QList<double> values{1e300, 1e-50, 1234567.891234, 0.1 + 0.2};
        for (int i = 0; i < values.size(); ++i)
            m_cnx->Execute(QStringLiteral("INSERT INTO reals VALUES (%1, %2, 0.15)").arg(i).arg(values[i], 0, 'g', 17));
        auto rs = open(QStringLiteral("SELECT * FROM reals ORDER BY id"));
        QCOMPARE(rs->Fields(QStringLiteral("r")).Type(), int(ado::AdoType::Double));
        QCOMPARE(rs->Fields(QStringLiteral("s")).Type(), int(ado::AdoType::Single));
        for (int i = 0; i < values.size(); ++i) {
            QCOMPARE(rs->ValueAt(i, 1).toDouble(), values[i]);
            QCOMPARE(rs->ValueAt(i, 2).toDouble(), 0.15); // a float shown as the decimal it holds
        }
        rs->MoveFirst();
        rs->Fields(QStringLiteral("r")).SetValue(123456.789012);
        rs->Update();
        QCOMPARE(readBack(QStringLiteral("SELECT r FROM reals WHERE id = 0")).toDouble(), 123456.789012);
    }

    void rowRemovedBehindOurBack_data() { addKinds(); }
    void rowRemovedBehindOurBack()
    {
        QVERIFY(prepare(3));
        auto rs = open(QStringLiteral("SELECT * FROM [Items] ORDER BY id"));
        Connection other;
        other.Open(m_db.connectionString);
        QCOMPARE(other.Execute(QStringLiteral("DELETE FROM [Items] WHERE id = 2")), qint64(1));
        rs->SetAbsolutePosition(2);
        rs->Fields(QStringLiteral("name")).SetValue(QStringLiteral("changed"));
        try {
            rs->Update();
            QFAIL("the update of a vanished row succeeded");
        } catch (const AdoError& e) {
            QCOMPARE(e.Number(), ado::err::RowNotFound);
            QCOMPARE(e.Description(), QStringLiteral("Row cannot be located for updating. Some values may have been changed since it was last read."));
        }
        QCOMPARE(readBack(QStringLiteral("SELECT COUNT(*) FROM [Items] WHERE name = 'changed'")).toInt(), 0);
        QCOMPARE(readBack(QStringLiteral("SELECT COUNT(*) FROM [Items]")).toInt(), 2);
        rs->CancelUpdate();
        QVERIFY_THROWS_EXCEPTION(AdoError, rs->Delete());
    }

    void tableWithoutKeyChangesOneOfTwinRows_data() { addKinds(); }
    void tableWithoutKeyChangesOneOfTwinRows()
    {
        QVERIFY(prepare());
        m_cnx->Execute(QStringLiteral("CREATE TABLE [Twins] (name VARCHAR(10), n INTEGER)"));
        m_cnx->Execute(QStringLiteral("INSERT INTO [Twins] VALUES ('x', 1)"));
        m_cnx->Execute(QStringLiteral("INSERT INTO [Twins] VALUES ('x', 1)"));
        m_cnx->Execute(QStringLiteral("INSERT INTO [Twins] VALUES ('y', NULL)"));
        auto rs = open(QStringLiteral("SELECT * FROM [Twins]"));
        rs->Fields(QStringLiteral("n")).SetValue(5);
        rs->Update();
        QCOMPARE(readBack(QStringLiteral("SELECT COUNT(*) FROM [Twins] WHERE n = 5")).toInt(), 1);
        QCOMPARE(readBack(QStringLiteral("SELECT COUNT(*) FROM [Twins] WHERE n = 1")).toInt(), 1);
        rs->MoveLast(); // the row with a Null is found too
        rs->Delete();
        QCOMPARE(readBack(QStringLiteral("SELECT COUNT(*) FROM [Twins]")).toInt(), 2);
    }

    void sourcesWithoutOneTableAreReadOnly_data() { addKinds(); }
    void sourcesWithoutOneTableAreReadOnly()
    {
        QVERIFY(prepare(3));
        const QStringList sources = {
            QStringLiteral("SELECT a.name, b.qty FROM [Items] a JOIN [Items] b ON a.id = b.id"),
            QStringLiteral("SELECT qty, COUNT(*) AS n FROM [Items] GROUP BY qty"),
        };
        for (const QString& source : sources) {
            auto rs = open(source);
            QVERIFY(!rs->IsUpdatable());
            try {
                rs->Fields(0).SetValue(1);
                QFAIL("a join or aggregate accepted an edit");
            } catch (const AdoError& e) {
                QVERIFY2(e.Description().contains(QStringLiteral("Insufficient base table information")), qPrintable(e.Description()));
            }
            QVERIFY_THROWS_EXCEPTION(AdoError, rs->AddNew());
        }
        auto locked = open(QStringLiteral("SELECT * FROM [Items]"), -1, Recordset::adLockReadOnly);
        QVERIFY_THROWS_EXCEPTION(AdoError, locked->Fields(1).SetValue(QStringLiteral("z")));
        // An expression column of an otherwise updatable source is read-only alone.
        auto mixed = open(QStringLiteral("SELECT id, name, qty * 2 AS twice FROM [Items] ORDER BY id"));
        QVERIFY(mixed->IsUpdatable());
        QVERIFY_THROWS_EXCEPTION(AdoError, mixed->Fields(QStringLiteral("twice")).SetValue(4));
        mixed->CancelUpdate();
        mixed->Fields(QStringLiteral("name")).SetValue(QStringLiteral("renamed"));
        mixed->Update();
        QCOMPARE(readBack(QStringLiteral("SELECT name FROM [Items] WHERE id = 1")).toString(), QStringLiteral("renamed"));
    }

    void jetTextWithSpacesInNames_data() { addKinds(); }
    void jetTextWithSpacesInNames()
    {
        QVERIFY(prepare());
        m_cnx->Execute(QStringLiteral("CREATE TABLE [Order Details] ([Order ID] INTEGER PRIMARY KEY, [Unit Price] REAL)"));
        for (int i = 1; i <= 8; ++i)
            m_cnx->Execute(QStringLiteral("INSERT INTO [Order Details] VALUES (%1, %2.5)").arg(i).arg(i));
        auto rs = open(QStringLiteral("SELECT TOP 5 *\r\nFROM [Order Details]"));
        QCOMPARE(rs->RecordCount(), 5);
        rs->SetSort(QStringLiteral("Unit Price DESC"));
        QCOMPARE(rs->Fields(QStringLiteral("Unit Price")).Value().toDouble(), 5.5);
        rs->Fields(QStringLiteral("Unit Price")).SetValue(9.25);
        rs->Update();
        QCOMPARE(readBack(QStringLiteral("SELECT [Unit Price] FROM [Order Details] WHERE [Order ID] = 5")).toDouble(), 9.25);
    }

    void aFailureAfterTheFirstRowsIsReported_data() { addKinds(); }
    void aFailureAfterTheFirstRowsIsReported()
    {
        QVERIFY(prepare(100));
        // Row 60 raises an integer overflow while the statement runs, after rows were delivered.
        const QString source = QStringLiteral("SELECT id, CASE WHEN id = 60 THEN abs(-9223372036854775807 - 1) ELSE id END AS v "
                                              "FROM [Items] ORDER BY id");
        auto sync = std::make_unique<Recordset>();
        QVERIFY_THROWS_EXCEPTION(AdoError, sync->Open(source, m_cnx.get()));
        QVERIFY(!sync->IsOpen());
        if (m_db.IsPostgres())
            return; // the server fails the whole statement before any row arrives
        auto async = std::make_unique<Recordset>();
        QSignalSpy complete(async.get(), &Recordset::FetchComplete);
        async->Open(source, m_cnx.get(), 3, 3, Recordset::adAsyncFetch);
        QTRY_COMPARE(complete.count(), 1);
        QCOMPARE(complete.at(0).at(1).toInt(), int(Recordset::adStatusErrorsOccurred));
        QVERIFY(!complete.at(0).at(0).toString().isEmpty());
    }

    void closedConnectionFailsCleanly_data() { addKinds(); }
    void closedConnectionFailsCleanly()
    {
        QVERIFY(prepare(2));
        auto rs = open(QStringLiteral("SELECT * FROM [Items]"));
        m_cnx.reset();
        rs->Fields(QStringLiteral("name")).SetValue(QStringLiteral("late"));
        try {
            rs->Update();
            QFAIL("an update through a closed connection succeeded");
        } catch (const AdoError& e) {
            QCOMPARE(e.Number(), ado::err::ObjectClosed);
        }
        QVERIFY_THROWS_EXCEPTION(AdoError, rs->Requery());
    }
};

DABRIX_TEST_MAIN(TestRecordset)
#include "tst_recordset.moc"
