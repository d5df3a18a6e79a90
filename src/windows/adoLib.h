#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>

namespace ado {
class Connection;
class Recordset;
}

// How every grid and import recordset is created, and how statements without rows run.
namespace adoLib {

// An unopened recordset; a client-side one (3) identifies rows by key for updates and
// does not re-read a row after writing it.
std::unique_ptr<ado::Recordset> NewRecordset(qint32 cursorLocation);

// Runs a statement that returns no rows and gives the affected-record count. A timeout of
// 0 or more applies to this statement only; a negative one keeps the connection's own.
qint32 ExecuteSql(QString statement, ado::Connection& cnx, qint16 timeout);

} // namespace adoLib
