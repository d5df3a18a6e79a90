#pragma once

#include "ado/fileengine/FileFormat.h"

namespace ado {

class MdbDatabase;

// An Access database file (Jet 3, Jet 4 or ACE) as a file data source, read only.
class AccessFormat : public FileFormat {
public:
    // Throws AdoError when the file is not an Access database libmdb can read.
    explicit AccessFormat(const QString& file);

    QList<TableInfo> Tables() override;
    std::unique_ptr<FileTable> OpenTable(const QString& table) override;
    QVariant Property(const QString& name) const override;

private:
    std::shared_ptr<const MdbDatabase> m_database;
};

} // namespace ado
