#include "ui/FieldBinding.h"

#include "ado/Field.h"
#include "ado/Recordset.h"
#include "ui/DataGrid.h"
#include "ui/RecordsetModel.h"

#include <QItemSelectionModel>
#include <QScopedValueRollback>

FieldBinding::FieldBinding(QObject* parent) : QObject(parent) {}

void FieldBinding::Bind(ado::Recordset* dataSource, const QString& dataField)
{
    if (m_rs)
        disconnect(m_rs, nullptr, this, nullptr);
    m_rs = nullptr;
    m_field = dataField;
    if (dataSource)
        dataSource->Fields(dataField); // a field the source lacks fails here, not on every row
    m_rs = dataSource;
    if (m_rs) {
        connect(m_rs, &ado::Recordset::modelReset, this, &FieldBinding::Refresh);
        connect(m_rs, &ado::Recordset::rowsInserted, this, &FieldBinding::Refresh);
        connect(m_rs, &ado::Recordset::rowsRemoved, this, &FieldBinding::Refresh);
        connect(m_rs, &ado::Recordset::rowChanged, this, &FieldBinding::OnRowChanged);
        connect(m_rs, &QObject::destroyed, this, &FieldBinding::Refresh);
    }
    Refresh();
}

void FieldBinding::FollowGrid(DataGrid* grid)
{
    if (m_grid)
        disconnect(m_grid->selectionModel(), nullptr, this, nullptr);
    m_grid = grid;
    // Connected after the grid's own handler, which moves the recordset first.
    if (m_grid)
        connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &FieldBinding::Refresh);
    Refresh();
}

bool FieldBinding::HasCurrentRecord() const
{
    if (!m_rs || !m_rs->IsOpen() || m_rs->AbsolutePosition() < 1)
        return false;
    if (m_grid && m_grid->Model()->IsNewRowLine(m_grid->currentIndex().row()))
        return false;
    return true;
}

QVariant FieldBinding::CurrentValue() const
{
    if (!HasCurrentRecord())
        return {};
    return m_rs->Fields(m_field).Value();
}

void FieldBinding::Write(const QVariant& value)
{
    if (!HasCurrentRecord())
        return;
    // The recordset announces the change of its row; the control already shows it.
    const QScopedValueRollback<bool> writing(m_writing, true);
    m_rs->Fields(m_field).SetValue(value);
}

void FieldBinding::SetSuspended(bool suspended)
{
    m_suspended = suspended;
    if (!suspended)
        Refresh();
}

void FieldBinding::OnRowChanged(int position)
{
    if (m_rs && position == m_rs->AbsolutePosition() - 1)
        Refresh();
}

void FieldBinding::Refresh()
{
    if (m_suspended || m_writing)
        return;
    bool hasRecord = false;
    QVariant value;
    try {
        hasRecord = HasCurrentRecord();
        value = hasRecord ? CurrentValue() : QVariant();
    } catch (...) {
        // Called from the recordset's notifications, which must not throw: a record that
        // cannot be read shows as none.
        hasRecord = false;
        value = QVariant();
    }
    emit valueChanged(value, hasRecord);
}
