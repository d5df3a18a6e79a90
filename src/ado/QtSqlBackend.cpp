#include "ado/QtSqlBackend.h"

#include "ado/AdoError.h"
#include "ado/AdoType.h"
#include "ado/QtSqlCursor.h"
#include "ado/QtSqlPreparedStatement.h"
#include "ado/SqlTokenizer.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

namespace ado {

namespace {

long NumberFor(const QSqlError& e)
{
    return QtSqlBackend::NumberForMessage(e.databaseText() + u' ' + e.driverText());
}

QString DescriptionOf(const QSqlError& e)
{
    QString d = e.databaseText().trimmed();
    if (d.isEmpty())
        d = e.driverText().trimmed();
    if (d.isEmpty())
        d = e.text().trimmed();
    return d;
}

// Where an E'...' literal of PostgreSQL really ends: a backslash escapes the next character.
qsizetype EndOfEscapedString(const QString& sql, qsizetype quote)
{
    for (qsizetype i = quote + 1; i < sql.size(); ++i) {
        if (sql.at(i) == u'\\')
            ++i;
        else if (sql.at(i) == u'\'' && (i + 1 >= sql.size() || sql.at(i + 1) != u'\''))
            return i + 1;
        else if (sql.at(i) == u'\'')
            ++i;
    }
    return sql.size();
}

} // namespace

namespace {

// Throws for an empty text or one of several statements. With `escapedE`, E'...'
// literals end where PostgreSQL ends them.
void CheckStatements(const QString& sql, bool escapedE, const QString& original)
{
    bool any = false;
    bool ended = false;
    qsizetype from = 0;
    while (from < sql.size()) {
        const QList<SqlToken> tokens = SqlTokenizer::Tokenize(sql.mid(from));
        qsizetype resume = -1;
        for (qsizetype i = 0; i < tokens.size(); ++i) {
            const SqlToken& t = tokens[i];
            if (!t.isSignificant())
                continue;
            if (ended && !t.isPunct(u';'))
                throw AdoError(err::SyntaxError, QStringLiteral("Only one statement can be run at a time."), original);
            if (t.isPunct(u';')) {
                ended = any;
                continue;
            }
            any = true;
            // The tokenizer ends E'\'' at the escaped quote; start again after the real end.
            if (escapedE && (t.text == u"E" || t.text == u"e") && t.kind == SqlToken::Word && i + 1 < tokens.size()
                && tokens[i + 1].kind == SqlToken::String && tokens[i + 1].pos == t.pos + 1) {
                resume = EndOfEscapedString(sql, from + tokens[i + 1].pos);
                break;
            }
        }
        if (resume < 0)
            break;
        from = resume;
    }
    if (!any)
        throw AdoError(-2147217908, QStringLiteral("Command text was not set for the command object."), original);
}

} // namespace

void QtSqlBackend::CheckSingleStatement(const QString& sql, Literals literals)
{
    CheckStatements(sql, literals == Literals::PostgreSql, sql);
    if (literals != Literals::Unknown)
        return;
    // Some databases let a backslash escape a quote in any literal: read it that way too.
    QString escaped = sql;
    for (qsizetype i = 0; i + 1 < escaped.size(); ++i) {
        if (escaped.at(i) == u'\\') {
            escaped[i] = u'x';
            escaped[++i] = u'x';
        }
    }
    CheckStatements(escaped, false, sql);
}

long QtSqlBackend::NumberForMessage(const QString& message)
{
    const QString text = message.toLower();
    if (text.contains(u"no such table") || (text.contains(u"relation") && text.contains(u"does not exist"))
        || text.contains(u"table not found") || text.contains(u"no such view"))
        return err::TableNotFound;
    if (text.contains(u"syntax error") || text.contains(u"incomplete input") || text.contains(u"unrecognized token"))
        return err::SyntaxError;
    return err::Unspecified;
}

QtSqlBackend::QtSqlBackend(const QString& driver)
    : m_connectionName(QStringLiteral("dabrix-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    if (!QSqlDatabase::isDriverAvailable(driver))
        throw AdoError(err::ProviderNotFound,
                       QStringLiteral("Provider cannot be found. It may not be properly installed. (Qt driver %1)").arg(driver));
    m_db = QSqlDatabase::addDatabase(driver, m_connectionName);
}

QtSqlBackend::~QtSqlBackend()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

void QtSqlBackend::OpenDatabase()
{
    if (!m_db.open())
        FailDatabase(QString());
}

void QtSqlBackend::Prepare(QSqlQuery& query, const QString& sql, const QVariantList& params) const
{
    CheckSingleStatement(sql, LiteralRules());
    // Exact decimals come as text, not as a double that drops digits.
    query.setNumericalPrecisionPolicy(QSql::HighPrecision);
    if (!query.prepare(sql))
        Fail(query, sql);
    for (const QVariant& p : params)
        query.addBindValue(ToStorage(p));
}

void QtSqlBackend::Fail(const QSqlQuery& query, const QString& sql) const
{
    const QSqlError e = query.lastError();
    throw AdoError(NumberFor(e), DescriptionOf(e), sql);
}

void QtSqlBackend::FailDatabase(const QString& what) const
{
    const QSqlError e = m_db.lastError();
    QString d = DescriptionOf(e);
    if (!what.isEmpty())
        d = what + QStringLiteral(": ") + d;
    throw AdoError(NumberFor(e), d);
}

void QtSqlBackend::Run(QSqlQuery& query, const QString& sql, const QVariantList& params) const
{
    if (params.isEmpty() && !CanPrepare(sql)) {
        CheckSingleStatement(sql, LiteralRules());
        query.setNumericalPrecisionPolicy(QSql::HighPrecision);
        if (!query.exec(sql))
            Fail(query, sql);
        return;
    }
    Prepare(query, sql, params);
    if (!query.exec())
        Fail(query, sql);
}

qint64 QtSqlBackend::Execute(const QString& sql, const QVariantList& params)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    Run(query, sql, params);
    const qint64 affected = query.numRowsAffected();
    query.finish();
    return affected;
}

std::unique_ptr<RowCursor> QtSqlBackend::Query(const QString& sql, const QVariantList& params)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(CanStream());
    Run(query, sql, params);
    if (!query.isSelect())
        throw AdoError(err::Unspecified, QStringLiteral("The statement returns no rows."), sql);
    QVector<ColumnInfo> columns = DescribeColumns(query);
    return std::make_unique<QtSqlCursor>(std::move(query), std::move(columns));
}

std::unique_ptr<PreparedStatement> QtSqlBackend::Prepare(const QString& sql)
{
    if (!CanPrepare(sql))
        return Backend::Prepare(sql);
    return std::make_unique<QtSqlPreparedStatement>(*this, m_db, sql);
}

QVector<ColumnInfo> QtSqlBackend::DescribeColumns(const QSqlQuery& query) const
{
    const QSqlRecord record = query.record();
    QVector<ColumnInfo> columns;
    columns.reserve(record.count());
    for (int i = 0; i < record.count(); ++i) {
        const QSqlField f = record.field(i);
        ColumnInfo c;
        c.name = f.name();
        c.type = AdoType::FromMetaType(f.metaType());
        c.definedSize = f.length() > 0 ? f.length() : 0;
        c.precision = f.precision() > 0 ? f.precision() : 0;
        c.nullable = f.requiredStatus() != QSqlField::Required;
        c.autoIncrement = f.isAutoValue();
        columns.append(c);
    }
    return columns;
}

QList<TableInfo> QtSqlBackend::Tables()
{
    QList<TableInfo> tables;
    for (const QString& t : m_db.tables(QSql::Tables))
        tables.append({t, QStringLiteral("TABLE")});
    for (const QString& t : m_db.tables(QSql::Views))
        tables.append({t, QStringLiteral("VIEW")});
    for (const QString& t : m_db.tables(QSql::SystemTables))
        tables.append({t, QStringLiteral("SYSTEM TABLE")});
    if (m_db.lastError().isValid() && m_db.lastError().type() != QSqlError::NoError)
        FailDatabase(QStringLiteral("Tables"));
    return tables;
}

QVector<ColumnInfo> QtSqlBackend::TableColumns(const QString& table)
{
    const QSqlRecord record = m_db.record(table);
    QVector<ColumnInfo> columns;
    for (int i = 0; i < record.count(); ++i) {
        const QSqlField f = record.field(i);
        ColumnInfo c;
        c.name = f.name();
        c.baseColumn = f.name();
        c.type = AdoType::FromMetaType(f.metaType());
        c.nullable = f.requiredStatus() != QSqlField::Required;
        c.autoIncrement = f.isAutoValue();
        columns.append(c);
    }
    return columns;
}

QStringList QtSqlBackend::PrimaryKey(const QString& table)
{
    const QSqlIndex index = m_db.primaryIndex(table);
    QStringList names;
    for (int i = 0; i < index.count(); ++i)
        names << index.fieldName(i);
    return names;
}

void QtSqlBackend::BeginTransaction()
{
    if (!m_db.transaction())
        FailDatabase(QStringLiteral("BeginTrans"));
}

void QtSqlBackend::Commit()
{
    if (!m_db.commit())
        FailDatabase(QStringLiteral("CommitTrans"));
}

void QtSqlBackend::Rollback()
{
    if (!m_db.rollback())
        FailDatabase(QStringLiteral("RollbackTrans"));
}

} // namespace ado
