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

QString regroupWhere(const QString &sql)
{
    // The words outside literals, bracketed names and parentheses.
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
        return sql;
    qsizetype clauseEnd = sql.size();
    std::vector<Word> connectives;
    const char *op = nullptr;
    for (size_t k = where + 1; k < words.size(); ++k) {
        const Word &t = words[k];
        if (wordIs(t, "order") || wordIs(t, "group") || wordIs(t, "having") || wordIs(t, "limit") ||
            wordIs(t, "union")) {
            clauseEnd = t.begin;
            break;
        }
        if (wordIs(t, "between") || wordIs(t, "not") || wordIs(t, "case"))
            return sql; // precedence would matter; leave such clauses alone
        const char *w = wordIs(t, "and") ? "and" : wordIs(t, "or") ? "or" : nullptr;
        if (!w)
            continue;
        if (op && std::strcmp(op, w) != 0)
            return sql;
        op = w;
        connectives.push_back(t);
    }
    if (static_cast<int>(connectives.size()) < kRegroupFrom)
        return sql;

    const qsizetype clauseBegin = words[where].end;
    std::vector<QStringView> operands;
    qsizetype from = clauseBegin;
    for (const Word &t : connectives) {
        operands.push_back(QStringView(sql).mid(from, t.begin - from).trimmed());
        from = t.end;
    }
    operands.push_back(QStringView(sql).mid(from, clauseEnd - from).trimmed());
    // "x and x" is x, and so is "x or x": a repeated operand is evaluated once, so that a
    // term repeated thousands of times costs what it costs once. Only operands that call
    // nothing but chr() are sure to give the same value each time.
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

    const QString joint = QLatin1Char(' ') + QLatin1String(op) + QLatin1Char(' ');
    QString grouped;
    auto build = [&](auto &&self, size_t lo, size_t hi) -> void {
        if (hi - lo == 1) {
            grouped += operands[lo];
            return;
        }
        const size_t mid = lo + (hi - lo) / 2;
        grouped += QLatin1Char('(');
        self(self, lo, mid);
        grouped += joint;
        self(self, mid, hi);
        grouped += QLatin1Char(')');
    };
    build(build, 0, operands.size());
    return sql.left(clauseBegin) + QLatin1Char(' ') + grouped + QLatin1Char(' ') + sql.mid(clauseEnd);
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
