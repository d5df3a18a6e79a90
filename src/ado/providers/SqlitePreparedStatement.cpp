#include "ado/providers/SqlitePreparedStatement.h"

#include "ado/AdoError.h"
#include "ado/QtSqlBackend.h"
#include "ado/providers/SqliteBackend.h"

#include <sqlite3.h>

namespace ado {

SqlitePreparedStatement::SqlitePreparedStatement(const SqliteBackend& backend, sqlite3* db, const QString& sql)
    : m_backend(backend), m_db(db), m_sql(sql)
{
    QtSqlBackend::CheckSingleStatement(sql);
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(m_db, text.constData(), int(text.size()), &m_stmt, nullptr) != SQLITE_OK || !m_stmt)
        Fail();
}

SqlitePreparedStatement::~SqlitePreparedStatement()
{
    sqlite3_finalize(m_stmt);
}

void SqlitePreparedStatement::Bind(int index, const QVariant& given)
{
    // The same storage the Qt driver gives each value, so both paths store alike.
    const QVariant value = m_backend.ToStorage(given);
    int rc = SQLITE_OK;
    if (!value.isValid() || value.isNull()) {
        rc = sqlite3_bind_null(m_stmt, index);
    } else {
        switch (value.metaType().id()) {
        case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt: case QMetaType::Short:
        case QMetaType::UShort: case QMetaType::Char: case QMetaType::UChar: case QMetaType::SChar:
            rc = sqlite3_bind_int64(m_stmt, index, value.toLongLong());
            break;
        case QMetaType::Double: case QMetaType::Float:
            rc = sqlite3_bind_double(m_stmt, index, value.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            rc = sqlite3_bind_blob64(m_stmt, index, bytes.constData(), sqlite3_uint64(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        default: {
            const QString text = value.toString();
            rc = sqlite3_bind_text16(m_stmt, index, text.utf16(), int(text.size() * sizeof(char16_t)), SQLITE_TRANSIENT);
            break;
        }
        }
    }
    if (rc != SQLITE_OK)
        Fail();
}

qint64 SqlitePreparedStatement::Execute(const QVariantList& params)
{
    if (params.size() != sqlite3_bind_parameter_count(m_stmt))
        throw AdoError(err::Unspecified,
                       QStringLiteral("%1 values given for %2 parameters.").arg(params.size()).arg(sqlite3_bind_parameter_count(m_stmt)),
                       m_sql);
    for (int i = 0; i < params.size(); ++i)
        Bind(i + 1, params[i]);
    // sqlite3_changes keeps the count of the last data change: a statement that changed
    // nothing would report the count of an earlier one.
    const sqlite3_int64 before = sqlite3_total_changes64(m_db);
    const int rc = sqlite3_step(m_stmt);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        // The message belongs to this run: read it before the reset.
        const QString message = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_reset(m_stmt);
        throw AdoError(QtSqlBackend::NumberForMessage(message), message, m_sql);
    }
    sqlite3_reset(m_stmt);
    return sqlite3_total_changes64(m_db) == before ? 0 : sqlite3_changes64(m_db);
}

void SqlitePreparedStatement::Fail() const
{
    const QString message = QString::fromUtf8(sqlite3_errmsg(m_db));
    throw AdoError(QtSqlBackend::NumberForMessage(message), message, m_sql);
}

} // namespace ado
