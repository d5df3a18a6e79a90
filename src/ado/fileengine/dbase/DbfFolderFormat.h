#pragma once

#include "ado/fileengine/FileFormat.h"

#include <QMap>

namespace ado {

// A folder of .dbf files: each one a table named after its file without the extension,
// also accepted with it ("clients.dbf").
class DbfFolderFormat : public FileFormat {
public:
    explicit DbfFolderFormat(const QString& folder);

    QList<TableInfo> Tables() override;
    QStringList Aliases(const QString& table) const override;
    std::unique_ptr<FileTable> OpenTable(const QString& table) override;

private:
    QString m_folder;
    QMap<QString, QString> m_files; // table -> file name, in the folder's order
};

} // namespace ado
