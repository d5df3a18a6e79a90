#pragma once

#include "ado/fileengine/FileTable.h"
#include "ado/fileengine/access/MdbTableReader.h"

namespace ado {

// One scan of an Access table: the rows in the order libmdb finds them.
class AccessCursor : public FileTableCursor {
public:
    explicit AccessCursor(std::unique_ptr<MdbTableReader> reader) : m_reader(std::move(reader)) {}

    bool Next() override { return m_reader->Next(); }
    qint64 RowId() const override { return m_reader->RowNumber(); }
    QVariant Value(int column) const override { return m_reader->Value(column); }

private:
    std::unique_ptr<MdbTableReader> m_reader;
};

} // namespace ado
