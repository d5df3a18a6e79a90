#include "ado/ProviderRegistry.h"

#include "ado/AdoError.h"
#include "ado/ConnectionString.h"
#include "ado/fileengine/FileFormatFactory.h"
#include "ado/providers/OdbcBackend.h"
#include "ado/providers/PostgresBackend.h"
#include "ado/providers/SqliteBackend.h"

namespace ado {

ProviderRegistry& ProviderRegistry::Instance()
{
    static ProviderRegistry registry;
    return registry;
}

ProviderRegistry::ProviderRegistry()
{
    Register(QStringLiteral("SQLite"), [](const ConnectionString& cs) { return std::make_unique<SqliteBackend>(cs); });
    Register(QStringLiteral("MSDASQL"), [](const ConnectionString& cs) { return std::make_unique<OdbcBackend>(cs); });
    Register(QStringLiteral("PostgreSQL"), [](const ConnectionString& cs) { return std::make_unique<PostgresBackend>(cs); });
    for (const QString jet : {QStringLiteral("Microsoft.Jet.OLEDB.4.0"), QStringLiteral("Microsoft.ACE.OLEDB.12.0")})
        Register(jet, [jet](const ConnectionString& cs) { return FileFormatFactory::OpenJet(jet, cs); });
    Register(QStringLiteral("Advantage OLE DB Provider"), [](const ConnectionString& cs) { return FileFormatFactory::OpenAdvantage(cs); });
}

void ProviderRegistry::Register(const QString& name, Factory factory)
{
    m_factories.insert(name.trimmed().toLower(), std::move(factory));
}

void ProviderRegistry::Unregister(const QString& name)
{
    m_factories.remove(name.trimmed().toLower());
}

bool ProviderRegistry::IsRegistered(const QString& name) const
{
    return m_factories.contains(name.trimmed().toLower());
}

QString ProviderRegistry::ProviderOf(const ConnectionString& cs)
{
    const QString provider = cs.Value(QStringLiteral("Provider")).trimmed();
    return provider.isEmpty() ? QStringLiteral("MSDASQL") : provider;
}

std::unique_ptr<Backend> ProviderRegistry::Open(const ConnectionString& cs) const
{
    const auto it = m_factories.constFind(ProviderOf(cs).toLower());
    if (it == m_factories.constEnd())
        throw AdoError(err::ProviderNotFound, QStringLiteral("Provider cannot be found. It may not be properly installed."));
    return (*it)(cs);
}

} // namespace ado
