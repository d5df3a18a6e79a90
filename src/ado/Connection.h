#pragma once

#include <QString>
#include <QVariant>
#include <memory>

namespace ado {

class Backend;

// The program's handle on one database, opened from a connection string.
class Connection {
public:
    enum State { adStateClosed = 0, adStateOpen = 1 };

    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int CommandTimeout() const { return m_commandTimeout; }
    void SetCommandTimeout(int seconds);

    // Credentials travel inside the string; userId/password, when given, are added to it.
    void Open(const QString& connectionString, const QString& userId = {}, const QString& password = {},
              long options = -1);
    void Close();
    int State() const { return m_backend ? adStateOpen : adStateClosed; }
    const QString& ConnectionString() const { return m_connectionString; }

    // The provider's name as the string gave it (e.g. "Microsoft.Jet.OLEDB.4.0").
    QString Provider() const;
    // A dynamic property such as "Jet OLEDB:Engine Type"; throws 3265 for an unknown one.
    QVariant Properties(const QString& name) const;

    // Runs a statement without rows (Jet dialect translated); returns the affected count.
    qint64 Execute(const QString& commandText, long options = -1);

    void BeginTrans();
    void CommitTrans();
    void RollbackTrans();

    // The open session; throws 3704 when the connection is closed.
    Backend& Session() const;
    // The same, for objects that must notice when the connection has gone.
    std::shared_ptr<Backend> SharedSession() const;

private:
    std::shared_ptr<Backend> m_backend;
    QString m_connectionString;
    QString m_provider;
    int m_commandTimeout = 30;
    int m_transactionLevel = 0;
};

} // namespace ado
