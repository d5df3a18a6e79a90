#include "ado/Connection.h"

#include "ado/AdoError.h"
#include "ado/Backend.h"
#include "ado/ConnectionString.h"
#include "ado/ProviderRegistry.h"

namespace ado {

Connection::Connection() = default;

Connection::~Connection()
{
    try {
        Close();
    } catch (...) {
    }
}

void Connection::SetCommandTimeout(int seconds)
{
    m_commandTimeout = seconds;
    if (m_backend)
        m_backend->SetCommandTimeout(seconds);
}

void Connection::Open(const QString& connectionString, const QString& userId, const QString& password, long)
{
    if (m_backend)
        throw AdoError(err::ObjectOpen, QStringLiteral("Operation is not allowed when the object is open."));
    QString text = connectionString;
    if (!userId.isEmpty())
        text += QStringLiteral(";User ID=") + userId;
    if (!password.isEmpty())
        text += QStringLiteral(";Password=") + password;
    const ado::ConnectionString cs = ado::ConnectionString::Parse(text);
    m_backend = ProviderRegistry::Instance().Open(cs);
    m_connectionString = connectionString;
    m_provider = ProviderRegistry::ProviderOf(cs);
    m_backend->SetCommandTimeout(m_commandTimeout);
}

void Connection::Close()
{
    if (m_backend && m_transactionLevel > 0) {
        try {
            m_backend->Rollback();
        } catch (...) {
        }
    }
    m_transactionLevel = 0;
    m_backend.reset();
}

QString Connection::Provider() const
{
    return m_provider;
}

QVariant Connection::Properties(const QString& name) const
{
    return Session().Property(name);
}

qint64 Connection::Execute(const QString& commandText, long)
{
    Backend& b = Session();
    return b.Execute(b.Translate(commandText));
}

void Connection::BeginTrans()
{
    Session().BeginTransaction();
    ++m_transactionLevel;
}

void Connection::CommitTrans()
{
    if (m_transactionLevel == 0)
        throw AdoError(err::Unspecified, QStringLiteral("No transaction is active."));
    Session().Commit();
    --m_transactionLevel;
}

void Connection::RollbackTrans()
{
    if (m_transactionLevel == 0)
        throw AdoError(err::Unspecified, QStringLiteral("No transaction is active."));
    Session().Rollback();
    --m_transactionLevel;
}

Backend& Connection::Session() const
{
    if (!m_backend)
        throw AdoError(err::ObjectClosed, QStringLiteral("Operation is not allowed when the object is closed."));
    return *m_backend;
}

} // namespace ado

namespace ado {

std::shared_ptr<Backend> Connection::SharedSession() const
{
    Session();
    return m_backend;
}

} // namespace ado
