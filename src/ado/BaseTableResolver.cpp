#include "ado/BaseTableResolver.h"

#include "ado/AdoError.h"
#include "ado/Backend.h"
#include "ado/SelectAnalysis.h"

namespace ado {

void BaseTableResolver::Resolve(RecordStore& store, const QString& source, Backend& backend)
{
    const QVector<ColumnInfo> columns = store.columns;
    store.location = RowLocation::ReadOnly;
    const SelectAnalysis analysis = SelectAnalysis::Analyze(source);
    if (!analysis.singleTable) {
        store.readOnlyReason = QStringLiteral("The source does not read a single table.");
        return;
    }
    const QString table = analysis.schema.isEmpty() ? analysis.table : analysis.schema + u'.' + analysis.table;
    QVector<ColumnInfo> tableColumns;
    try {
        tableColumns = backend.TableColumns(table);
    } catch (const AdoError&) {
    }
    if (tableColumns.isEmpty()) {
        store.readOnlyReason = QStringLiteral("The table %1 cannot be found.").arg(table);
        return;
    }
    bool anyBase = false;
    for (int i = 0; i < columns.size(); ++i) {
        QString wanted;
        if (analysis.selectsAll)
            wanted = columns[i].name;
        else if (i < analysis.columns.size() && analysis.columnIsPlain.value(i))
            wanted = analysis.columns[i];
        for (const ColumnInfo& t : tableColumns) {
            if (!wanted.isEmpty() && t.name.compare(wanted, Qt::CaseInsensitive) == 0) {
                store.columns[i].baseColumn = t.name;
                store.columns[i].autoIncrement = store.columns[i].autoIncrement || t.autoIncrement;
                anyBase = true;
                break;
            }
        }
    }
    if (!anyBase) {
        store.readOnlyReason = QStringLiteral("No column of the table %1 is selected.").arg(table);
        return;
    }
    store.baseTable = analysis.table;
    store.baseSchema = analysis.schema;

    QStringList key;
    try {
        key = backend.PrimaryKey(table);
    } catch (const AdoError&) {
    }
    QVector<int> keyColumns;
    for (const QString& k : key) {
        for (int i = 0; i < columns.size(); ++i) {
            if (store.columns[i].baseColumn.compare(k, Qt::CaseInsensitive) == 0) {
                keyColumns << i;
                break;
            }
        }
    }
    if (!key.isEmpty() && keyColumns.size() == key.size()) {
        store.location = RowLocation::Key;
        store.keyColumns = keyColumns;
    } else if (!backend.RowIdColumn().isEmpty()) {
        store.location = RowLocation::RowId;
    } else {
        store.location = RowLocation::AllColumns;
    }
}

} // namespace ado
