#pragma once

#include <QList>
#include <QPair>
#include <QString>

namespace ado {

// "key = value" pairs separated by ";" or line feeds. Keys are trimmed and compared
// without regard to case; a value may be quoted with " or ' so that it can hold ";".
class ConnectionString {
public:
    ConnectionString() = default;
    static ConnectionString Parse(const QString& text);

    bool Contains(const QString& key) const;
    // The value of the first pair with that key, or defaultValue.
    QString Value(const QString& key, const QString& defaultValue = {}) const;
    // The first non-empty value among several synonymous keys.
    QString FirstOf(std::initializer_list<const char*> keys) const;
    const QList<QPair<QString, QString>>& Pairs() const { return m_pairs; }
    // The pairs except those named, joined back with ";" (values re-quoted when needed).
    QString Without(const QStringList& keys) const;
    const QString& Text() const { return m_text; }
    // A value as it must be written so that Parse gives it back whole: plain when it holds
    // nothing the reader would cut or alter (";", a line feed, a leading quote or brace,
    // blanks at either end), else quoted with doubled quotes.
    static QString QuoteValue(const QString& value);

private:
    QString m_text;
    QList<QPair<QString, QString>> m_pairs;
};

} // namespace ado
