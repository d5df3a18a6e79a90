#include "ado/BaseTableResolver.h"

#include "ado/AdoError.h"
#include "ado/Backend.h"
#include "ado/SelectAnalysis.h"

namespace ado {

namespace {

bool SameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

BaseTableResolver::BaseTableResolver(const QString& nativeSql, Backend& backend) : m_backend(backend), m_sql(nativeSql)
{
    const SelectAnalysis analysis = SelectAnalysis::Analyze(nativeSql);
    if (!analysis.singleTable) {
        m_reason = QStringLiteral("The source does not read a single table.");
        return;
    }
    m_table = analysis.table;
    m_schema = analysis.schema;
    m_alias = analysis.alias;
    m_selectsAll = analysis.selectsAll;
    m_insertAt = analysis.fromPos;
    const QString table = m_schema.isEmpty() ? m_table : m_schema + u'.' + m_table;
    try {
        m_tableColumns = backend.TableColumns(table);
    } catch (const AdoError&) {
    }
    if (m_tableColumns.isEmpty()) {
        m_reason = QStringLiteral("The table %1 cannot be found.").arg(table);
        return;
    }
    for (int i = 0; i < analysis.columns.size(); ++i) {
        QString base;
        if (analysis.columnIsPlain.value(i))
            for (const ColumnInfo& t : m_tableColumns)
                if (SameName(t.name, analysis.columns[i]))
                    base = t.name;
        m_selected << base;
    }
    const auto isSelected = [this](const QString& column) {
        if (m_selectsAll)
            return true;
        for (const QString& s : m_selected)
            if (SameName(s, column))
                return true;
        return false;
    };
    try {
        m_key = backend.PrimaryKey(table);
    } catch (const AdoError&) {
    }
    if (!m_key.isEmpty()) {
        m_location = RowLocation::Key;
        for (const QString& k : m_key)
            if (!isSelected(k))
                m_hidden << k;
        return;
    }
    QString rowId;
    try {
        rowId = backend.RowIdColumnOf(table);
    } catch (const AdoError&) {
    }
    if (!rowId.isEmpty()) {
        m_location = RowLocation::RowId;
        m_hidden << backend.RowIdColumn();
        m_hiddenRowId = true;
        return;
    }
    DropHidden();
}

void BaseTableResolver::DropHidden()
{
    m_hidden.clear();
    m_hiddenRowId = false;
    if (m_tableColumns.isEmpty())
        return;
    bool all = true;
    for (const ColumnInfo& t : m_tableColumns)
        all = all && (m_selectsAll || m_selected.contains(t.name, Qt::CaseInsensitive));
    if (m_location == RowLocation::Key) {
        for (const QString& k : m_key)
            all = all && (m_selectsAll || m_selected.contains(k, Qt::CaseInsensitive));
    }
    if (m_location == RowLocation::Key && all)
        return;
    m_location = all ? RowLocation::AllColumns : RowLocation::ReadOnly;
    if (!all)
        m_reason = QStringLiteral("The rows of the table %1 cannot be told apart without its key or every one of its columns.")
                       .arg(m_table);
}

QString BaseTableResolver::Qualifier() const
{
    const SqlDialect d = m_backend.Dialect();
    if (!m_alias.isEmpty())
        return d.quoteIdentifier(m_alias);
    return m_schema.isEmpty() ? d.quoteIdentifier(m_table) : d.quoteIdentifier(m_schema) + u'.' + d.quoteIdentifier(m_table);
}

QString BaseTableResolver::Sql() const
{
    if (m_hidden.isEmpty() || m_insertAt < 0)
        return m_sql;
    QString terms;
    const QString qualifier = Qualifier();
    for (const QString& h : m_hidden) {
        const bool rowId = m_hiddenRowId && h == m_backend.RowIdColumn();
        terms += QStringLiteral(", ") + qualifier + u'.' + (rowId ? h : m_backend.Dialect().quoteIdentifier(h));
    }
    // Before FROM, the end of the outermost select list; the space keeps "x,FROM" apart.
    QString sql = m_sql;
    sql.insert(m_insertAt, terms + u' ');
    return sql;
}

void BaseTableResolver::Apply(RecordStore& store, const QVector<ColumnInfo>& described) const
{
    const int visible = int(described.size() - m_hidden.size());
    store.columns = described.mid(0, visible);
    store.hidden.clear();
    for (int j = 0; j < m_hidden.size(); ++j) {
        ColumnInfo c = described.value(visible + j);
        c.baseColumn = m_hidden[j];
        store.hidden << c;
    }
    store.location = RowLocation::ReadOnly;
    store.readOnlyReason = m_reason;
    store.keyColumns.clear();
    store.rowIdColumn = -1;
    if (m_location == RowLocation::ReadOnly && m_tableColumns.isEmpty())
        return;

    bool anyBase = false;
    for (int i = 0; i < visible; ++i) {
        const QString wanted = m_selectsAll ? store.columns[i].name : m_selected.value(i);
        for (const ColumnInfo& t : m_tableColumns) {
            if (!wanted.isEmpty() && SameName(t.name, wanted)) {
                store.columns[i].baseColumn = t.name;
                store.columns[i].autoIncrement = store.columns[i].autoIncrement || t.autoIncrement;
                anyBase = true;
                break;
            }
        }
    }
    if (!anyBase) {
        store.readOnlyReason = QStringLiteral("No column of the table %1 is selected.").arg(m_table);
        return;
    }
    store.baseTable = m_table;
    store.baseSchema = m_schema;
    if (m_location == RowLocation::ReadOnly)
        return;

    const auto indexOf = [&store](const QString& base) {
        for (int i = 0; i < store.Width(); ++i)
            if (SameName(store.Column(i).baseColumn, base))
                return i;
        return -1;
    };
    if (m_location == RowLocation::Key) {
        for (const QString& k : m_key) {
            const int i = indexOf(k);
            if (i < 0) {
                store.readOnlyReason = QStringLiteral("The key column %1 is not read.").arg(k);
                return;
            }
            store.keyColumns << i;
        }
    } else if (m_location == RowLocation::RowId) {
        store.rowIdColumn = store.Width() - 1;
        store.keyColumns << store.rowIdColumn;
    }
    store.location = m_location;
}

} // namespace ado
