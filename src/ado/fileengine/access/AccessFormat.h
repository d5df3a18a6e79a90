#pragma once

#include "ado/fileengine/FileFormat.h"
#include "ado/fileengine/access/AccessReader.h"

namespace ado {

// An Access database file (Jet 3, Jet 4 or ACE) as a file data source, read only. Its
// catalogue is read once, at construction.
class AccessFormat : public FileFormat {
public:
    // Throws AdoError when the file is not an Access database libmdb can read.
    explicit AccessFormat(const QString& file);

    QList<TableInfo> Tables() override;
    std::unique_ptr<FileTable> OpenTable(const QString& table) override;
    QVariant Property(const QString& name) const override;

private:
    QString m_file;
    AccessReader::Catalogue m_catalogue;
};

} // namespace ado
