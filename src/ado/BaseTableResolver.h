#pragma once

#include "ado/RecordStore.h"

#include <QStringList>

namespace ado {

class Backend;

// Works out where the edits of a recordset go: the one base table its source reads, which
// result columns are plain columns of it, and how a row is found again: by its primary
// key, else by the backend's row id, else by every value when the source selects every
// column. Key columns or the row id the source does not select are read behind the
// user's back, at the end of its select list. A row that cannot be told apart for
// certain makes the source read-only, with the reason.
class BaseTableResolver {
public:
    // Reads the catalogue for the table of `nativeSql`, a statement in the backend's SQL.
    BaseTableResolver(const QString& nativeSql, Backend& backend);

    // The statement to run: the source with the hidden columns added.
    QString Sql() const;
    bool HasHidden() const { return !m_hidden.isEmpty(); }
    // Gives up the hidden columns, when the backend refused them (a view has no row id).
    void DropHidden();
    // Fills the store's columns and base-table information from the columns the
    // statement returned, hidden ones last.
    void Apply(RecordStore& store, const QVector<ColumnInfo>& described) const;

private:
    QString Qualifier() const;

    Backend& m_backend;
    QString m_sql;
    qsizetype m_insertAt = -1;
    QString m_table;
    QString m_schema;
    QString m_alias;
    bool m_selectsAll = false;
    QStringList m_selected;  // per select item: the table column it reads, or ""
    QVector<ColumnInfo> m_tableColumns;
    QStringList m_key;
    QStringList m_hidden; // base names of the hidden columns, the row id unquoted
    bool m_hiddenRowId = false;
    RowLocation m_location = RowLocation::ReadOnly;
    QString m_reason;
};

} // namespace ado
