#include "ado/fileengine/text/TextTypeGuesser.h"

#include <limits>

namespace ado {

namespace {

bool HasLeadingZero(QStringView text)
{
    text = text.trimmed();
    if (!text.isEmpty() && (text[0] == u'-' || text[0] == u'+'))
        text = text.mid(1);
    return text.size() > 1 && text[0] == u'0' && text[1] >= u'0' && text[1] <= u'9';
}

} // namespace

void TextTypeGuesser::Add(const QStringList& fields)
{
    ++m_rows;
    if (fields.size() > m_columns.size())
        m_columns.resize(fields.size());
    for (qsizetype i = 0; i < fields.size(); ++i)
        Add(m_columns[i], fields[i]);
}

void TextTypeGuesser::Add(State& s, const QString& field) const
{
    s.maxLength = qMax(s.maxLength, field.size());
    if (field.isEmpty())
        return;
    s.seen = true;
    if (s.isBigInt || s.isDouble) {
        const bool leadingZero = HasLeadingZero(field);
        qint64 i = 0;
        if (s.isBigInt && (leadingZero || !m_codec.ParseInteger(field, &i)))
            s.isBigInt = s.isLong = false;
        if (s.isLong && (i < std::numeric_limits<qint32>::min() || i > std::numeric_limits<qint32>::max()))
            s.isLong = false;
        double d = 0;
        if (s.isDouble && (leadingZero || !m_codec.ParseNumber(field, &d)))
            s.isDouble = false;
    }
    if (s.isDate) {
        QDateTime dt;
        bool hasTime = false;
        if (TextValueCodec::ParseDateTime(field, &dt, &hasTime))
            s.hasTime = s.hasTime || hasTime;
        else
            s.isDate = false;
    }
    if (s.isBool) {
        const QString lower = field.trimmed().toLower();
        s.isBool = lower == u"true" || lower == u"false";
    }
}

TextColumn TextTypeGuesser::Column(int index) const
{
    TextColumn column;
    if (index < 0 || index >= m_columns.size())
        return column;
    const State& s = m_columns[index];
    if (!s.seen)
        column.kind = TextColumnKind::Text;
    else if (s.isBool)
        column.kind = TextColumnKind::Bit;
    else if (s.isLong)
        column.kind = TextColumnKind::Long;
    else if (s.isBigInt)
        column.kind = TextColumnKind::BigInt;
    else if (s.isDouble)
        column.kind = TextColumnKind::Double;
    else if (s.isDate)
        column.kind = s.hasTime ? TextColumnKind::DateTime : TextColumnKind::Date;
    else
        column.kind = s.maxLength > 255 ? TextColumnKind::Memo : TextColumnKind::Text;
    return column;
}

} // namespace ado
