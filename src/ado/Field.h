#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace ado {

class Recordset;

// One field of the current record of a recordset; a light handle, valid while the
// recordset is open.
class Field {
public:
    Field(Recordset* recordset, int index) : m_rs(recordset), m_index(index) {}

    int Index() const { return m_index; }
    QString Name() const;
    int Type() const;          // ADO type code
    int DefinedSize() const;
    qint64 ActualSize() const;
    QString BaseColumnName() const;

    QVariant Value() const;
    void SetValue(const QVariant& value);
    // Appends bytes (or text) to a long field; the first call in an edit replaces the value.
    void AppendChunk(const QVariant& data);

private:
    Recordset* m_rs;
    int m_index;
};

} // namespace ado
