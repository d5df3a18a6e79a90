#include "ado/providers/SqliteValue.h"

#include <sqlite3.h>

namespace ado {

SqliteValue SqliteValue::Of(sqlite3_value* value)
{
    SqliteValue v;
    v.storage = sqlite3_value_type(value);
    switch (v.storage) {
    case SQLITE_INTEGER:
        v.integer = sqlite3_value_int64(value);
        break;
    case SQLITE_FLOAT:
        v.real = sqlite3_value_double(value);
        break;
    case SQLITE_TEXT:
        v.data = reinterpret_cast<const char*>(sqlite3_value_text(value));
        v.size = sqlite3_value_bytes(value);
        break;
    case SQLITE_BLOB:
        v.data = static_cast<const char*>(sqlite3_value_blob(value));
        v.size = sqlite3_value_bytes(value);
        break;
    default:
        break;
    }
    return v;
}

QVariant SqliteValue::ToVariant() const
{
    switch (storage) {
    case SQLITE_INTEGER:
        return integer;
    case SQLITE_FLOAT:
        return real;
    case SQLITE_TEXT:
        return QString::fromUtf8(data, size);
    case SQLITE_BLOB:
        return QByteArray(data, size);
    default:
        return {};
    }
}

} // namespace ado
