#pragma once

#include "ado/AdoError.h"
#include "ado/fileengine/VirtualTableModule.h"
#include "ado/providers/SqliteBackend.h"

#include <QHash>
#include <optional>

namespace ado {

class ConnectionString;
class FileFormat;

// The file providers: an in-memory SQLite database in which every table of the data
// source is a virtual table over its file, so that every statement is SQLite's.
class FileEngineBackend : public SqliteBackend {
public:
    FileEngineBackend(const QString& provider, std::unique_ptr<FileFormat> format);
    ~FileEngineBackend() override;

    QString ProviderName() const override { return m_provider; }
    QVariant Property(const QString& name) const override;
    QString Translate(const QString& jetSql) const override;
    qint64 Execute(const QString& sql, const QVariantList& params = {}) override;
    std::unique_ptr<RowCursor> Query(const QString& sql, const QVariantList& params = {}) override;
    // Through Execute each time, so that a file table's own failure is the one reported.
    std::unique_ptr<PreparedStatement> Prepare(const QString& sql) override { return Backend::Prepare(sql); }
    QList<TableInfo> Tables() override;
    QStringList PrimaryKey(const QString&) override { return {}; }
    bool SupportsReturning(const QString&) const override { return false; }
    // SQLite's transaction, passed to every file table written in it (VirtualTableModule).
    void Commit() override;
    void Rollback() override;

private:
    void CreateTables();
    // Rethrows our own failure when SQLite's message came from a file table.
    [[noreturn]] void Rethrow(const AdoError& fromSqlite) const;

    QString m_provider;
    std::unique_ptr<FileFormat> m_format;
    QList<TableInfo> m_tables;
    QHash<QString, QString> m_aliases;       // lower-case alias -> table
    VirtualTableModule::OpenTables m_openTables;
    QHash<QString, AdoError> m_brokenTables; // lower-case table -> why it cannot be read
    mutable std::optional<AdoError> m_lastError;
};

} // namespace ado
