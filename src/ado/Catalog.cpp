#include "ado/Catalog.h"

#include "ado/AdoError.h"
#include "ado/Backend.h"
#include "ado/Connection.h"

namespace ado {

QList<TableInfo> Catalog::Tables() const
{
    if (!m_connection)
        throw AdoError(err::ObjectClosed, QStringLiteral("Operation is not allowed when the object is closed."));
    return m_connection->Session().Tables();
}

} // namespace ado
