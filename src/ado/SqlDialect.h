#pragma once

#include <QString>

namespace ado {

// What the Jet translation must know of a backend: how it quotes identifiers and which
// Jet forms it lacks.
struct SqlDialect {
    QChar openQuote = u'"', closeQuote = u'"';
    bool translateBrackets = true; // [name] -> quoted name
    bool translateTop = true;      // SELECT TOP n ... -> SELECT ... LIMIT n

    QString quoteIdentifier(const QString& name) const
    {
        QString doubled = name;
        doubled.replace(closeQuote, QString(2, closeQuote));
        return openQuote + doubled + closeQuote;
    }
};

} // namespace ado
