#include "ado/AdoError.h"

namespace ado {

AdoError::AdoError(long number, QString description, QString sql)
    : m_number(number), m_description(std::move(description)), m_sql(std::move(sql)),
      m_what(QStringLiteral("%1 - %2").arg(m_number).arg(m_description).toUtf8())
{
}

} // namespace ado
