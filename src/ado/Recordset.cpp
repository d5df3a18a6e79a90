#include "ado/Recordset.h"

#include "ado/AdoError.h"
#include "ado/AdoType.h"
#include "ado/Backend.h"
#include "ado/Connection.h"
#include "ado/RowComparator.h"
#include "ado/RowWriter.h"
#include "ado/BaseTableResolver.h"
#include "ado/SqlTokenizer.h"

#include <QElapsedTimer>
#include <algorithm>
#include <algorithm>
#include <climits>

namespace ado {

namespace {

const QString UpdateCriteria = QStringLiteral("Update Criteria");
const QString UpdateResync = QStringLiteral("Update Resync");
constexpr int InitialFetchSize = 50;
constexpr int FetchSliceMs = 12;

AdoError NoCurrentRecord()
{
    return AdoError(err::BofOrEof, QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. "
                                                  "Requested operation requires a current record."));
}

AdoError NotUpdatable()
{
    return AdoError(err::NotSupported, QStringLiteral("Current Recordset does not support updating. This may be a "
                                                      "limitation of the provider, or of the selected locktype."));
}

// A source that is nothing but the name of a table stands for that table's rows, as a
// provider takes a bare table name; any other source is a statement and goes as it is.
QString CommandText(Backend& session, const QString& source)
{
    const QList<SqlToken> tokens = SqlTokenizer::Tokenize(source);
    const SqlToken* name = nullptr;
    for (const SqlToken& token : tokens) {
        if (!token.isSignificant())
            continue;
        if (name)
            return source;
        name = &token;
    }
    if (!name || !(name->kind == SqlToken::Word || name->isClosedName()))
        return source;
    const QString wanted = name->name();
    for (const TableInfo& table : session.Tables())
        if (table.Name.compare(wanted, Qt::CaseInsensitive) == 0)
            return QStringLiteral("SELECT * FROM ") + SqlToken::bracket(table.Name);
    if (name->kind != SqlToken::Word)
        throw AdoError(err::TableNotFound, QStringLiteral("The table '%1' cannot be found.").arg(wanted), source);
    return source;
}

} // namespace

Recordset::Recordset(QObject* parent) : QObject(parent)
{
    // Single shot, started again after each slice: a repeating zero timer keeps its place
    // ahead of every other timer and lets them run only every other turn of the loop.
    m_fetchTimer.setInterval(0);
    m_fetchTimer.setSingleShot(true);
    connect(&m_fetchTimer, &QTimer::timeout, this, &Recordset::OnFetchTimer);
}

Recordset::~Recordset()
{
    m_fetchTimer.stop();
    m_cursor.reset();
    Detach();
}

void Recordset::SetCursorLocation(int location)
{
    if (m_open)
        throw AdoError(err::ObjectOpen, QStringLiteral("Operation is not allowed when the object is open."));
    m_cursorLocation = location;
    // The client cursor engine brings these two properties with it.
    if (location == adUseClient) {
        if (!m_properties.contains(UpdateCriteria))
            m_properties.insert(UpdateCriteria, int(RowWriter::CriteriaUpdCols));
        if (!m_properties.contains(UpdateResync))
            m_properties.insert(UpdateResync, 1);
    }
}

QVariant Recordset::Properties(const QString& name) const
{
    for (auto it = m_properties.cbegin(); it != m_properties.cend(); ++it)
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value();
    throw AdoError(err::ItemNotFound,
                   QStringLiteral("Item cannot be found in the collection corresponding to the requested name or ordinal. (%1)").arg(name));
}

void Recordset::SetProperty(const QString& name, const QVariant& value)
{
    for (auto it = m_properties.begin(); it != m_properties.end(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0) {
            it.value() = value;
            return;
        }
    }
    throw AdoError(err::ItemNotFound,
                   QStringLiteral("Item cannot be found in the collection corresponding to the requested name or ordinal. (%1)").arg(name));
}

void Recordset::Open(const QString& source, Connection* activeConnection, int cursorType, int lockType, long options)
{
    if (m_open)
        throw AdoError(err::ObjectOpen, QStringLiteral("Operation is not allowed when the object is open."));
    if (!activeConnection || activeConnection->State() != Connection::adStateOpen)
        throw AdoError(3709, QStringLiteral("The connection cannot be used to perform this operation. It is either closed or invalid in this context."));
    m_source = source;
    m_session = activeConnection->SharedSession();
    m_cursorType = cursorType;
    m_lockType = lockType;
    m_options = options;
    Load(options != -1 && (options & (adAsyncFetch | adAsyncFetchNonBlocking)) != 0);
}

std::shared_ptr<Backend> Recordset::Session() const
{
    std::shared_ptr<Backend> session = m_session.lock();
    if (!session)
        throw AdoError(err::ObjectClosed, QStringLiteral("Operation is not allowed when the object is closed. (The connection has been closed.)"));
    return session;
}

void Recordset::Load(bool asynchronous)
{
    std::shared_ptr<Backend> session = Session();
    emit modelAboutToBeReset();
    m_fetchTimer.stop();
    m_cursor.reset();
    m_fetchSession.reset();
    Detach();
    m_store = std::make_shared<RecordStore>();
    m_store->views.append(this);
    m_order.clear();
    m_pos = 0;
    m_sort.clear();
    m_editMode = adEditNone;
    m_open = false;
    m_async = asynchronous;
    try {
        const QString native = session->Translate(CommandText(*session, m_source));
        BaseTableResolver resolver(native, *session);
        try {
            m_cursor = session->Query(resolver.Sql());
        } catch (const AdoError&) {
            if (!resolver.HasHidden())
                throw;
            resolver.DropHidden();
            m_cursor = session->Query(native);
        }
        resolver.Apply(*m_store, m_cursor->Columns());
        const int criteria = m_properties.value(UpdateCriteria, int(RowWriter::CriteriaUpdCols)).toInt();
        m_store->keepRaw = m_store->location == RowLocation::AllColumns
            || (m_store->location != RowLocation::ReadOnly && criteria != RowWriter::CriteriaKey);
        m_store->Begin();
        m_open = true;
        m_fetchSession = session;
        m_silent = true;
        if (asynchronous) {
            if (FetchSome(InitialFetchSize, 0)) {
                m_fetchSlices = 0;
                m_sliceEnded.invalidate();
                m_fetchTimer.start();
            }
        } else {
            FetchSome(INT_MAX, 0);
            // Rows cut short by a read error must not pass for the whole result.
            if (m_fetchFailure)
                throw *m_fetchFailure;
        }
        m_silent = false;
    } catch (...) {
        m_silent = false;
        m_cursor.reset();
        m_fetchSession.reset();
        Detach();
        m_store.reset();
        m_open = false;
        emit modelReset();
        throw;
    }
    emit modelReset();
}

bool Recordset::FetchSome(int maxRows, int budgetMs)
{
    if (!m_cursor)
        return false;
    QElapsedTimer timer;
    timer.start();
    RecordStore& store = *m_store;
    const int first = store.rows.RowCount();
    int count = 0;
    QString error;
    bool more = true;
    m_fetchFailure.reset();
    try {
        while (count < maxRows) {
            if (!m_cursor->AppendTo(store)) {
                more = false;
                break;
            }
            ++count;
            if (budgetMs > 0 && (count & 63) == 0 && timer.elapsed() >= budgetMs)
                break;
        }
    } catch (const AdoError& e) {
        error = e.Description();
        m_fetchFailure = e;
        more = false;
    } catch (const std::exception& e) {
        error = QString::fromLocal8Bit(e.what());
        m_fetchFailure = AdoError(err::Unspecified, error);
        more = false;
    }
    if (first == 0 && count > 0 && store.location == RowLocation::RowId) {
        // A view has no row id of its own: SQLite reads it as Null.
        const QVariant id = store.rows.Value(0, store.rowIdColumn);
        if (!id.isValid() || id.isNull()) {
            store.location = RowLocation::ReadOnly;
            store.readOnlyReason = QStringLiteral("The source gives no row id to find its rows by.");
        }
    }
    if (count > 0) {
        const QList<Recordset*> views = store.views;
        for (Recordset* view : views)
            view->StoreRowsAppended(first, count, more && budgetMs > 0);
    }
    if (!more)
        EndFetch(error);
    return more;
}

void Recordset::OnFetchTimer()
{
    // The loop is busy elsewhere (a window shown for the first time, a paint): a short
    // slice keeps the wait of everything else short. The first slices come while the
    // window that asked for the rows is still being shown.
    int budget = FetchSliceMs;
    if (m_fetchSlices < 2)
        budget = (FetchSliceMs / 4) << m_fetchSlices;
    else if (m_sliceEnded.isValid() && m_sliceEnded.elapsed() > FetchSliceMs / 2)
        budget = FetchSliceMs / 4;
    ++m_fetchSlices;
    const bool more = FetchSome(INT_MAX, budget);
    m_sliceEnded.start();
    if (more && m_cursor)
        m_fetchTimer.start();
}

void Recordset::EndFetch(const QString& error)
{
    m_fetchTimer.stop();
    m_cursor.reset();
    m_fetchSession.reset();
    if (m_async)
        emit FetchComplete(error, error.isEmpty() ? adStatusOK : adStatusErrorsOccurred, this);
}

void Recordset::FinishFetch()
{
    while (m_cursor)
        FetchSome(INT_MAX, 0);
}

void Recordset::Requery()
{
    CheckOpen();
    CancelUpdate();
    Load(m_async);
}

void Recordset::Close()
{
    CheckOpen();
    if (m_editMode != adEditNone)
        CancelUpdate();
    emit modelAboutToBeReset();
    m_fetchTimer.stop();
    m_cursor.reset();
    m_fetchSession.reset();
    Detach();
    m_store.reset();
    m_order.clear();
    m_pos = -1;
    m_open = false;
    emit modelReset();
}

void Recordset::Detach()
{
    if (m_store)
        m_store->views.removeAll(this);
}

void Recordset::FailClosed()
{
    throw AdoError(err::ObjectClosed, QStringLiteral("Operation is not allowed when the object is closed."));
}

void Recordset::FailNoCurrent()
{
    throw NoCurrentRecord();
}

int Recordset::RecordCount() const
{
    CheckOpen();
    return int(m_order.size());
}

bool Recordset::Eof() const
{
    CheckOpen();
    return m_pos >= int(m_order.size());
}

bool Recordset::Bof() const
{
    CheckOpen();
    return m_pos < 0 || m_order.empty();
}

void Recordset::LeaveRow()
{
    if (m_editMode != adEditNone)
        Update();
}

void Recordset::MoveFirst()
{
    CheckOpen();
    LeaveRow();
    m_pos = 0;
}

void Recordset::MoveNext()
{
    CheckOpen();
    if (m_pos >= int(m_order.size()))
        throw NoCurrentRecord();
    LeaveRow();
    ++m_pos;
}

void Recordset::MovePrevious()
{
    CheckOpen();
    if (m_pos < 0)
        throw NoCurrentRecord();
    LeaveRow();
    --m_pos;
}

void Recordset::MoveLast()
{
    CheckOpen();
    LeaveRow();
    FinishFetch();
    m_pos = m_order.empty() ? 0 : int(m_order.size()) - 1;
}

int Recordset::AbsolutePosition() const
{
    if (!m_open || m_order.empty())
        return adPosUnknown;
    if (m_pos < 0)
        return adPosBOF;
    if (m_pos >= int(m_order.size()))
        return adPosEOF;
    return m_pos + 1;
}

void Recordset::SetAbsolutePosition(int position)
{
    CheckOpen();
    if (position < 1 || position > int(m_order.size()))
        throw AdoError(3001, QStringLiteral("Arguments are of the wrong type, are out of acceptable range, or are in conflict with one another."));
    LeaveRow();
    m_pos = position - 1;
}

void Recordset::SetSort(const QString& sort)
{
    CheckOpen();
    LeaveRow();
    FinishFetch();
    const QVector<RowComparator::Key> keys = RowComparator::Parse(sort, m_store->columns);
    emit modelAboutToBeReset();
    // Every sort starts from the order the rows came in, so equal keys keep that order.
    std::sort(m_order.begin(), m_order.end());
    RowComparator::Sort(m_order, m_store->rows, keys);
    m_sort = sort;
    m_pos = 0;
    emit modelReset();
}

const QVector<ColumnInfo>& Recordset::Columns() const
{
    CheckOpen();
    return m_store->columns;
}

int Recordset::ColumnIndex(const QString& name) const
{
    CheckOpen();
    for (int i = 0; i < m_store->columns.size(); ++i)
        if (m_store->columns[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    throw AdoError(err::ItemNotFound,
                   QStringLiteral("Item cannot be found in the collection corresponding to the requested name or ordinal. (%1)").arg(name));
}

void Recordset::FailNoField(int index)
{
    throw AdoError(err::ItemNotFound,
                   QStringLiteral("Item cannot be found in the collection corresponding to the requested name or ordinal. (%1)").arg(index));
}

Field Recordset::Fields(const QString& name)
{
    return Field(this, ColumnIndex(name));
}

QVariant Recordset::ValueAt(int position, int column) const
{
    if (!m_open || position < 0 || position >= int(m_order.size()))
        return {};
    if (column < 0 || column >= m_store->columns.size())
        return {};
    if (m_editMode != adEditNone && position == m_pos)
        return m_editValues.value(column);
    return m_store->rows.Value(RowAt(position), column);
}

void Recordset::ValuesAt(int firstPosition, int count, QVariant* out) const
{
    const int fields = FieldCount();
    std::vector<std::pair<int, int>> rows;
    rows.reserve(size_t(std::max(count, 0)));
    for (int r = 0; r < count; ++r) {
        const int position = firstPosition + r;
        if (m_open && position >= 0 && position < int(m_order.size()))
            rows.emplace_back(RowAt(position), r);
        else
            for (int c = 0; c < fields; ++c)
                out[size_t(c) * size_t(count) + size_t(r)] = QVariant();
    }
    // Scattered rows taken in storage order make each column a forward scan.
    if (!std::is_sorted(rows.begin(), rows.end()))
        std::sort(rows.begin(), rows.end());
    // Far apart in memory, each value waits for the memory: asking for those a few rows
    // ahead lets the waits overlap.
    constexpr size_t CellsAhead = 16, BytesAhead = 8;
    const size_t n = rows.size();
    for (int c = 0; c < fields; ++c) {
        const StoredColumn& column = m_store->rows.Column(c);
        for (size_t i = 0; i < n; ++i) {
            if (i + CellsAhead < n)
                column.PrefetchCell(rows[i + CellsAhead].first);
            if (i + BytesAhead < n)
                column.PrefetchBytes(rows[i + BytesAhead].first);
            out[size_t(c) * size_t(count) + size_t(rows[i].second)] = column.Value(rows[i].first);
        }
    }
    if (m_editMode != adEditNone && m_pos >= firstPosition && m_pos < firstPosition + count)
        for (int c = 0; c < fields; ++c)
            out[size_t(c) * size_t(count) + size_t(m_pos - firstPosition)] = m_editValues.value(c);
}

bool Recordset::IsNewAt(int position) const
{
    return m_editMode == adEditAdd && position == m_pos;
}

bool Recordset::IsUpdatable() const
{
    return m_open && m_lockType != adLockReadOnly && m_store->location != RowLocation::ReadOnly;
}

void Recordset::BeginEdit()
{
    if (m_editMode != adEditNone)
        return;
    m_editMode = adEditInProgress;
    m_editValues = m_store->rows.Row(RowAt(m_pos));
    m_editChanged = QVector<bool>(m_store->Width(), false);
    m_chunkStarted = QVector<bool>(m_store->Width(), false);
}

void Recordset::SetCurrentValue(int column, const QVariant& value, bool append)
{
    CheckCurrent();
    if (m_lockType == adLockReadOnly)
        throw NotUpdatable();
    RowWriter::CheckUpdatable(*m_store);
    const ColumnInfo& info = m_store->columns[column];
    if (info.baseColumn.isEmpty())
        throw AdoError(err::Unspecified, QStringLiteral("The field '%1' is computed and cannot be updated.").arg(info.name));
    QVariant v;
    if (append) {
        BeginEdit();
        const bool binary = AdoType::IsBinary(info.type) || value.metaType().id() == QMetaType::QByteArray;
        if (binary) {
            QByteArray bytes = m_chunkStarted[column] ? m_editValues[column].toByteArray() : QByteArray();
            bytes += value.toByteArray();
            v = bytes;
        } else {
            QString text = m_chunkStarted[column] ? m_editValues[column].toString() : QString();
            text += value.toString();
            v = text;
        }
        m_chunkStarted[column] = true;
    } else {
        v = AdoType::Coerce(value, info.type);
        BeginEdit();
    }
    m_editValues[column] = v;
    m_editChanged[column] = true;
    emit rowChanged(m_pos);
}

void Recordset::AddNew()
{
    CheckOpen();
    if (m_lockType == adLockReadOnly)
        throw NotUpdatable();
    RowWriter::CheckUpdatable(*m_store);
    LeaveRow();
    RecordStore& store = *m_store;
    const int row = store.rows.RowCount();
    store.Append({}, {});
    m_posBeforeAdd = m_pos;
    // Only this cursor sees the row until it is stored.
    StoreRowsAppended(row, 1);
    m_pos = int(m_order.size()) - 1;
    m_editMode = adEditAdd;
    m_editValues = QVector<QVariant>(store.Width());
    m_editChanged = QVector<bool>(store.Width(), false);
    m_chunkStarted = QVector<bool>(store.Width(), false);
}

void Recordset::Update()
{
    CheckOpen();
    if (m_editMode == adEditNone)
        return;
    if (m_lockType == adLockReadOnly)
        throw NotUpdatable();
    std::shared_ptr<Backend> session = Session();
    RowWriter writer(*session, *m_store);
    const int criteria = m_properties.value(UpdateCriteria, int(RowWriter::CriteriaUpdCols)).toInt();
    const int row = RowAt(m_pos);
    RecordStore& store = *m_store;
    if (m_editMode == adEditAdd) {
        store.rows.SetRow(row, writer.Insert(m_editValues, m_editChanged));
        m_editMode = adEditNone;
        const QList<Recordset*> views = store.views;
        for (Recordset* view : views)
            if (view != this)
                view->StoreRowsAppended(row, 1);
        emit rowChanged(m_pos);
        return;
    }
    const QVector<QVariant> raw = store.RawOf(row);
    const QVector<QVariant> stored = writer.Update(store.rows.Row(row), raw, m_editValues, m_editChanged, criteria);
    if (!raw.isEmpty()) {
        // The changed columns now hold what was sent.
        for (int c = 0; c < m_editChanged.size(); ++c)
            if (m_editChanged[c])
                store.raw.SetValue(row, c, m_editValues[c]);
    }
    store.rows.SetRow(row, stored);
    m_editMode = adEditNone;
    const QList<Recordset*> views = store.views;
    for (Recordset* view : views)
        view->StoreRowChanged(row);
}

void Recordset::CancelUpdate()
{
    CheckOpen();
    if (m_editMode == adEditAdd) {
        const int row = RowAt(m_pos);
        m_editMode = adEditNone;
        m_store->deleted[size_t(row)] = true;
        StoreRowRemoved(row);
        m_pos = m_posBeforeAdd >= 0 && m_posBeforeAdd < int(m_order.size()) ? m_posBeforeAdd : 0;
        return;
    }
    if (m_editMode == adEditInProgress) {
        m_editMode = adEditNone;
        emit rowChanged(m_pos);
    }
}

void Recordset::Delete()
{
    CheckCurrent();
    if (m_lockType == adLockReadOnly)
        throw NotUpdatable();
    if (m_editMode == adEditAdd) {
        CancelUpdate();
        return;
    }
    m_editMode = adEditNone;
    std::shared_ptr<Backend> session = Session();
    RowWriter writer(*session, *m_store);
    const int criteria = m_properties.value(UpdateCriteria, int(RowWriter::CriteriaUpdCols)).toInt();
    const int row = RowAt(m_pos);
    writer.Delete(m_store->rows.Row(row), m_store->RawOf(row), criteria);
    m_store->deleted[size_t(row)] = true;
    const QList<Recordset*> views = m_store->views;
    for (Recordset* view : views)
        view->StoreRowRemoved(row);
}

std::unique_ptr<Recordset> Recordset::Clone()
{
    CheckOpen();
    FinishFetch();
    auto clone = std::make_unique<Recordset>();
    clone->m_cursorLocation = m_cursorLocation;
    clone->m_properties = m_properties;
    clone->m_source = m_source;
    clone->m_session = m_session;
    clone->m_cursorType = m_cursorType;
    clone->m_lockType = m_lockType;
    clone->m_options = m_options;
    clone->m_store = m_store;
    for (int row : m_order)
        if (!(m_editMode == adEditAdd && row == RowAt(m_pos)))
            clone->m_order.push_back(row);
    clone->m_sort = m_sort;
    clone->m_pos = 0;
    clone->m_open = true;
    m_store->views.append(clone.get());
    return clone;
}

void Recordset::StoreRowsAppended(int firstRow, int count, bool moreFollow)
{
    const int first = int(m_order.size());
    m_moreRowsFollow = moreFollow;
    if (!m_silent)
        emit rowsAboutToBeInserted(first, first + count - 1);
    for (int i = 0; i < count; ++i)
        m_order.push_back(firstRow + i);
    if (!m_silent)
        emit rowsInserted(first, first + count - 1);
    m_moreRowsFollow = false;
}

void Recordset::StoreRowRemoved(int row)
{
    const auto it = std::find(m_order.begin(), m_order.end(), row);
    if (it == m_order.end())
        return;
    const int position = int(it - m_order.begin());
    emit rowsAboutToBeRemoved(position, position);
    m_order.erase(it);
    if (position < m_pos)
        --m_pos;
    emit rowsRemoved(position, position);
}

void Recordset::StoreRowChanged(int row)
{
    const auto it = std::find(m_order.begin(), m_order.end(), row);
    if (it != m_order.end())
        emit rowChanged(int(it - m_order.begin()));
}

} // namespace ado
