#pragma once

#include "ado/fileengine/FileFormat.h"

#include <QMap>

namespace ado {

// A folder of Paradox tables (.db files): each file a table named after it, read only.
class ParadoxFolderFormat : public FileFormat {
public:
    // engineType: the "Jet OLEDB:Engine Type" the folder answers (52 for "Paradox 5.x").
    explicit ParadoxFolderFormat(const QString& folder, int engineType = 0);

    QList<TableInfo> Tables() override;
    QStringList Aliases(const QString& table) const override;
    std::unique_ptr<FileTable> OpenTable(const QString& table) override;
    QVariant Property(const QString& name) const override;

private:
    QString m_folder;
    int m_engineType;
    QMap<QString, QString> m_files; // table name -> file name
};

} // namespace ado
