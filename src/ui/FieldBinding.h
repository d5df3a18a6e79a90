#pragma once

#include <QObject>
#include <QPointer>
#include <QVariant>

class DataGrid;
namespace ado {
class Recordset;
}

// Keeps a control on one field of a recordset's current record, as a bound control follows
// its data source: the value is read again whenever the current record or its values
// change, and what the control holds is written into the record, which the recordset saves
// when it moves to another record.
class FieldBinding : public QObject {
    Q_OBJECT
public:
    explicit FieldBinding(QObject* parent = nullptr);

    // Binds to a field of an open recordset (not owned); 3265 when it has no such field.
    void Bind(ado::Recordset* dataSource, const QString& dataField);
    // The grid over the same recordset: on its new-row line there is no current record.
    void FollowGrid(DataGrid* grid);

    ado::Recordset* DataSource() const { return m_rs; }
    QString DataField() const { return m_field; }
    bool HasCurrentRecord() const;
    // The field's value in the current record; invalid when there is none.
    QVariant CurrentValue() const;

    // Writes into the current record, which is then being edited; nothing without one.
    void Write(const QVariant& value);

    // While suspended nothing is shown; resuming shows the current value again.
    void SetSuspended(bool suspended);
    void Refresh();

signals:
    void valueChanged(const QVariant& value, bool hasRecord);

private:
    void OnRowChanged(int position);

    QPointer<ado::Recordset> m_rs;
    QPointer<DataGrid> m_grid;
    QString m_field;
    bool m_suspended = false;
    bool m_writing = false;
};
