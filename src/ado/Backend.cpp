#include "ado/Backend.h"

#include "ado/AdoError.h"
#include "ado/JetTranslator.h"

namespace ado {

QVariant Backend::Property(const QString& name) const
{
    throw AdoError(err::ItemNotFound,
                   QStringLiteral("Item cannot be found in the collection corresponding to the requested name or ordinal. (%1)").arg(name));
}

QString Backend::Translate(const QString& jetSql) const
{
    return JetTranslator::Translate(jetSql, Dialect());
}

} // namespace ado
