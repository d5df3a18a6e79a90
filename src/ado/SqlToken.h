#pragma once

#include <QString>

namespace ado {

// One lexical piece of a statement. The texts of all tokens, in order, give back the
// statement exactly, so a rewrite can copy every token it does not touch.
struct SqlToken {
    enum Kind { Word, Number, String, QuotedName, Bracketed, Punct, Space, Comment, Parameter };

    Kind kind;
    QString text;
    qsizetype pos; // offset of the first character in the statement

    // Spaces and comments separate the tokens that carry meaning.
    bool isSignificant() const { return kind != Space && kind != Comment; }
    // Case-insensitive match of a keyword against a bare word; quoted names never match.
    bool isWord(const char* keyword) const
    {
        return kind == Word && text.compare(QLatin1StringView(keyword), Qt::CaseInsensitive) == 0;
    }
    bool isPunct(QChar c) const { return kind == Punct && text.size() == 1 && text.front() == c; }
};

} // namespace ado
