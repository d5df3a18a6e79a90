#include "ado/JetTranslator.h"

#include "ado/SqlTokenizer.h"

#include <algorithm>
#include <optional>

namespace ado {

namespace {

// TOP n found right after SELECT [DISTINCT|ALL|DISTINCTROW].
struct TopClause {
    qsizetype first; // the TOP word
    qsizetype last;  // the count, or the ')' of TOP (n)
    QString count;
};

// One level where a SELECT ends: the statement, or a pair of parentheses.
struct Scope {
    QList<TopClause> tops;
    bool compound = false; // UNION, INTERSECT, EXCEPT or MINUS at this level
    bool limited = false;  // LIMIT, OFFSET or FETCH at this level
};

bool isLineBreakIn(const SqlToken& t)
{
    return t.text.contains(u'\n') || t.text.contains(u'\r');
}

// Finds every TOP clause and plans its removal and the LIMIT that replaces it.
class TopPlanner {
public:
    TopPlanner(const QList<SqlToken>& tokens, QList<bool>& removed, QStringList& appended)
        : m_t(tokens), m_removed(removed), m_appended(appended)
    {
    }

    void run()
    {
        QList<Scope> stack{Scope{}};
        qsizetype lastSig = -1;
        for (qsizetype i = 0; i < m_t.size(); ++i) {
            const SqlToken& t = m_t.at(i);
            if (!t.isSignificant())
                continue;
            if (t.isPunct(u'(')) {
                stack.append(Scope{});
            } else if (t.isPunct(u')')) {
                if (stack.size() > 1)
                    close(stack.takeLast(), lastSig);
            } else if (t.isPunct(u';')) {
                while (!stack.isEmpty())
                    close(stack.takeLast(), lastSig);
                stack.append(Scope{});
            } else if (t.isWord("SELECT")) {
                if (const auto top = topAfterSelect(i))
                    stack.last().tops.append(*top);
            } else if (t.isWord("UNION") || t.isWord("INTERSECT") || t.isWord("EXCEPT")
                       || t.isWord("MINUS")) {
                stack.last().compound = true;
            } else if (isLimitClause(i)) {
                stack.last().limited = true;
            }
            lastSig = i;
        }
        while (!stack.isEmpty())
            close(stack.takeLast(), lastSig);
    }

private:
    qsizetype nextSig(qsizetype i) const
    {
        for (++i; i < m_t.size(); ++i) {
            if (m_t.at(i).isSignificant())
                return i;
        }
        return -1;
    }

    bool sigIs(qsizetype i, auto&& pred) const { return i >= 0 && pred(m_t.at(i)); }

    bool isLimitClause(qsizetype i) const
    {
        const SqlToken& t = m_t.at(i);
        const qsizetype n = nextSig(i);
        // A column that happens to be called Limit is followed by neither form.
        if (t.isWord("LIMIT") || t.isWord("OFFSET")) {
            return sigIs(n, [](const SqlToken& x) {
                return x.kind == SqlToken::Number || x.kind == SqlToken::Parameter
                       || x.isPunct(u'(') || x.isWord("ALL");
            });
        }
        if (t.isWord("FETCH"))
            return sigIs(n, [](const SqlToken& x) { return x.isWord("FIRST") || x.isWord("NEXT"); });
        return false;
    }

    std::optional<TopClause> topAfterSelect(qsizetype select) const
    {
        auto is = [this](qsizetype i, auto&& pred) { return sigIs(i, pred); };
        qsizetype i = nextSig(select);
        if (is(i, [](const SqlToken& x) {
                return x.isWord("DISTINCT") || x.isWord("ALL") || x.isWord("DISTINCTROW");
            }))
            i = nextSig(i);
        if (!is(i, [](const SqlToken& x) { return x.isWord("TOP"); }))
            return std::nullopt;
        const qsizetype top = i;
        i = nextSig(i);
        const bool parenthesized = is(i, [](const SqlToken& x) { return x.isPunct(u'('); });
        if (parenthesized)
            i = nextSig(i);
        const auto isCount = [](const SqlToken& x) {
            return x.kind == SqlToken::Number
                   && std::all_of(x.text.cbegin(), x.text.cend(), [](QChar c) { return c.isDigit(); });
        };
        if (!is(i, isCount))
            return std::nullopt;
        const qsizetype count = i;
        if (parenthesized) {
            i = nextSig(i);
            if (!is(i, [](const SqlToken& x) { return x.isPunct(u')'); }))
                return std::nullopt;
        }
        if (is(nextSig(i), [](const SqlToken& x) { return x.isWord("PERCENT"); }))
            return std::nullopt;
        return TopClause{top, i, m_t.at(count).text};
    }

    void close(const Scope& scope, qsizetype lastSig)
    {
        if (scope.tops.size() != 1 || scope.compound || scope.limited || lastSig < 0)
            return;
        const TopClause& top = scope.tops.front();
        for (qsizetype i = top.first; i <= top.last; ++i) {
            if (m_t.at(i).kind != SqlToken::Comment)
                m_removed[i] = true;
        }
        dropOneSeparator(top);
        m_appended[lastSig] += QStringLiteral(" LIMIT ") + top.count;
    }

    // "SELECT TOP 5 *" keeps one of the two blanks around "TOP 5": the one before, unless
    // only the one after holds the line break the author put there.
    void dropOneSeparator(const TopClause& top)
    {
        const qsizetype before = top.first - 1;
        const qsizetype after = top.last + 1;
        const bool hasBefore = before >= 0 && m_t.at(before).kind == SqlToken::Space;
        const bool hasAfter = after < m_t.size() && m_t.at(after).kind == SqlToken::Space;
        if (!hasBefore || !hasAfter)
            return;
        if (isLineBreakIn(m_t.at(after)) && !isLineBreakIn(m_t.at(before)))
            m_removed[before] = true;
        else
            m_removed[after] = true;
    }

    const QList<SqlToken>& m_t;
    QList<bool>& m_removed;
    QStringList& m_appended;
};

} // namespace

QString JetTranslator::Translate(const QString& jetSql, const SqlDialect& dialect)
{
    const QList<SqlToken> tokens = SqlTokenizer::Tokenize(jetSql);
    QList<bool> removed(tokens.size(), false);
    QStringList appended(tokens.size());
    if (dialect.translateTop)
        TopPlanner(tokens, removed, appended).run();

    QString out;
    out.reserve(jetSql.size() + 16);
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const SqlToken& t = tokens.at(i);
        if (!removed.at(i)) {
            // An unterminated bracket stays as typed so the backend reports it.
            if (dialect.translateBrackets && t.kind == SqlToken::Bracketed && t.isClosedName())
                out += dialect.quoteIdentifier(t.name());
            else
                out += t.text;
        }
        out += appended.at(i);
    }
    return out;
}

} // namespace ado
