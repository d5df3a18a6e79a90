#pragma once

#include "ado/fileengine/FileFormat.h"

#include <QMap>
#include <optional>

namespace ado {

// A folder of .dbf files: each one a table named after its file without the extension,
// also accepted with it ("clients.dbf").
class DbfFolderFormat : public FileFormat {
public:
    // engineType is left empty when the folder is opened by a provider without Jet's properties.
    explicit DbfFolderFormat(const QString& folder, std::optional<int> engineType = std::nullopt);

    QList<TableInfo> Tables() override;
    QStringList Aliases(const QString& table) const override;
    std::unique_ptr<FileTable> OpenTable(const QString& table) override;
    QVariant Property(const QString& name) const override;

private:
    QString m_folder;
    std::optional<int> m_engineType;
    QMap<QString, QString> m_files; // table -> file name, in the folder's order
};

} // namespace ado
