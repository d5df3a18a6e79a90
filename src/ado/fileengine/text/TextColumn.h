#pragma once

#include <QString>

namespace ado {

// The value kinds a text column can hold: the types a Schema.ini column definition names,
// plus what guessing from the rows can give (BigInt and Date only come from guessing).
enum class TextColumnKind { Text, Memo, Bit, Byte, Short, Long, BigInt, Currency, Single, Double, Date, DateTime };

// One column of a delimited text table.
struct TextColumn {
    QString name;
    TextColumnKind kind = TextColumnKind::Text;
    int width = 255;         // for Text only
    bool fixedWidth = false; // a width from Schema.ini is enforced on INSERT

    // The SQL type shown to the engine, chosen so that it maps to the right ADO type code.
    QString DeclaredType() const;
    bool IsText() const { return kind == TextColumnKind::Text || kind == TextColumnKind::Memo; }
};

} // namespace ado
