#pragma once

#include "ado/fileengine/FileTable.h"

namespace ado {

// A Paradox table of a folder, read only.
class ParadoxTable : public FileTable {
public:
    // Throws AdoError naming the file when it cannot be read.
    explicit ParadoxTable(const QString& path);

    QVector<FileColumn> Columns() const override { return m_columns; }
    std::unique_ptr<FileTableCursor> Scan() override;

private:
    QString m_path;
    QVector<FileColumn> m_columns;
};

} // namespace ado
