#pragma once

#include "ado/fileengine/FileTable.h"
#include "ado/fileengine/paradox/ParadoxTableReader.h"

namespace ado {

// One scan of a Paradox table, in the order of its blocks (key order for a keyed table).
class ParadoxCursor : public FileTableCursor {
public:
    explicit ParadoxCursor(std::unique_ptr<ParadoxTableReader> reader) : m_reader(std::move(reader)) {}

    bool Next() override { return m_reader->Next(); }
    qint64 RowId() const override { return m_reader->RowNumber(); }
    QVariant Value(int column) const override { return m_reader->Value(column); }

private:
    std::unique_ptr<ParadoxTableReader> m_reader;
};

} // namespace ado
