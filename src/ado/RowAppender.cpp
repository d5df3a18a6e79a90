#include "ado/RowAppender.h"

#include "ado/AdoError.h"
#include "ado/AdoType.h"
#include "ado/Backend.h"
#include "ado/Recordset.h"
#include "ado/RowWriter.h"

#include <QStringList>

namespace ado {

RowAppender::RowAppender(Recordset& target, const QVector<int>& columns)
{
    target.CheckOpen();
    if (target.m_lockType == Recordset::adLockReadOnly)
        throw AdoError(err::NotSupported, QStringLiteral("Current Recordset does not support updating. This may be a "
                                                         "limitation of the provider, or of the selected locktype."));
    const RecordStore& store = *target.m_store;
    RowWriter::CheckUpdatable(store);
    m_session = target.Session();
    const SqlDialect d = m_session->Dialect();
    QStringList names;
    QStringList marks;
    for (int index : columns) {
        if (index < 0 || index >= store.columns.size())
            throw AdoError(err::ItemNotFound, QStringLiteral("Item cannot be found in the collection corresponding to the "
                                                             "requested name or ordinal. (%1)").arg(index));
        const ColumnInfo& info = store.columns[index];
        if (info.baseColumn.isEmpty())
            throw AdoError(err::Unspecified, QStringLiteral("The field '%1' is computed and cannot be updated.").arg(info.name));
        names << d.quoteIdentifier(info.baseColumn);
        marks << QStringLiteral("?");
        m_types << info.type;
    }
    const QString table = store.baseSchema.isEmpty()
        ? d.quoteIdentifier(store.baseTable)
        : d.quoteIdentifier(store.baseSchema) + u'.' + d.quoteIdentifier(store.baseTable);
    const QString sql = names.isEmpty()
        ? QStringLiteral("INSERT INTO ") + table + QStringLiteral(" DEFAULT VALUES")
        : QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (") + names.join(QStringLiteral(", "))
            + QStringLiteral(") VALUES (") + marks.join(QStringLiteral(", ")) + u')';
    m_insert = m_session->Prepare(sql);
    m_params.reserve(m_types.size());
}

RowAppender::~RowAppender() = default;

void RowAppender::Append(const QVector<QVariant>& values)
{
    if (values.size() != m_types.size())
        throw AdoError(err::Unspecified, QStringLiteral("%1 values given for %2 fields.").arg(values.size()).arg(m_types.size()));
    m_params.clear();
    for (int i = 0; i < values.size(); ++i)
        m_params << AdoType::Coerce(values[i], m_types[i]);
    m_insert->Execute(m_params);
}

} // namespace ado
