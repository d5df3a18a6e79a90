#pragma once

#include "ado/fileengine/FileTable.h"
#include "ado/fileengine/access/AccessReader.h"

#include <memory>

namespace ado {

// One scan of an Access table: the rows in the order libmdb found them, then the
// failure that ended them early, if any.
class AccessCursor : public FileTableCursor {
public:
    explicit AccessCursor(std::shared_ptr<const AccessReader::Rows> rows) : m_rows(std::move(rows)) {}

    bool Next() override;
    qint64 RowId() const override { return m_row; }
    QVariant Value(int column) const override;

private:
    std::shared_ptr<const AccessReader::Rows> m_rows;
    qint64 m_row = 0;
    bool m_failed = false;
};

} // namespace ado
