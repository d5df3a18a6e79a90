#include "ado/SelectAnalysis.h"

#include "ado/SqlTokenizer.h"

#include <algorithm>
#include <optional>

namespace ado {

namespace {

using Tokens = QList<SqlToken>;

bool isAnyWord(const SqlToken& t, std::initializer_list<const char*> words)
{
    return std::any_of(words.begin(), words.end(), [&t](const char* w) { return t.isWord(w); });
}

// Aggregates of Jet, SQLite, PostgreSQL and MySQL; one in the select list groups the rows.
bool isAggregate(const SqlToken& t)
{
    return isAnyWord(t, {"COUNT", "SUM", "AVG", "MIN", "MAX", "TOTAL", "GROUP_CONCAT",
                         "STRING_AGG", "ARRAY_AGG", "JSON_AGG", "JSONB_AGG", "JSON_GROUP_ARRAY",
                         "JSON_GROUP_OBJECT", "JSON_OBJECT_AGG", "XMLAGG", "BOOL_AND", "BOOL_OR",
                         "EVERY", "BIT_AND", "BIT_OR", "BIT_XOR", "STDEV", "STDEVP", "VAR", "VARP",
                         "STDDEV", "STDDEV_POP", "STDDEV_SAMP", "VARIANCE", "VAR_POP", "VAR_SAMP",
                         "FIRST", "LAST", "PERCENTILE_CONT", "PERCENTILE_DISC", "MODE"});
}

// Bare words that are values or operators, never a column or an alias.
bool isValueOrOperatorWord(const SqlToken& t)
{
    return isAnyWord(t, {"NULL", "TRUE", "FALSE", "DEFAULT", "CURRENT_DATE", "CURRENT_TIME",
                         "CURRENT_TIMESTAMP", "LOCALTIME", "LOCALTIMESTAMP", "CURRENT_USER",
                         "SESSION_USER", "END", "AND", "OR", "NOT", "IS", "IN", "LIKE", "ILIKE",
                         "GLOB", "REGEXP", "MATCH", "BETWEEN", "ESCAPE", "COLLATE", "CASE",
                         "WHEN", "THEN", "ELSE", "AS", "DISTINCT", "ALL", "FROM", "INTO"});
}

// Words that start the next clause after the table of FROM, so they are not its alias.
bool isClauseWord(const SqlToken& t)
{
    return isAnyWord(t, {"WHERE", "ORDER", "GROUP", "HAVING", "LIMIT", "OFFSET", "FETCH", "FOR",
                         "WINDOW", "UNION", "INTERSECT", "EXCEPT", "MINUS", "JOIN", "INNER",
                         "LEFT", "RIGHT", "FULL", "OUTER", "CROSS", "NATURAL", "STRAIGHT_JOIN",
                         "ON", "USING", "IN", "AS", "WITH", "LATERAL", "TABLESAMPLE"});
}

bool isName(const SqlToken& t)
{
    return t.kind == SqlToken::QuotedName || t.kind == SqlToken::Bracketed
           || (t.kind == SqlToken::Word && !isValueOrOperatorWord(t));
}

// The name a token stands for: brackets and quotes removed, doubled quotes undoubled.
QString nameOf(const SqlToken& t)
{
    return t.name();
}

// "a.b.c" as its parts, or nothing when the tokens are not exactly such a dotted name.
std::optional<QStringList> dottedName(const Tokens& t, qsizetype from, qsizetype to)
{
    QStringList parts;
    for (qsizetype i = from; i < to; i += 2) {
        if (!isName(t.at(i)))
            return std::nullopt;
        parts.append(nameOf(t.at(i)));
        if (i + 1 < to && !t.at(i + 1).isPunct(u'.'))
            return std::nullopt;
        if (i + 1 == to - 1)
            return std::nullopt; // trailing dot
    }
    if (parts.isEmpty())
        return std::nullopt;
    return parts;
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The analysis over the significant tokens of the first statement.
class Analyzer {
public:
    // `tokens`: the significant tokens of the first statement; `alone`: no statement follows.
    Analyzer(const QString& sql, Tokens tokens, bool alone)
        : m_sql(sql), m_t(std::move(tokens)), m_alone(alone)
    {
    }

    SelectAnalysis run()
    {
        SelectAnalysis r;
        if (m_t.isEmpty() || !m_t.front().isWord("SELECT"))
            return r;
        qsizetype p = 1;
        bool distinct = false;
        if (p < m_t.size() && (m_t.at(p).isWord("DISTINCT") || m_t.at(p).isWord("DISTINCTROW"))) {
            distinct = true;
            ++p;
        } else if (p < m_t.size() && m_t.at(p).isWord("ALL")) {
            ++p;
        }
        p = skipTop(p);

        const qsizetype from = findAtTop(p, [](const SqlToken& t) { return t.isWord("FROM"); });
        if (from < 0)
            return r;
        r.fromPos = m_t.at(from).pos;

        SelectAnalysis full = r;
        if (distinct || !m_alone || !readFrom(from + 1, full)
            || !readSelectList(p, from, full))
            return r;
        full.singleTable = true;
        return full;
    }

private:
    qsizetype skipTop(qsizetype p) const
    {
        if (p >= m_t.size() || !m_t.at(p).isWord("TOP"))
            return p;
        ++p;
        if (p < m_t.size() && m_t.at(p).isPunct(u'(')) {
            p = matchingClose(p) + 1;
        } else if (p < m_t.size()) {
            ++p;
        }
        if (p < m_t.size() && m_t.at(p).isWord("PERCENT"))
            ++p;
        return p;
    }

    // Index of the ')' closing the '(' at `open`, or the end.
    qsizetype matchingClose(qsizetype open) const
    {
        int depth = 0;
        for (qsizetype i = open; i < m_t.size(); ++i) {
            if (m_t.at(i).isPunct(u'('))
                ++depth;
            else if (m_t.at(i).isPunct(u')') && --depth == 0)
                return i;
        }
        return m_t.size();
    }

    // First token from `p` on, outside any parentheses, that matches.
    qsizetype findAtTop(qsizetype p, auto&& pred, qsizetype end = -1) const
    {
        if (end < 0)
            end = m_t.size();
        int depth = 0;
        for (qsizetype i = p; i < end; ++i) {
            const SqlToken& t = m_t.at(i);
            if (t.isPunct(u'('))
                ++depth;
            else if (t.isPunct(u')'))
                --depth;
            else if (depth == 0 && pred(t))
                return i;
        }
        return -1;
    }

    bool readFrom(qsizetype p, SelectAnalysis& r) const
    {
        // The table: names joined by dots.
        qsizetype q = p;
        while (q < m_t.size() && isName(m_t.at(q)) && !isClauseWord(m_t.at(q))) {
            ++q;
            if (q + 1 < m_t.size() && m_t.at(q).isPunct(u'.'))
                ++q;
            else
                break;
        }
        const auto parts = dottedName(m_t, p, q);
        if (!parts || parts->size() > 2)
            return false;
        r.table = parts->last();
        r.schema = parts->size() == 2 ? parts->first() : QString();

        if (q < m_t.size() && m_t.at(q).isWord("AS")) {
            if (++q >= m_t.size() || !isName(m_t.at(q)))
                return false;
            r.alias = nameOf(m_t.at(q++));
        } else if (q < m_t.size() && isName(m_t.at(q)) && !isClauseWord(m_t.at(q))) {
            r.alias = nameOf(m_t.at(q++));
        }

        if (q < m_t.size()
            && !isAnyWord(m_t.at(q), {"WHERE", "ORDER", "LIMIT", "OFFSET", "FETCH", "FOR"}))
            return false;
        return findAtTop(q, [](const SqlToken& t) {
                   return isAnyWord(t, {"GROUP", "HAVING", "UNION", "INTERSECT", "EXCEPT",
                                        "MINUS", "JOIN", "WINDOW"});
               }) < 0;
    }

    bool readSelectList(qsizetype p, qsizetype end, SelectAnalysis& r) const
    {
        if (findAtTop(p, [](const SqlToken& t) { return t.isWord("INTO"); }, end) >= 0)
            return false;
        if (hasAggregate(p, end))
            return false;
        QList<std::pair<qsizetype, qsizetype>> items;
        for (qsizetype start = p;;) {
            const qsizetype comma = findAtTop(start, [](const SqlToken& t) { return t.isPunct(u','); }, end);
            const qsizetype stop = comma < 0 ? end : comma;
            if (stop == start)
                return false;
            items.append({start, stop});
            if (comma < 0)
                break;
            start = comma + 1;
        }

        if (items.size() == 1 && isStar(items.front().first, items.front().second, r)) {
            r.selectsAll = true;
            return true;
        }
        for (const auto& [from, to] : items) {
            if (m_t.at(to - 1).isPunct(u'*'))
                return false; // a star among other items
            readItem(from, to, r);
        }
        return true;
    }

    bool matchesSource(const QStringList& qualifier, const SelectAnalysis& r) const
    {
        if (qualifier.size() == 1)
            return sameName(qualifier.front(), r.alias.isEmpty() ? r.table : r.alias);
        return qualifier.size() == 2 && r.alias.isEmpty() && sameName(qualifier.front(), r.schema)
               && sameName(qualifier.back(), r.table);
    }

    bool isStar(qsizetype from, qsizetype to, const SelectAnalysis& r) const
    {
        if (!m_t.at(to - 1).isPunct(u'*'))
            return false;
        if (to - from == 1)
            return true;
        const auto qualifier = dottedName(m_t, from, to - 2);
        return m_t.at(to - 2).isPunct(u'.') && qualifier && matchesSource(*qualifier, r);
    }

    // A plain (optionally qualified) column with an optional alias, or an expression.
    void readItem(qsizetype from, qsizetype to, SelectAnalysis& r) const
    {
        QString alias;
        qsizetype exprEnd = to;
        if (to - from >= 2 && isName(m_t.at(to - 1))) {
            const SqlToken& before = m_t.at(to - 2);
            if (before.isWord("AS")) {
                alias = nameOf(m_t.at(to - 1));
                exprEnd = to - 2;
            } else if (endsOperand(before)) {
                alias = nameOf(m_t.at(to - 1));
                exprEnd = to - 1;
            }
        }
        const auto parts = dottedName(m_t, from, exprEnd);
        const bool plain = parts && parts->size() <= 3
                           && (parts->size() == 1 || matchesSource(parts->mid(0, parts->size() - 1), r));
        r.columns.append(plain ? parts->last() : QString());
        r.columnIsPlain.append(plain);
        if (!alias.isEmpty())
            r.outputNames.append(alias);
        else if (plain)
            r.outputNames.append(parts->last());
        else
            r.outputNames.append(textOf(from, exprEnd));
    }

    // A token after which a bare name can only be an alias.
    static bool endsOperand(const SqlToken& t)
    {
        switch (t.kind) {
        case SqlToken::Word:
            return !isValueOrOperatorWord(t) || t.isWord("END") || t.isWord("NULL")
                   || t.isWord("TRUE") || t.isWord("FALSE");
        case SqlToken::Punct:
            return t.isPunct(u')');
        case SqlToken::Number:
        case SqlToken::String:
        case SqlToken::QuotedName:
        case SqlToken::Bracketed:
        case SqlToken::Parameter:
            return true;
        default:
            return false;
        }
    }

    // An aggregate call outside any sub-select of the select list.
    bool hasAggregate(qsizetype from, qsizetype to) const
    {
        QList<bool> subSelect; // one entry per open parenthesis
        for (qsizetype i = from; i < to; ++i) {
            const SqlToken& t = m_t.at(i);
            if (t.isPunct(u'(')) {
                const bool sub = i + 1 < to && (m_t.at(i + 1).isWord("SELECT") || m_t.at(i + 1).isWord("WITH"));
                subSelect.append(sub || (!subSelect.isEmpty() && subSelect.last()));
            } else if (t.isPunct(u')')) {
                if (!subSelect.isEmpty())
                    subSelect.removeLast();
            } else if (isAggregate(t) && i + 1 < to && m_t.at(i + 1).isPunct(u'(')
                       && (subSelect.isEmpty() || !subSelect.last())) {
                return true;
            }
        }
        return false;
    }

    QString textOf(qsizetype from, qsizetype to) const
    {
        const SqlToken& last = m_t.at(to - 1);
        const qsizetype start = m_t.at(from).pos;
        return m_sql.mid(start, last.pos + last.text.size() - start);
    }

    const QString& m_sql;
    const Tokens m_t;
    const bool m_alone;
};

} // namespace

SelectAnalysis SelectAnalysis::Analyze(const QString& sql)
{
    Tokens significant;
    bool secondStatement = false;
    bool ended = false;
    int depth = 0;
    for (const SqlToken& t : SqlTokenizer::Tokenize(sql)) {
        if (!t.isSignificant())
            continue;
        if (ended) {
            secondStatement = secondStatement || !t.isPunct(u';');
            continue;
        }
        if (t.isPunct(u'('))
            ++depth;
        else if (t.isPunct(u')'))
            --depth;
        if (depth <= 0 && t.isPunct(u';'))
            ended = true;
        else
            significant.append(t);
    }
    return Analyzer(sql, std::move(significant), !secondStatement).run();
}

} // namespace ado
