#include "ado/fileengine/FileEngineBackend.h"

#include "ado/JetTranslator.h"
#include "ado/SqlTokenizer.h"
#include "ado/fileengine/FileFormat.h"
#include "ado/fileengine/FileScanCursor.h"
#include "ado/fileengine/VirtualTableModule.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

namespace ado {

FileEngineBackend::FileEngineBackend(const QString& provider, std::unique_ptr<FileFormat> format)
    : SqliteBackend(InMemory{}), m_provider(provider), m_format(std::move(format))
{
    VirtualTableModule::Register(Handle(), m_format.get(), &m_lastError, &m_openTables);
    CreateTables();
}

FileEngineBackend::~FileEngineBackend()
{
    // The virtual tables refer to the format: drop the connection first.
    m_db.close();
}

void FileEngineBackend::CreateTables()
{
    m_tables = m_format->Tables();
    for (const TableInfo& t : m_tables) {
        for (const QString& alias : m_format->Aliases(t.Name))
            m_aliases.insert(alias.toLower(), t.Name);
        QSqlQuery q(m_db);
        const QString sql = QStringLiteral("CREATE VIRTUAL TABLE %1 USING %2")
                                .arg(Dialect().quoteIdentifier(t.Name), QString::fromLatin1(VirtualTableModule::Name()));
        m_lastError.reset();
        if (!q.exec(sql)) {
            // The table stays listed; using it names the reason.
            const AdoError why = m_lastError ? *m_lastError
                                             : AdoError(err::Unspecified, QStringLiteral("The table '%1' cannot be read: %2")
                                                                              .arg(t.Name, q.lastError().databaseText()));
            m_brokenTables.insert(t.Name.toLower(), why);
        }
    }
}

QVariant FileEngineBackend::Property(const QString& name) const
{
    const QVariant v = m_format->Property(name);
    if (v.isValid())
        return v;
    return SqliteBackend::Property(name);
}

QString FileEngineBackend::Translate(const QString& jetSql) const
{
    if (m_aliases.isEmpty())
        return JetTranslator::Translate(jetSql, Dialect());
    // Names with an extension ("clients.dbf", "clients#csv") become the table's own name.
    const QList<SqlToken> tokens = SqlTokenizer::Tokenize(jetSql);
    QString out;
    const auto aliasOf = [this](const QString& text) { return m_aliases.value(text.toLower()); };
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const SqlToken& t = tokens[i];
        if (t.isClosedName()) {
            const QString table = aliasOf(t.name());
            if (!table.isEmpty()) {
                out += SqlToken::bracket(table);
                continue;
            }
        }
        if (t.kind == SqlToken::Word && i + 2 < tokens.size() && tokens[i + 1].kind == SqlToken::Punct
            && (tokens[i + 1].text == u"." || tokens[i + 1].text == u"#") && tokens[i + 2].kind == SqlToken::Word) {
            const bool qualified = !out.isEmpty() && out.back() == u'.';
            const QString table = qualified ? QString() : aliasOf(t.text + tokens[i + 1].text + tokens[i + 2].text);
            if (!table.isEmpty()) {
                out += SqlToken::bracket(table);
                i += 2;
                continue;
            }
        }
        out += t.text;
    }
    return JetTranslator::Translate(out, Dialect());
}

void FileEngineBackend::Rethrow(const AdoError& fromSqlite) const
{
    if (m_lastError) {
        AdoError own = *m_lastError;
        m_lastError.reset();
        throw AdoError(own.Number(), own.Description(), fromSqlite.Sql());
    }
    const QString text = fromSqlite.Description();
    const QString prefix = QStringLiteral("no such table: ");
    if (text.startsWith(prefix)) {
        const auto it = m_brokenTables.constFind(text.mid(prefix.size()).trimmed().toLower());
        if (it != m_brokenTables.constEnd())
            throw AdoError(it->Number(), it->Description(), fromSqlite.Sql());
    }
    throw fromSqlite;
}

qint64 FileEngineBackend::Execute(const QString& sql, const QVariantList& params)
{
    m_lastError.reset();
    try {
        return SqliteBackend::Execute(sql, params);
    } catch (const AdoError& e) {
        Rethrow(e);
    }
}

void FileEngineBackend::Commit()
{
    m_lastError.reset();
    try {
        SqliteBackend::Commit();
    } catch (const AdoError& e) {
        Rethrow(e);
    }
}

void FileEngineBackend::Rollback()
{
    m_lastError.reset();
    try {
        SqliteBackend::Rollback();
    } catch (const AdoError& e) {
        Rethrow(e);
    }
    // SQLite does not report a table that failed to undo its changes; we do.
    if (m_lastError) {
        const AdoError own = *m_lastError;
        m_lastError.reset();
        throw own;
    }
}

std::unique_ptr<RowCursor> FileEngineBackend::Query(const QString& sql, const QVariantList& params)
{
    m_lastError.reset();
    try {
        // A plain scan of one table is read straight from its file.
        if (params.isEmpty())
            if (auto scan = FileScanCursor::TryOpen(Handle(), m_openTables, sql))
                return scan;
        return SqliteBackend::Query(sql, params);
    } catch (const AdoError& e) {
        Rethrow(e);
    }
}

QList<TableInfo> FileEngineBackend::Tables()
{
    return m_tables;
}

} // namespace ado
