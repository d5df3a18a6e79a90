#pragma once

#include <QString>

namespace ado {

// Tells from a cell's number format whether its number is a date or time: Excel stores
// both as plain numbers and only the format says which.
class ExcelNumberFormat {
public:
    // id is the numFmtId; code the format code of a custom format (empty for a built-in).
    static bool IsDate(int id, const QString& code);
};

} // namespace ado
