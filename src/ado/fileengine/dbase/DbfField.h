#pragma once

#include <QString>

namespace ado {

// One field descriptor of a DBF header, with its place in the record.
struct DbfField {
    QString name;      // as shown in SQL: decoded, made unique within the table
    char type = 'C';   // C N F D L M I B T Y V G P 0 + O @ ...
    int length = 0;
    int decimals = 0;
    int offset = 0;    // from the start of the record (byte 0 is the deletion flag)
    quint8 flags = 0;  // Visual FoxPro: 0x01 system, 0x02 nullable, 0x04 binary, 0x08 autoincrement
    int nullBit = -1;  // bit in _NullFlags telling the value is null
    int varBit = -1;   // bit in _NullFlags telling a V/Q field is shorter than its width
    int descriptorOffset = 0; // where the descriptor starts in the header

    bool IsSystem() const { return flags & 0x01; }
    bool IsAutoIncrement() const { return flags & 0x08; }
};

} // namespace ado
