#pragma once

#include "ado/Backend.h"

#include <QHash>
#include <QString>
#include <functional>
#include <memory>

namespace ado {

class ConnectionString;

// Maps the "Provider" of a connection string to the backend that opens it. Names are
// compared without regard to case; tests may register stand-ins under any name.
class ProviderRegistry {
public:
    using Factory = std::function<std::unique_ptr<Backend>(const ConnectionString&)>;

    static ProviderRegistry& Instance();

    void Register(const QString& name, Factory factory);
    void Unregister(const QString& name);
    bool IsRegistered(const QString& name) const;

    // The provider named by the string: its "Provider", else ODBC ("MSDASQL") as ADO does.
    static QString ProviderOf(const ConnectionString& cs);
    // Opens a backend for the string; 3706 when no provider of that name is known.
    std::unique_ptr<Backend> Open(const ConnectionString& cs) const;

private:
    ProviderRegistry();
    QHash<QString, Factory> m_factories;
};

} // namespace ado
