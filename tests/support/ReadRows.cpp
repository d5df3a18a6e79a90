#include "ReadRows.h"

#include "ado/Field.h"
#include "ado/Recordset.h"

namespace testsupport {

QVector<QVector<QVariant>> ReadRows(ado::Connection& cnx, const QString& sql)
{
    ado::Recordset rs;
    rs.Open(sql, &cnx);
    rs.FinishFetch();
    QVector<QVector<QVariant>> rows;
    for (; !rs.Eof(); rs.MoveNext()) {
        QVector<QVariant> row;
        for (int i = 0; i < rs.FieldCount(); ++i)
            row.append(rs.Fields(i).Value());
        rows.append(row);
    }
    return rows;
}

} // namespace testsupport
