#include "ado/fileengine/excel/ExcelNumberFormat.h"

namespace ado {

namespace {

bool IsBuiltInDate(int id)
{
    // 14-22 and 45-47 are the date and time formats of every locale; 27-36 and 50-58 the
    // East Asian ones.
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
}

bool IsElapsedTime(const QString& bracketed)
{
    const QString inner = bracketed.toLower();
    return !inner.isEmpty() && (inner.count(u'h') == inner.size() || inner.count(u'm') == inner.size() || inner.count(u's') == inner.size());
}

} // namespace

bool ExcelNumberFormat::IsDate(int id, const QString& code)
{
    if (IsBuiltInDate(id))
        return true;
    if (code.isEmpty())
        return false;
    // Only the format's own letters count: quoted text, escaped characters, fill and
    // padding characters and bracketed colours or locales say nothing about dates.
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (c == u'"') {
            const qsizetype end = code.indexOf(u'"', i + 1);
            if (end < 0)
                return false;
            i = end;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
        } else if (c == u'[') {
            const qsizetype end = code.indexOf(u']', i + 1);
            if (end < 0)
                return false;
            if (IsElapsedTime(code.mid(i + 1, end - i - 1)))
                return true;
            i = end;
        } else if (c == u';') {
            // The first section decides, as it formats the positive numbers dates are.
            return false;
        } else {
            const QChar lower = c.toLower();
            if (lower == u'y' || lower == u'm' || lower == u'd' || lower == u'h' || lower == u's')
                return true;
        }
    }
    return false;
}

} // namespace ado
