#pragma once

#include <QString>
#include <QVariant>
#include <QVector>

namespace ado {
class Connection;
}

namespace testsupport {

// Every row of a query on cnx, each as its values in field order.
QVector<QVector<QVariant>> ReadRows(ado::Connection& cnx, const QString& sql);

} // namespace testsupport
