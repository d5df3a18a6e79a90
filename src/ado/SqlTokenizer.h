#pragma once

#include "ado/SqlToken.h"

#include <QList>

namespace ado {

// Splits SQL text into tokens for the Jet translation and the source analysis.
// It knows the lexical forms of Jet, SQLite, PostgreSQL and MySQL well enough to never
// mistake the inside of a literal, a quoted name or a comment for SQL. It does not
// validate: an unterminated literal, name or comment runs to the end of the text, and
// the backend reports the error when the statement runs.
class SqlTokenizer {
public:
    static QList<SqlToken> Tokenize(const QString& sql);
};

} // namespace ado
