#pragma once

#include <QList>
#include <QString>
#include <QVariant>

namespace ado {

// Writes one record of delimited text: a field is quoted when it holds the separator, the
// quote, a line break, leading or trailing blanks, or is an empty text (so that it reads back
// as empty, not null); quotes inside are doubled. A null field is written empty.
class CsvWriter {
public:
    CsvWriter(QChar delimiter, QChar textDelimiter) : m_delimiter(delimiter), m_quote(textDelimiter) {}

    // Throws AdoError when a field needs quotes and the file has no text delimiter.
    QString FormatLine(const QList<QVariant>& fields) const;
    QString FormatField(const QVariant& field) const;

private:
    bool NeedsQuotes(const QString& text) const;

    QChar m_delimiter;
    QChar m_quote;
};

} // namespace ado
