#include "ado/Backend.h"

#include "ado/AdoError.h"
#include "ado/JetTranslator.h"

namespace ado {

namespace {

class ExecutedEachTime : public PreparedStatement {
public:
    ExecutedEachTime(Backend& backend, QString sql) : m_backend(backend), m_sql(std::move(sql)) {}
    qint64 Execute(const QVariantList& params) override { return m_backend.Execute(m_sql, params); }

private:
    Backend& m_backend;
    QString m_sql;
};

} // namespace

QVariant Backend::Property(const QString& name) const
{
    throw AdoError(err::ItemNotFound,
                   QStringLiteral("Item cannot be found in the collection corresponding to the requested name or ordinal. (%1)").arg(name));
}

QString Backend::Translate(const QString& jetSql) const
{
    return JetTranslator::Translate(jetSql, Dialect());
}

std::unique_ptr<PreparedStatement> Backend::Prepare(const QString& sql)
{
    return std::make_unique<ExecutedEachTime>(*this, sql);
}

} // namespace ado
