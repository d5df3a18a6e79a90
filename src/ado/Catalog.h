#pragma once

#include "ado/TableInfo.h"

#include <QList>

namespace ado {

class Connection;

// Lists the tables of the connection it is bound to.
class Catalog {
public:
    void SetActiveConnection(Connection* connection) { m_connection = connection; }
    Connection* ActiveConnection() const { return m_connection; }
    // Throws 3704 when unbound or the connection is closed.
    QList<TableInfo> Tables() const;

private:
    Connection* m_connection = nullptr;
};

} // namespace ado
