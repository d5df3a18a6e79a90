#include "ado/Field.h"

#include "ado/Recordset.h"

namespace ado {

QString Field::Name() const
{
    return m_rs->Columns()[m_index].name;
}

int Field::Type() const
{
    return m_rs->Columns()[m_index].type;
}

int Field::DefinedSize() const
{
    return m_rs->Columns()[m_index].definedSize;
}

QString Field::BaseColumnName() const
{
    return m_rs->Columns()[m_index].baseColumn;
}

qint64 Field::ActualSize() const
{
    const QVariant v = Value();
    if (!v.isValid() || v.isNull())
        return 0;
    if (v.metaType().id() == QMetaType::QByteArray)
        return v.toByteArray().size();
    return v.toString().size();
}

QVariant Field::Value() const
{
    return m_rs->CurrentValue(m_index);
}

void Field::SetValue(const QVariant& value)
{
    m_rs->SetCurrentValue(m_index, value, false);
}

void Field::AppendChunk(const QVariant& data)
{
    m_rs->SetCurrentValue(m_index, data, true);
}

} // namespace ado
