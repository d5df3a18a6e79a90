#include "import/ImportRows.h"

#include "ado/AdoError.h"
#include "ado/AdoType.h"
#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "ado/RowAppender.h"
#include "ado/RowTransaction.h"
#include "ado/SqlToken.h"
#include "import/ValueConverter.h"
#include "windows/adoLib.h"

#include <QElapsedTimer>
#include <QScopeGuard>

#include <cmath>

namespace {

constexpr int ProgressEveryMs = 50;

struct MappedColumn {
    int source;
    int target;
    int type;
};

// A whole column takes a fraction the way the database's own conversion does: rounded,
// halves to the even neighbour.
QVariant ForColumn(const QVariant& value, int type)
{
    if (!ado::AdoType::IsInteger(type) || value.metaType().id() != QMetaType::Double)
        return value;
    const double rounded = std::nearbyint(value.toDouble());
    if (!(std::abs(rounded) < 9.2e18))
        throw ado::AdoError(ado::err::Overflow, QStringLiteral("Overflow"));
    return qlonglong(rounded);
}

} // namespace

ImportRows::Source::Source() = default;
ImportRows::Source::Source(Source&&) noexcept = default;
ImportRows::Source& ImportRows::Source::operator=(Source&& other) noexcept
{
    // The rows go before the connection they came through.
    rows = std::move(other.rows);
    connection = std::move(other.connection);
    return *this;
}
ImportRows::Source::~Source()
{
    rows.reset();
}

ImportRows::Source ImportRows::GetSourceRecordset(const QString& connectionString, const QString& table, bool inBackground)
{
    Source source;
    source.connection = std::make_unique<ado::Connection>();
    source.connection->Open(connectionString);
    source.rows = adoLib::NewRecordset(ado::Recordset::adUseClient);
    // Bracketed: file names such as "sales-2024.csv" are no names to SQL otherwise.
    source.rows->Open(QStringLiteral("SELECT * FROM ") + ado::SqlToken::bracket(table), source.connection.get(),
                      ado::Recordset::adOpenStatic, ado::Recordset::adLockReadOnly,
                      inBackground ? long(ado::Recordset::adAsyncFetch) : -1L);
    return source;
}

std::unique_ptr<ado::Recordset> ImportRows::GetTargetRecordset(ado::Connection& cnx, const QString& table, bool isJet4,
                                                               bool isHfsql)
{
    std::unique_ptr<ado::Recordset> rs;
    int cursorType = ado::Recordset::adOpenStatic;
    if (isJet4) {
        rs = adoLib::NewRecordset(ado::Recordset::adUseServer);
        cursorType = ado::Recordset::adOpenKeyset;
    } else if (isHfsql) {
        rs = std::make_unique<ado::Recordset>();
        rs->SetCursorLocation(ado::Recordset::adUseClient);
    } else {
        rs = adoLib::NewRecordset(ado::Recordset::adUseClient);
    }
    rs->Open(QStringLiteral("SELECT * FROM ") + ado::SqlToken::bracket(table) + QStringLiteral(" WHERE 1=2"), &cnx,
             cursorType, ado::Recordset::adLockOptimistic, -1);
    return rs;
}

bool ImportRows::FieldExists(const QString& name, const ado::Recordset& rs)
{
    for (const ado::ColumnInfo& column : rs.Columns())
        if (column.name == name)
            return true;
    return false;
}

qint64 ImportRows::Run(const QString& sourceConnection, const QString& sourceTable, ado::Connection& target,
                       const QString& targetTable, bool isJet4, bool isHfsql, const Progress& progress)
{
    // Read whole before the first row is stored: a source in the target's own database
    // file must not hold a read lock while the rows are written.
    Source source = GetSourceRecordset(sourceConnection, sourceTable, bool(progress));
    ado::Recordset& rsSource = *source.rows;
    QString fetchFailure;
    const QMetaObject::Connection fetched = QObject::connect(
        &rsSource, &ado::Recordset::FetchComplete, &rsSource,
        [&fetchFailure](const QString& error, int, ado::Recordset*) { fetchFailure = error; });
    const auto disconnect = qScopeGuard([&fetched] { QObject::disconnect(fetched); });
    while (rsSource.IsFetching())
        progress(0, rsSource.RecordCount());
    if (!fetchFailure.isEmpty())
        throw ado::AdoError(ado::err::Unspecified, fetchFailure);
    rsSource.MoveFirst();
    std::unique_ptr<ado::Recordset> rsTarget = GetTargetRecordset(target, targetTable, isJet4, isHfsql);

    QVector<MappedColumn> map;
    const QVector<ado::ColumnInfo>& targetColumns = rsTarget->Columns();
    const QVector<ado::ColumnInfo>& sourceColumns = rsSource.Columns();
    for (int s = 0; s < sourceColumns.size(); ++s) {
        if (!FieldExists(sourceColumns[s].name, *rsTarget))
            continue;
        for (int t = 0; t < targetColumns.size(); ++t) {
            if (targetColumns[t].name == sourceColumns[s].name) {
                map.append({s, t, targetColumns[t].type});
                break;
            }
        }
    }
    QVector<int> targetIndexes;
    for (const MappedColumn& m : map)
        targetIndexes << m.target;

    ado::RowAppender appender(*rsTarget, targetIndexes);
    ado::RowTransaction transaction(appender.Session());
    const qint64 read = rsSource.RecordCount();
    qint64 stored = 0;
    QVector<QVariant> values(map.size());
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    try {
        while (!rsSource.Eof()) {
            for (int i = 0; i < map.size(); ++i)
                values[i] = ForColumn(ValueConverter::ConvertValue(rsSource.CurrentValue(map[i].source), map[i].type),
                                      map[i].type);
            transaction.BeginRow();
            appender.Append(values);
            transaction.EndRow();
            ++stored;
            rsSource.MoveNext();
            if (progress && (stored & 255) == 0 && sinceProgress.elapsed() >= ProgressEveryMs) {
                progress(stored, read);
                sinceProgress.restart();
            }
        }
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        // What was stored before the failing row stays stored; only a failure to keep it
        // replaces the row's own.
        transaction.UndoRow();
        transaction.Commit();
        std::rethrow_exception(failure);
    }
    transaction.Commit();
    rsTarget->Close();
    rsSource.Close();
    return stored;
}
