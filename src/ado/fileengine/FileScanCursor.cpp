#include "ado/fileengine/FileScanCursor.h"

#include "ado/AdoError.h"
#include "ado/RecordStore.h"
#include "ado/SqlTokenizer.h"
#include "ado/fileengine/FileTable.h"

#include <optional>
#include <sqlite3.h>

namespace ado {

namespace {

bool IsName(const SqlToken& t)
{
    static const char* const reserved[] = {"SELECT", "ALL", "DISTINCT", "FROM", "AS", "WHERE", "GROUP", "ORDER", "LIMIT",
                                           "HAVING", "UNION", "EXCEPT", "INTERSECT", "JOIN", "WINDOW", "NATURAL", "LEFT",
                                           "RIGHT", "FULL", "INNER", "CROSS", "OUTER", "ON", "USING", "INDEXED", "NOT"};
    if (t.kind == SqlToken::Bracketed || t.kind == SqlToken::QuotedName)
        return t.isClosedName();
    if (t.kind != SqlToken::Word)
        return false;
    for (const char* word : reserved)
        if (t.isWord(word))
            return false;
    return true;
}

struct PlainScan {
    QString table; // empty when the statement is no plain scan
    qint64 limit = -1;
};

// The table of "SELECT [ALL] item, ... FROM table [[AS] alias] [LIMIT n] [;]", where an
// item is "*", "name", "q.name" or "q.*", each with an optional alias, and n is written in
// digits; no table for anything else.
PlainScan PlainScanOf(const QString& sql)
{
    QList<SqlToken> tokens;
    for (const SqlToken& t : SqlTokenizer::Tokenize(sql))
        if (t.isSignificant())
            tokens.append(t);
    if (!tokens.isEmpty() && tokens.back().isPunct(u';'))
        tokens.removeLast();
    qsizetype i = 0;
    const auto at = [&](qsizetype k) -> const SqlToken* { return k < tokens.size() ? &tokens[k] : nullptr; };
    const auto name = [&](qsizetype k) { return at(k) && IsName(*at(k)); };
    const auto punct = [&](qsizetype k, QChar c) { return at(k) && at(k)->isPunct(c); };
    const auto word = [&](qsizetype k, const char* w) { return at(k) && at(k)->isWord(w); };
    // An optional alias, with or without AS.
    const auto alias = [&] {
        if (word(i, "AS")) {
            if (!name(i + 1))
                return false;
            i += 2;
        } else if (name(i)) {
            ++i;
        }
        return true;
    };
    if (!word(i++, "SELECT"))
        return {};
    if (word(i, "ALL"))
        ++i;
    for (;;) {
        if (punct(i, u'*')) {
            ++i;
        } else if (name(i)) {
            ++i;
            if (punct(i, u'.')) {
                if (!punct(i + 1, u'*') && !name(i + 1))
                    return {};
                i += 2;
            }
            if (!alias())
                return {};
        } else {
            return {};
        }
        if (!punct(i, u','))
            break;
        ++i;
    }
    if (!word(i++, "FROM") || !name(i))
        return {};
    PlainScan scan;
    const QString table = tokens[i++].name();
    if (!alias())
        return {};
    if (word(i, "LIMIT")) {
        const SqlToken* count = at(i + 1);
        bool digits = count && count->kind == SqlToken::Number && !count->text.isEmpty();
        for (QChar c : count ? count->text : QString())
            digits = digits && c.isDigit() && c.unicode() < 128;
        bool ok = false;
        scan.limit = digits ? count->text.toLongLong(&ok) : -1;
        if (!ok)
            return {};
        i += 2;
    }
    if (i != tokens.size())
        return {};
    scan.table = table;
    return scan;
}

bool IsRowIdName(const QString& name)
{
    return name.compare(u"rowid", Qt::CaseInsensitive) == 0 || name.compare(u"oid", Qt::CaseInsensitive) == 0
        || name.compare(u"_rowid_", Qt::CaseInsensitive) == 0;
}

// The table column each result column reads (-1: the row id), or nothing when one of them
// is not a column of that table as SQLite resolved it.
std::optional<std::vector<int>> ResultSources(sqlite3_stmt* stmt, const QString& table, const QVector<FileColumn>& columns)
{
    for (const FileColumn& c : columns)
        if (IsRowIdName(c.name))
            return std::nullopt; // the row id's names would be ambiguous
    std::vector<int> sources;
    const int count = sqlite3_column_count(stmt);
    for (int i = 0; i < count; ++i) {
        const char* database = sqlite3_column_database_name(stmt, i);
        const char* owner = sqlite3_column_table_name(stmt, i);
        const char* origin = sqlite3_column_origin_name(stmt, i);
        if (!database || !owner || !origin || !sqlite3_column_decltype(stmt, i) || qstrcmp(database, "main") != 0
            || QString::fromUtf8(owner).compare(table, Qt::CaseInsensitive) != 0)
            return std::nullopt;
        const QString name = QString::fromUtf8(origin);
        int source = -2;
        for (int c = 0; c < columns.size() && source == -2; ++c)
            if (columns[c].name.compare(name, Qt::CaseInsensitive) == 0)
                source = c;
        if (source == -2 && IsRowIdName(name))
            source = -1;
        if (source == -2)
            return std::nullopt;
        sources.push_back(source);
    }
    if (sources.empty())
        return std::nullopt;
    return sources;
}

} // namespace

std::unique_ptr<FileScanCursor> FileScanCursor::TryOpen(sqlite3* db, const VirtualTableModule::OpenTables& tables,
                                                        const QString& sql)
{
    const PlainScan scan = PlainScanOf(sql);
    const QString& tableName = scan.table;
    if (tableName.isEmpty())
        return nullptr;
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt, nullptr) != SQLITE_OK || !stmt) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    // Preparing connected the virtual table, so it is listed now if it is one of ours.
    FileTable* table = tables.value(tableName.toLower());
    std::optional<std::vector<int>> sources;
    if (table)
        sources = ResultSources(stmt, tableName, table->Columns());
    if (!sources) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    return std::unique_ptr<FileScanCursor>(new FileScanCursor(stmt, *table, std::move(*sources), scan.limit, sql));
}

FileScanCursor::FileScanCursor(sqlite3_stmt* stmt, FileTable& table, std::vector<int> sources, qint64 limit,
                               const QString& sql)
    : m_stmt(stmt),
      m_sql(sql),
      m_columns(SqliteValueStorer::Describe(stmt, false)),
      m_storer(m_columns),
      m_sources(std::move(sources)),
      m_sinks(m_sources.size()),
      m_left(limit)
{
    // The first row is read at once, as SQLite steps to it: a table that cannot be read
    // fails here.
    try {
        m_rows = table.Scan();
    } catch (const std::exception& e) {
        Fail(e);
    }
    m_pending = Step();
}

FileScanCursor::~FileScanCursor()
{
    Finish();
}

void FileScanCursor::Finish()
{
    m_rows.reset();
    if (m_stmt) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
}

void FileScanCursor::Fail(const std::exception& e)
{
    Finish();
    if (const auto* own = dynamic_cast<const AdoError*>(&e))
        throw AdoError(own->Number(), own->Description(), m_sql);
    if (dynamic_cast<const std::bad_alloc*>(&e))
        throw AdoError(err::Unspecified, QStringLiteral("out of memory"), m_sql);
    throw AdoError(err::Unspecified, QString::fromLocal8Bit(e.what()), m_sql);
}

bool FileScanCursor::Step()
{
    if (!m_rows)
        return false;
    if (m_pending) {
        m_pending = false;
        return true;
    }
    try {
        if (m_left == 0 || !m_rows->Next()) {
            Finish();
            return false;
        }
    } catch (const std::exception& e) {
        Fail(e);
    }
    if (m_left > 0)
        --m_left;
    ReadRow();
    return true;
}

void FileScanCursor::ReadRow()
{
    // Every value is read before any is stored, so that a failure leaves no half row.
    try {
        const FileTableCursor& rows = *m_rows;
        const int* source = m_sources.data();
        SqliteValueSink* sink = m_sinks.data();
        for (const int* end = source + m_sources.size(); source != end; ++source, ++sink) {
            if (*source < 0)
                sink->Integer(rows.RowId());
            else
                rows.Put(*source, *sink);
        }
    } catch (const std::exception& e) {
        Fail(e);
    }
}

bool FileScanCursor::Read(QVector<QVariant>& row, QVector<QVariant>* raw)
{
    if (!Step())
        return false;
    m_storer.ReadRow([this](int column) -> const SqliteValue& { return m_sinks[size_t(column)].Value(); }, row, raw);
    return true;
}

bool FileScanCursor::AppendTo(RecordStore& store)
{
    if (!Step())
        return false;
    m_storer.StoreRow(store, [this](int column) -> const SqliteValue& { return m_sinks[size_t(column)].Value(); });
    return true;
}

} // namespace ado
