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
    // A bracketed or quoted name whose closing mark is there.
    bool isClosedName() const
    {
        if (kind != Bracketed && kind != QuotedName)
            return false;
        const QChar close = kind == Bracketed ? QChar(u']') : text.front();
        qsizetype marks = 0; // closing marks at the end; an odd run ends the name
        for (qsizetype i = text.size() - 1; i > 0 && text.at(i) == close; --i)
            ++marks;
        return text.size() >= 2 && marks % 2 == 1;
    }
    // The name a bracketed or quoted token stands for, doubled closing marks undoubled.
    QString name() const
    {
        if (kind != Bracketed && kind != QuotedName)
            return text;
        const QChar close = kind == Bracketed ? QChar(u']') : text.front();
        QString inner = text.mid(1, text.size() - (isClosedName() ? 2 : 1));
        return inner.replace(QString(2, close), QString(close));
    }
    // Writes a name in Jet's brackets, so that any character, "]" included, stays in it.
    static QString bracket(const QString& name)
    {
        QString doubled = name;
        doubled.replace(u']', QStringLiteral("]]"));
        return u'[' + doubled + u']';
    }
};

} // namespace ado
