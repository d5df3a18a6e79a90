#pragma once

#include <QMetaType>
#include <QString>
#include <QVariant>

namespace ado {

// ADO data type codes and the mappings from each backend's own type names.
namespace AdoType {
enum : int {
    Empty = 0,
    SmallInt = 2,
    Integer = 3,
    Single = 4,
    Double = 5,
    Currency = 6,
    Date = 7,
    Boolean = 11,
    TinyInt = 16,
    UnsignedTinyInt = 17,
    BigInt = 20,
    Guid = 72,
    Binary = 128,
    Char = 129,
    WChar = 130,
    Numeric = 131,
    DBDate = 133,
    DBTime = 134,
    DBTimeStamp = 135,
    VarChar = 200,
    LongVarChar = 201,
    VarWChar = 202,
    LongVarWChar = 203,
    VarBinary = 204,
    LongVarBinary = 205,
};

// From a declared SQL type such as "VARCHAR(40)", "NUMERIC(10,2)", "int8", "timestamp".
int FromDeclaredType(const QString& declared);
// From a PostgreSQL type OID.
int FromPostgresOid(int oid);
// From an ODBC SQL data type code.
int FromOdbcSqlType(int sqlType);
// Last resort, from the Qt type of the values.
int FromMetaType(QMetaType type);

bool IsText(int type);
bool IsInteger(int type);
bool IsNumeric(int type);
bool IsDateTime(int type);
bool IsBinary(int type);

// Exact decimal text ("-12.50" with a '.' point) for text that is a plain decimal number,
// in the C form or, when `regional`, the user's; empty for anything else.
QString DecimalText(const QString& text, bool regional = false);

// The value in the Qt type that belongs to the ADO type; an exact decimal (Numeric)
// read as text or as an integer stays decimal text, so that no digit is lost (dates as QDate/QDateTime...);
// a Null is an invalid QVariant. Text that cannot be read as the type stays text.
QVariant Normalize(const QVariant& value, int type);
// The value converted for writing into a column of that type; throws on a mismatch.
QVariant Coerce(const QVariant& value, int type);
} // namespace AdoType

} // namespace ado
