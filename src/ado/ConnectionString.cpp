#include "ado/ConnectionString.h"

#include <QStringList>

namespace ado {

ConnectionString ConnectionString::Parse(const QString& text)
{
    ConnectionString cs;
    cs.m_text = text;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        // Key: up to "=" or a separator (a pair without "=" is ignored).
        qsizetype keyStart = i;
        while (i < n && text[i] != u'=' && text[i] != u';' && text[i] != u'\n')
            ++i;
        const QString key = text.mid(keyStart, i - keyStart).trimmed();
        if (i >= n || text[i] != u'=') {
            ++i;
            continue;
        }
        ++i; // "="
        while (i < n && (text[i] == u' ' || text[i] == u'\t'))
            ++i;
        QString value;
        if (i < n && (text[i] == u'"' || text[i] == u'\'')) {
            const QChar quote = text[i++];
            while (i < n) {
                if (text[i] == quote) {
                    if (i + 1 < n && text[i + 1] == quote) { // doubled quote inside
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text[i++];
            }
            while (i < n && text[i] != u';' && text[i] != u'\n')
                ++i;
        } else if (i < n && text[i] == u'{') {
            // ODBC braces keep separators inside and stay part of the value.
            qsizetype valueStart = i;
            while (i < n && text[i] != u'}')
                ++i;
            if (i < n)
                ++i;
            value = text.mid(valueStart, i - valueStart);
            while (i < n && text[i] != u';' && text[i] != u'\n')
                ++i;
        } else {
            qsizetype valueStart = i;
            while (i < n && text[i] != u';' && text[i] != u'\n')
                ++i;
            value = text.mid(valueStart, i - valueStart).trimmed();
        }
        if (!key.isEmpty())
            cs.m_pairs.append({key, value});
        ++i; // separator
    }
    return cs;
}

bool ConnectionString::Contains(const QString& key) const
{
    for (const auto& p : m_pairs)
        if (p.first.compare(key, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString ConnectionString::Value(const QString& key, const QString& defaultValue) const
{
    for (const auto& p : m_pairs)
        if (p.first.compare(key, Qt::CaseInsensitive) == 0)
            return p.second;
    return defaultValue;
}

QString ConnectionString::FirstOf(std::initializer_list<const char*> keys) const
{
    for (const char* key : keys) {
        const QString v = Value(QString::fromLatin1(key));
        if (!v.isEmpty())
            return v;
    }
    return {};
}

QString ConnectionString::Without(const QStringList& keys) const
{
    QStringList parts;
    for (const auto& p : m_pairs) {
        if (keys.contains(p.first, Qt::CaseInsensitive))
            continue;
        // An ODBC brace group stays as it is: the driver reads it. Any other value goes as
        // QuoteValue writes it, so that one that came quoted and starts with a brace or a
        // quote is not taken for something else.
        const QString& v = p.second;
        const bool braceGroup = v.startsWith(u'{') && v.endsWith(u'}') && v.indexOf(u'}') == v.size() - 1;
        parts << p.first + u'=' + (braceGroup ? v : QuoteValue(v));
    }
    return parts.join(u';');
}

QString ConnectionString::QuoteValue(const QString& value)
{
    const bool plain = !value.contains(u';') && !value.contains(u'\n') && !value.contains(u'"')
        && !value.startsWith(u'\'') && !value.startsWith(u'{') && value == value.trimmed();
    if (plain)
        return value;
    return u'"' + QString(value).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

} // namespace ado
