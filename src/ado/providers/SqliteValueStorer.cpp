#include "ado/providers/SqliteValueStorer.h"

#include "ado/AdoType.h"
#include "ado/IsoDateText.h"
#include "ado/RecordStore.h"

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
int PlainStorage(int type)
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

} // namespace

SqliteValueStorer::SqliteValueStorer(const QVector<ColumnInfo>& columns)
{
    for (const ColumnInfo& c : columns) {
        m_types.push_back(c.type);
        m_plain.push_back(PlainStorage(c.type));
    }
}

QVector<ColumnInfo> SqliteValueStorer::Describe(sqlite3_stmt* stmt, bool onRow)
{
    const int count = sqlite3_column_count(stmt);
    QVector<ColumnInfo> columns(count);
    for (int i = 0; i < count; ++i) {
        ColumnInfo& c = columns[i];
        c.name = QString::fromUtf8(sqlite3_column_name(stmt, i));
        if (const char* declared = sqlite3_column_decltype(stmt, i)) {
            const QString decl = QString::fromUtf8(declared);
            c.type = AdoType::FromDeclaredType(decl);
            const qsizetype paren = decl.indexOf(u'(');
            if (paren >= 0)
                c.definedSize = decl.mid(paren + 1).section(u',', 0, 0).remove(u')').trimmed().toInt();
        } else {
            c.type = onRow ? TypeOfValue(sqlite3_column_type(stmt, i)) : AdoType::VarWChar;
        }
    }
    return columns;
}

QVariant SqliteValueStorer::Normalized(int column, const QVariant& raw) const
{
    return AdoType::Normalize(raw, m_types[size_t(column)]);
}

void SqliteValueStorer::Store(RecordStore& store, int i, const SqliteValue& v) const
{
    StoredColumn& column = store.rows.Column(i);
    StoredColumn* raw = store.keepRaw ? &store.raw.Column(i) : nullptr;
    // A value its column's type leaves as it is goes straight into the store, and is its
    // own raw value.
    bool plain = true;
    if (v.storage == SQLITE_NULL)
        column.Append(QVariant());
    else if (v.storage != m_plain[size_t(i)])
        plain = false;
    else if (v.storage == SQLITE_INTEGER)
        column.AppendInteger(v.integer);
    else if (v.storage == SQLITE_FLOAT)
        column.AppendReal(v.real);
    else if (v.storage == SQLITE_TEXT)
        column.AppendUtf8(v.data, v.size);
    else
        column.AppendBytes(v.data, v.size);
    if (plain) {
        if (raw)
            raw->AppendAbsent();
        return;
    }
    // The two changes normalizing makes most often, without a text or a variant between.
    const int type = m_types[size_t(i)];
    if (v.storage == SQLITE_INTEGER && type == AdoType::Boolean) {
        column.AppendBool(v.integer != 0);
        if (raw)
            raw->AppendInteger(v.integer);
        return;
    }
    if (v.storage == SQLITE_INTEGER && type == AdoType::Numeric) {
        // A decimal column shows an integer as its exact digits.
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, v.integer).ptr;
        column.AppendUtf8(digits, int(end - digits));
        if (raw)
            raw->AppendInteger(v.integer);
        return;
    }
    if (v.storage == SQLITE_TEXT && (type == AdoType::DBDate || type == AdoType::Date)) {
        QDate date = v.date;
        if (date.isValid() || ParseIsoDateText(v.data, v.size, &date)) {
            // The date binds as this very text again, so it needs no raw value of its own.
            column.AppendDate(date);
            if (raw)
                raw->AppendAbsent();
            return;
        }
    }
    const QVariant value = v.ToVariant();
    const QVariant normal = AdoType::Normalize(value, type);
    column.Append(normal);
    if (!raw)
        return;
    if (normal == value && normal.metaType() == value.metaType())
        raw->AppendAbsent();
    else
        raw->Append(value);
}

} // namespace ado
