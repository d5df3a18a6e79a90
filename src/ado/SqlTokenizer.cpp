#include "ado/SqlTokenizer.h"

namespace ado {

namespace {

bool isWordStart(QChar c)
{
    return c.isLetter() || c == u'_';
}

bool isWordPart(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Reads the text one token at a time; every scan function returns the end of its token.
class Scanner {
public:
    explicit Scanner(const QString& sql) : m_s(sql), m_n(sql.size()) {}

    QList<SqlToken> run()
    {
        QList<SqlToken> tokens;
        qsizetype i = 0;
        while (i < m_n) {
            SqlToken::Kind kind = SqlToken::Punct;
            const qsizetype end = scan(i, kind);
            tokens.append({kind, m_s.mid(i, end - i), i});
            i = end;
        }
        return tokens;
    }

private:
    QChar at(qsizetype i) const { return i < m_n ? m_s.at(i) : QChar(); }

    qsizetype scan(qsizetype i, SqlToken::Kind& kind)
    {
        const QChar c = m_s.at(i);
        const QChar next = at(i + 1);
        if (c.isSpace()) {
            kind = SqlToken::Space;
            while (i < m_n && m_s.at(i).isSpace())
                ++i;
            return i;
        }
        if (c == u'-' && next == u'-') {
            kind = SqlToken::Comment;
            while (i < m_n && m_s.at(i) != u'\n' && m_s.at(i) != u'\r')
                ++i;
            return i;
        }
        if (c == u'/' && next == u'*') {
            kind = SqlToken::Comment;
            const qsizetype close = m_s.indexOf(u"*/", i + 2);
            return close < 0 ? m_n : close + 2;
        }
        if (c == u'\'') {
            kind = SqlToken::String;
            return scanDoubled(i, u'\'');
        }
        if (c == u'"' || c == u'`') {
            kind = SqlToken::QuotedName;
            return scanDoubled(i, c);
        }
        if (c == u'[') {
            // "]]" stands for a "]" of the name, so a name can never end its own brackets.
            kind = SqlToken::Bracketed;
            return scanDoubled(i, u']');
        }
        if (isWordStart(c)) {
            kind = SqlToken::Word;
            while (i < m_n && isWordPart(m_s.at(i)))
                ++i;
            return i;
        }
        if (isDigit(c) || (c == u'.' && isDigit(next))) {
            kind = SqlToken::Number;
            return scanNumber(i);
        }
        if (c == u'$') {
            if (isDigit(next)) {
                kind = SqlToken::Parameter;
                return skipDigits(i + 1);
            }
            if (const qsizetype end = scanDollarQuoted(i); end > i) {
                kind = SqlToken::String;
                return end;
            }
        }
        if (c == u'?') {
            kind = SqlToken::Parameter;
            return skipDigits(i + 1);
        }
        if ((c == u':' || c == u'@') && (isWordStart(next) || (c == u'@' && next == u'@'))) {
            kind = SqlToken::Parameter;
            i += 2;
            while (i < m_n && isWordPart(m_s.at(i)))
                ++i;
            return i;
        }
        kind = SqlToken::Punct;
        static const QStringView twoChar[] = {u"<=", u">=", u"<>", u"!=", u"||", u"::", u":=", u"=="};
        for (QStringView op : twoChar) {
            if (QStringView(m_s).mid(i, 2) == op)
                return i + 2;
        }
        return i + 1;
    }

    // A literal or name closed by `quote`, where a doubled quote stands for itself.
    qsizetype scanDoubled(qsizetype i, QChar quote) const
    {
        ++i;
        while (i < m_n) {
            if (m_s.at(i) == quote) {
                if (at(i + 1) != quote)
                    return i + 1;
                ++i;
            }
            ++i;
        }
        return m_n;
    }

    qsizetype skipDigits(qsizetype i) const
    {
        while (i < m_n && isDigit(m_s.at(i)))
            ++i;
        return i;
    }

    qsizetype scanNumber(qsizetype i) const
    {
        i = skipDigits(i);
        if (at(i) == u'.')
            i = skipDigits(i + 1);
        if (at(i) == u'e' || at(i) == u'E') {
            qsizetype j = i + 1;
            if (at(j) == u'+' || at(j) == u'-')
                ++j;
            if (isDigit(at(j)))
                i = skipDigits(j);
        }
        return i;
    }

    // PostgreSQL's $tag$...$tag$ literal (function bodies); returns i when there is none.
    qsizetype scanDollarQuoted(qsizetype i) const
    {
        qsizetype j = i + 1;
        if (isWordStart(at(j))) {
            while (j < m_n && (at(j).isLetterOrNumber() || at(j) == u'_'))
                ++j;
        }
        if (at(j) != u'$')
            return i;
        const QStringView tag = QStringView(m_s).mid(i, j + 1 - i);
        const qsizetype close = m_s.indexOf(tag, j + 1);
        return close < 0 ? m_n : close + tag.size();
    }

    const QString& m_s;
    const qsizetype m_n;
};

} // namespace

QList<SqlToken> SqlTokenizer::Tokenize(const QString& sql)
{
    return Scanner(sql).run();
}

} // namespace ado
