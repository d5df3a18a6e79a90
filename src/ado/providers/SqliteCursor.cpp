#include "ado/providers/SqliteCursor.h"

#include "ado/AdoError.h"
#include "ado/QtSqlBackend.h"
#include "ado/RecordStore.h"
#include "ado/SqlTokenizer.h"

#include <sqlite3.h>

namespace ado {

SqliteCursor::SqliteCursor(sqlite3* db, const QString& sql) : m_db(db), m_sql(sql)
{
    // sqlite3_prepare_v2 would silently leave out whatever follows the first statement.
    QtSqlBackend::CheckSingleStatement(sql);
    const QByteArray text = sql.toUtf8();
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &m_stmt, &tail) != SQLITE_OK || !m_stmt)
        Fail();
    // SQLite's own reading of where the statement ends has the last word.
    if (tail) {
        for (const SqlToken& t : SqlTokenizer::Tokenize(QString::fromUtf8(tail, int(text.constData() + text.size() - tail)))) {
            if (t.isSignificant() && !t.isPunct(u';')) {
                Finish();
                throw AdoError(err::SyntaxError, QStringLiteral("Only one statement can be run at a time."), sql);
            }
        }
    }
    const int count = sqlite3_column_count(m_stmt);
    if (count == 0) {
        Finish();
        throw AdoError(err::Unspecified, QStringLiteral("The statement returns no rows."), sql);
    }
    m_pending = sqlite3_step(m_stmt);
    if (m_pending != SQLITE_ROW && m_pending != SQLITE_DONE)
        Fail();
    m_columns = SqliteValueStorer::Describe(m_stmt, m_pending == SQLITE_ROW);
    m_storer.emplace(m_columns);
}

SqliteCursor::~SqliteCursor()
{
    Finish();
}

void SqliteCursor::Finish()
{
    if (m_stmt) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
}

void SqliteCursor::Fail() const
{
    const QString message = QString::fromUtf8(sqlite3_errmsg(m_db));
    const_cast<SqliteCursor*>(this)->Finish();
    throw AdoError(QtSqlBackend::NumberForMessage(message), message, m_sql);
}

bool SqliteCursor::Step()
{
    if (!m_stmt)
        return false;
    const int rc = m_pending != 0 ? m_pending : sqlite3_step(m_stmt);
    m_pending = 0;
    if (rc == SQLITE_DONE) {
        Finish();
        return false;
    }
    if (rc != SQLITE_ROW)
        Fail();
    return true;
}

SqliteValue SqliteCursor::ValueOf(int column) const
{
    // One call that locks the connection, instead of one for the type and one for each part.
    return SqliteValue::Of(sqlite3_column_value(m_stmt, column));
}

bool SqliteCursor::Read(QVector<QVariant>& row, QVector<QVariant>* raw)
{
    if (!Step())
        return false;
    m_storer->ReadRow([this](int column) { return ValueOf(column); }, row, raw);
    return true;
}

bool SqliteCursor::AppendTo(RecordStore& store)
{
    if (!Step())
        return false;
    m_storer->StoreRow(store, [this](int column) { return ValueOf(column); });
    return true;
}

} // namespace ado
