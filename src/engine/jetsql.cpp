#include "engine/jetsql.h"

#include <QSet>

#include <cstring>
#include <string_view>
#include <vector>

namespace morvessa {

namespace {

constexpr size_t npos = std::string_view::npos;

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// Where a top-level boolean chain is too long, SQLite's expression depth limit (1000)
// rejects the statement; a chain of one connective is regrouped into a balanced tree.
constexpr int kRegroupFrom = 64;

struct Word {
    qsizetype begin, end;
};

// The words of sql outside literals, bracketed names and parentheses.
std::vector<Word> topLevelWords(const QString &sql)
{
    std::vector<Word> words;
    int depth = 0;
    for (qsizetype i = 0; i < sql.size();) {
        const QChar c = sql.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            qsizetype j = i + 1;
            while (j < sql.size()) {
                if (sql.at(j) == c) {
                    if (j + 1 < sql.size() && sql.at(j + 1) == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            i = j + 1;
        } else if (c == QLatin1Char('[')) {
            const qsizetype close = sql.indexOf(QLatin1Char(']'), i + 1);
            i = close < 0 ? sql.size() : close + 1;
        } else if (c == QLatin1Char('(')) {
            ++depth;
            ++i;
        } else if (c == QLatin1Char(')')) {
            --depth;
            ++i;
        } else if (isWordChar(c)) {
            qsizetype j = i;
            while (j < sql.size() && isWordChar(sql.at(j)))
                ++j;
            if (depth == 0)
                words.push_back({i, j});
            i = j;
        } else {
            ++i;
        }
    }
    return words;
}

// The where clause as a chain of one connective: where it begins and ends, and its
// connectives. Empty connectives where there is no such chain to regroup.
struct WhereChain {
    qsizetype begin = 0, end = 0;
    const char *op = nullptr;
    std::vector<Word> connectives;
};

WhereChain whereChain(const QString &sql, const std::vector<Word> &words)
{
    auto wordIs = [&](const Word &t, const char *w) {
        return QStringView(sql).mid(t.begin, t.end - t.begin).compare(QLatin1String(w), Qt::CaseInsensitive) == 0;
    };
    size_t where = npos;
    for (size_t k = 0; k < words.size(); ++k) {
        if (wordIs(words[k], "where")) {
            where = k;
            break;
        }
    }
    if (where == npos)
        return {};
    WhereChain chain;
    chain.begin = words[where].end;
    chain.end = sql.size();
    for (size_t k = where + 1; k < words.size(); ++k) {
        const Word &t = words[k];
        if (wordIs(t, "order") || wordIs(t, "group") || wordIs(t, "having") || wordIs(t, "limit") ||
            wordIs(t, "union")) {
            chain.end = t.begin;
            break;
        }
        if (wordIs(t, "between") || wordIs(t, "not") || wordIs(t, "case"))
            return {}; // precedence would matter; leave such clauses alone
        const char *w = wordIs(t, "and") ? "and" : wordIs(t, "or") ? "or" : nullptr;
        if (!w)
            continue;
        if (chain.op && std::strcmp(chain.op, w) != 0)
            return {};
        chain.op = w;
        chain.connectives.push_back(t);
    }
    return chain;
}

// The chain's operands, each repeated one only once: "x and x" is x, and so is "x or x",
// so that a term repeated thousands of times costs what it costs once. Only operands that
// call nothing but chr() are sure to give the same value each time.
std::vector<QStringView> distinctOperands(const QString &sql, const WhereChain &chain)
{
    std::vector<QStringView> operands;
    qsizetype from = chain.begin;
    for (const Word &t : chain.connectives) {
        operands.push_back(QStringView(sql).mid(from, t.begin - from).trimmed());
        from = t.end;
    }
    operands.push_back(QStringView(sql).mid(from, chain.end - from).trimmed());
    auto repeatable = [](QStringView operand) {
        return !operand.toString().remove(QLatin1String("chr("), Qt::CaseInsensitive).contains(QLatin1Char('('));
    };
    QSet<QStringView> seen;
    std::erase_if(operands, [&](QStringView o) {
        if (!repeatable(o))
            return false;
        if (seen.contains(o))
            return true;
        seen.insert(o);
        return false;
    });
    return operands;
}

// operands[lo, hi) joined by joint as a balanced tree of parentheses.
void appendBalanced(QString &out, const std::vector<QStringView> &operands, size_t lo, size_t hi,
                    const QString &joint)
{
    if (hi - lo == 1) {
        out += operands[lo];
        return;
    }
    const size_t mid = lo + (hi - lo) / 2;
    out += QLatin1Char('(');
    appendBalanced(out, operands, lo, mid, joint);
    out += joint;
    appendBalanced(out, operands, mid, hi, joint);
    out += QLatin1Char(')');
}

QString regroupWhere(const QString &sql)
{
    const WhereChain chain = whereChain(sql, topLevelWords(sql));
    if (static_cast<int>(chain.connectives.size()) < kRegroupFrom)
        return sql;
    const std::vector<QStringView> operands = distinctOperands(sql, chain);
    const QString joint = QLatin1Char(' ') + QLatin1String(chain.op) + QLatin1Char(' ');
    QString grouped;
    appendBalanced(grouped, operands, 0, operands.size(), joint);
    return sql.left(chain.begin) + QLatin1Char(' ') + grouped + QLatin1Char(' ') + sql.mid(chain.end);
}

// SQLite ends a statement's text at U+0000, so a '...' literal holding one is spelled as
// the pieces around it joined with char(0), in parentheses so it stays one operand.
QString literalWithoutNul(QStringView literal)
{
    if (!literal.contains(QChar(0)))
        return literal.toString();
    QString out = QStringLiteral("(");
    out += literal;
    out.replace(QChar(0), QStringLiteral("'||char(0)||'"));
    out += QLatin1Char(')');
    return out;
}

} // namespace

QString jetToSqlite(const QString &jetSql)
{
    QString out;
    out.reserve(jetSql.size() + 16);
    const qsizetype n = jetSql.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = jetSql.at(i);
        if (c == QLatin1Char('\'')) {
            // A literal, '' standing for one apostrophe, copied as it is.
            qsizetype j = i + 1;
            while (j < n) {
                if (jetSql.at(j) == QLatin1Char('\'')) {
                    if (j + 1 < n && jetSql.at(j + 1) == QLatin1Char('\'')) {
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                ++j;
            }
            out += literalWithoutNul(QStringView(jetSql).mid(i, j - i));
            i = j;
        } else if (c == QLatin1Char('"')) {
            // Jet reads "..." as a text literal; SQLite would take it for a name.
            QString text;
            qsizetype j = i + 1;
            while (j < n) {
                if (jetSql.at(j) == QLatin1Char('"')) {
                    if (j + 1 < n && jetSql.at(j + 1) == QLatin1Char('"')) {
                        text += QLatin1Char('"');
                        j += 2;
                        continue;
                    }
                    break;
                }
                text += jetSql.at(j);
                ++j;
            }
            text.replace(QLatin1Char('\''), QLatin1String("''"));
            out += literalWithoutNul(QLatin1Char('\'') + text + QLatin1Char('\''));
            i = j + 1;
        } else if (c == QLatin1Char('[')) {
            // SQLite reads [name] as Jet does. A "name" would not do: SQLite takes a
            // double-quoted name it cannot find for a text literal instead of failing.
            const qsizetype close = jetSql.indexOf(QLatin1Char(']'), i + 1);
            const qsizetype end = close < 0 ? n : close + 1;
            out += QStringView(jetSql).mid(i, end - i);
            i = end;
        } else if (c == QLatin1Char('&')) {
            out += QLatin1String("||");
            ++i;
        } else {
            out += c;
            ++i;
        }
    }
    return regroupWhere(out);
}

} // namespace morvessa
