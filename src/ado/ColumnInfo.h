#pragma once

#include <QString>

namespace ado {

// What a result column is, as the recordset and the grids need it.
struct ColumnInfo {
    QString name;
    int type = 202;            // ADO type code
    int definedSize = 0;       // characters or bytes; 0 when unknown
    int precision = 0;
    int scale = 0;
    bool nullable = true;
    bool autoIncrement = false;
    QString baseColumn;        // column of the base table it reads, empty for an expression
};

} // namespace ado
