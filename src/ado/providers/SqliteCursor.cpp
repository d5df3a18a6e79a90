#include "ado/providers/SqliteCursor.h"

#include "ado/AdoError.h"
#include "ado/AdoType.h"
#include "ado/QtSqlBackend.h"
#include "ado/RecordStore.h"
#include "ado/SqlTokenizer.h"

#include <QDate>
#include <charconv>
#include <sqlite3.h>

namespace ado {

namespace {

// What a value column without a declared type holds, judged from its first row.
int TypeOfValue(int storage)
{
    switch (storage) {
    case SQLITE_INTEGER: return AdoType::BigInt;
    case SQLITE_FLOAT: return AdoType::Double;
    case SQLITE_BLOB: return AdoType::LongVarBinary;
    default: return AdoType::VarWChar;
    }
}

// The storage class whose values normalizing to the column's type leaves as they are.
char PlainStorage(int type)
{
    switch (type) {
    case AdoType::SmallInt: case AdoType::Integer: case AdoType::TinyInt: case AdoType::UnsignedTinyInt: case AdoType::BigInt:
        return SQLITE_INTEGER;
    case AdoType::Double: case AdoType::Currency: case AdoType::Numeric:
        return SQLITE_FLOAT;
    case AdoType::Char: case AdoType::WChar: case AdoType::VarChar: case AdoType::LongVarChar: case AdoType::VarWChar:
    case AdoType::LongVarWChar:
        return SQLITE_TEXT;
    case AdoType::Binary: case AdoType::VarBinary: case AdoType::LongVarBinary:
        return SQLITE_BLOB;
    default:
        return 0;
    }
}

// A "yyyy-MM-dd" text as SQLite stores a DATE, or an invalid date for anything else.
QDate IsoDate(const unsigned char* text, int size)
{
    if (size != 10 || text[4] != '-' || text[7] != '-')
        return {};
    int parts[3] = {0, 0, 0};
    const int starts[3] = {0, 5, 8};
    const int lengths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p) {
        for (int i = starts[p]; i < starts[p] + lengths[p]; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return {};
            parts[p] = parts[p] * 10 + (text[i] - '0');
        }
    }
    return QDate(parts[0], parts[1], parts[2]);
}

} // namespace

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
    m_columns.resize(count);
    for (int i = 0; i < count; ++i) {
        ColumnInfo& c = m_columns[i];
        c.name = QString::fromUtf8(sqlite3_column_name(m_stmt, i));
        if (const char* declared = sqlite3_column_decltype(m_stmt, i)) {
            const QString decl = QString::fromUtf8(declared);
            c.type = AdoType::FromDeclaredType(decl);
            const qsizetype paren = decl.indexOf(u'(');
            if (paren >= 0)
                c.definedSize = decl.mid(paren + 1).section(u',', 0, 0).remove(u')').trimmed().toInt();
        } else {
            c.type = m_pending == SQLITE_ROW ? TypeOfValue(sqlite3_column_type(m_stmt, i)) : AdoType::VarWChar;
        }
    }
    m_plain.resize(size_t(count));
    for (int i = 0; i < count; ++i)
        m_plain[size_t(i)] = Plain(PlainStorage(m_columns[i].type));
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

QVariant SqliteCursor::ValueOf(int column) const
{
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_INTEGER:
        return qint64(sqlite3_column_int64(m_stmt, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(m_stmt, column);
    case SQLITE_TEXT:
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column)),
                                 sqlite3_column_bytes(m_stmt, column));
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(m_stmt, column)), sqlite3_column_bytes(m_stmt, column));
    default:
        return {};
    }
}

bool SqliteCursor::Read(QVector<QVariant>& row, QVector<QVariant>* raw)
{
    if (!Step())
        return false;
    const int n = int(m_columns.size());
    row.resize(n);
    if (raw)
        raw->resize(n);
    for (int i = 0; i < n; ++i) {
        QVariant v = ValueOf(i);
        row[i] = AdoType::Normalize(v, m_columns[i].type);
        if (raw)
            (*raw)[i] = std::move(v);
    }
    return true;
}

bool SqliteCursor::AppendTo(RecordStore& store)
{
    if (!Step())
        return false;
    const int n = int(m_columns.size());
    for (int i = 0; i < n; ++i) {
        StoredColumn& column = store.rows.Column(i);
        const int storage = sqlite3_column_type(m_stmt, i);
        // A value its column's type leaves as it is goes straight into the store, and is
        // its own raw value.
        bool plain = true;
        if (storage == SQLITE_NULL)
            column.Append(QVariant());
        else if (storage != char(m_plain[size_t(i)]))
            plain = false;
        else if (storage == SQLITE_INTEGER)
            column.AppendInteger(sqlite3_column_int64(m_stmt, i));
        else if (storage == SQLITE_FLOAT)
            column.AppendReal(sqlite3_column_double(m_stmt, i));
        else if (storage == SQLITE_TEXT)
            column.AppendUtf8(reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, i)), sqlite3_column_bytes(m_stmt, i));
        else
            column.AppendBytes(static_cast<const char*>(sqlite3_column_blob(m_stmt, i)), sqlite3_column_bytes(m_stmt, i));
        if (plain) {
            if (store.keepRaw)
                store.raw.Column(i).AppendAbsent();
            continue;
        }
        // The two changes normalizing makes most often, without a text or a variant between.
        const int type = m_columns[i].type;
        if (storage == SQLITE_INTEGER && type == AdoType::Boolean) {
            const qint64 n = sqlite3_column_int64(m_stmt, i);
            column.AppendBool(n != 0);
            if (store.keepRaw)
                store.raw.Column(i).AppendInteger(n);
            continue;
        }
        if (storage == SQLITE_INTEGER && type == AdoType::Numeric) {
            // A decimal column shows an integer as its exact digits.
            const qint64 n = sqlite3_column_int64(m_stmt, i);
            char digits[24];
            const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
            column.AppendUtf8(digits, int(end - digits));
            if (store.keepRaw)
                store.raw.Column(i).AppendInteger(n);
            continue;
        }
        if (storage == SQLITE_TEXT && (type == AdoType::DBDate || type == AdoType::Date)) {
            const auto* text = sqlite3_column_text(m_stmt, i);
            const int size = sqlite3_column_bytes(m_stmt, i);
            if (const QDate date = IsoDate(text, size); date.isValid()) {
                column.AppendDate(date);
                if (store.keepRaw)
                    store.raw.Column(i).AppendUtf8(reinterpret_cast<const char*>(text), size);
                continue;
            }
        }
        const QVariant v = ValueOf(i);
        const QVariant normal = AdoType::Normalize(v, m_columns[i].type);
        column.Append(normal);
        if (!store.keepRaw)
            continue;
        if (normal == v && normal.metaType() == v.metaType())
            store.raw.Column(i).AppendAbsent();
        else
            store.raw.Column(i).Append(v);
    }
    store.CommitRow();
    return true;
}

} // namespace ado
