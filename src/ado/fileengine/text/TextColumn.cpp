#include "ado/fileengine/text/TextColumn.h"

namespace ado {

QString TextColumn::DeclaredType() const
{
    switch (kind) {
    case TextColumnKind::Text: return QStringLiteral("VARCHAR(%1)").arg(width);
    case TextColumnKind::Memo: return QStringLiteral("MEMO");
    case TextColumnKind::Bit: return QStringLiteral("BOOLEAN");
    case TextColumnKind::Byte: return QStringLiteral("TINYINT");
    case TextColumnKind::Short: return QStringLiteral("SMALLINT");
    case TextColumnKind::Long: return QStringLiteral("INTEGER");
    case TextColumnKind::BigInt: return QStringLiteral("BIGINT");
    case TextColumnKind::Currency: return QStringLiteral("CURRENCY");
    case TextColumnKind::Single: return QStringLiteral("FLOAT4");
    case TextColumnKind::Double: return QStringLiteral("DOUBLE");
    case TextColumnKind::Date: return QStringLiteral("DATE");
    case TextColumnKind::DateTime: return QStringLiteral("DATETIME");
    }
    return QStringLiteral("VARCHAR(255)");
}

} // namespace ado
