#include "ado/RowCursor.h"

#include "ado/RecordStore.h"

namespace ado {

bool RowCursor::AppendTo(RecordStore& store)
{
    if (!(store.keepRaw ? NextRaw(m_row, m_raw) : Next(m_row)))
        return false;
    store.Append(m_row, m_raw);
    return true;
}

} // namespace ado
