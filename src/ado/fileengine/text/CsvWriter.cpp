#include "ado/fileengine/text/CsvWriter.h"

#include "ado/AdoError.h"

namespace ado {

bool CsvWriter::NeedsQuotes(const QString& text) const
{
    if (text.isEmpty() || text.front().isSpace() || text.back().isSpace())
        return true;
    for (const QChar c : text)
        if (c == m_delimiter || c == u'\n' || c == u'\r' || (!m_quote.isNull() && c == m_quote))
            return true;
    return false;
}

QString CsvWriter::FormatField(const QVariant& field) const
{
    if (!field.isValid() || field.isNull())
        return {};
    const QString text = field.toString();
    if (!NeedsQuotes(text))
        return text;
    if (m_quote.isNull())
        throw AdoError(err::Unspecified, QStringLiteral("The value '%1' cannot be written: the file has no text delimiter "
                                                        "to enclose it in.")
                                             .arg(text.left(80)));
    return m_quote + QString(text).replace(m_quote, QString(2, m_quote)) + m_quote;
}

QString CsvWriter::FormatLine(const QList<QVariant>& fields) const
{
    QString line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += m_delimiter;
        line += FormatField(fields[i]);
    }
    return line;
}

} // namespace ado
