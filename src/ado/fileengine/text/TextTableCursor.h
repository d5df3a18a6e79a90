#pragma once

#include "ado/fileengine/FileTable.h"

#include <QFile>
#include <QList>
#include <QStringList>

namespace ado {

class CsvReader;
class TextTable;

// Reads the records of a text table; fields are converted only when asked for, so that
// counting rows costs no conversions.
class TextTableCursor : public FileTableCursor {
public:
    explicit TextTableCursor(const TextTable& table);
    ~TextTableCursor() override;

    bool Next() override;
    qint64 RowId() const override { return m_rowId; }
    QVariant Value(int column) const override;
    void Put(int column, FileValueSink& sink) const override;

private:
    const TextTable& m_table;
    QFile m_file;
    std::unique_ptr<CsvReader> m_reader;
    QStringList m_fields;
    QList<bool> m_quoted;
    qint64 m_rowId = 0;
};

} // namespace ado
