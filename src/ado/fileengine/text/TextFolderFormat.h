#pragma once

#include "ado/fileengine/FileFormat.h"
#include "ado/fileengine/text/SchemaIni.h"

namespace ado {

// A folder of delimited text files described by its Schema.ini. Its tables are the files
// that have a section there, and the files with the text driver's default extensions
// (txt, csv, tab, asc, prn). A table is named after its file with the extension
// ("clients.csv"); Jet's form "clients#csv" names it too.
class TextFolderFormat : public FileFormat {
public:
    explicit TextFolderFormat(QString folder);

    QList<TableInfo> Tables() override;
    QStringList Aliases(const QString& table) const override;
    std::unique_ptr<FileTable> OpenTable(const QString& table) override;
    QVariant Property(const QString& name) const override;

private:
    QStringList FileNames() const;
    QString FindFile(const QString& table) const;

    QString m_folder;
    SchemaIni m_schema;
};

} // namespace ado
