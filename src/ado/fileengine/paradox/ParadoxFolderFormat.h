#pragma once

#include "ado/fileengine/FileFormat.h"

#include <QMap>

namespace ado {

// A folder of Paradox tables (.db files): each file a table named after it, read only.
class ParadoxFolderFormat : public FileFormat {
public:
    explicit ParadoxFolderFormat(const QString& folder);

    QList<TableInfo> Tables() override;
    QStringList Aliases(const QString& table) const override;
    std::unique_ptr<FileTable> OpenTable(const QString& table) override;

private:
    QString m_folder;
    QMap<QString, QString> m_files; // table name -> file name
};

} // namespace ado
