#pragma once

#include "ado/SqlDialect.h"

#include <QString>

namespace ado {

// Rewrites the Jet forms the program writes (and users type) for a backend that lacks
// them: [name] becomes the backend's quoted identifier, and SELECT TOP n becomes a
// LIMIT n at the end of that SELECT. Literals, quoted names, comments and spacing are
// copied unchanged.
//
// TOP is left as written, for the backend to reject, where no LIMIT has the same meaning
// on every backend: TOP n PERCENT, a SELECT that already has LIMIT, OFFSET or FETCH, and
// a member of a UNION, INTERSECT or EXCEPT at the same level (a trailing LIMIT would
// limit the whole compound instead of the one member).
class JetTranslator {
public:
    static QString Translate(const QString& jetSql, const SqlDialect& dialect);
};

} // namespace ado
