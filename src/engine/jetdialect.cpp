#include "engine/jetdialect.h"

#include "text/textfold.h"
#include "text/utf8.h"

#include <sqlite3.h>

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <unordered_map>

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
        if (wordIs(t, "order") || wordIs(t, "group") || wordIs(t, "having") || wordIs(t, "limit")
            || wordIs(t, "union")) {
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
            out += QStringView(jetSql).mid(i, j - i);
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
            out += QLatin1Char('\'') + text + QLatin1Char('\'');
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

// ---------------------------------------------------------------------------
// like

bool JetLikePattern::compile(std::string_view p, char32_t escape, QString *error)
{
    m_elements.clear();
    m_ranges.clear();
    m_segments.clear();

    Segment seg;
    auto closeSegment = [&] {
        seg.count = m_elements.size() - seg.first;
        if (seg.literal)
            seg.finder = FoldedFinder(seg.text);
        m_segments.push_back(seg);
        seg = Segment();
        seg.first = m_elements.size();
    };
    auto addChar = [&](char32_t c) {
        const char32_t f = foldChar(c);
        Element e{Element::Char};
        e.c = f;
        if (seg.anchor == npos) {
            seg.anchor = m_elements.size() - seg.first;
            std::string one;
            appendUtf8(one, f);
            seg.anchorFinder = FoldedFinder(one);
        }
        m_elements.push_back(e);
        appendUtf8(seg.text, f);
    };

    for (size_t i = 0; i < p.size();) {
        char32_t c;
        i += decodeUtf8(p, i, c);
        if (escape && c == escape && i < p.size()) {
            i += decodeUtf8(p, i, c);
            addChar(c);
        } else if (c == U'%') {
            closeSegment();
        } else if (c == U'_') {
            m_elements.push_back(Element{Element::AnyOne});
            seg.literal = false;
        } else if (c == U'[') {
            const size_t close = p.find(']', i);
            if (close == npos) {
                if (error) {
                    *error = QStringLiteral("搜尋樣式「%1」無效：「[」沒有對應的「]」。")
                                 .arg(QString::fromUtf8(p.data(), static_cast<qsizetype>(p.size())));
                }
                return false;
            }
            std::string_view body = p.substr(i, close - i);
            i = close + 1;
            Element e{Element::Set};
            size_t k = 0;
            if (!body.empty() && (body[0] == '!' || body[0] == '^')) {
                e.negated = true;
                k = 1;
            } else if (body.empty()) {
                continue; // "[]" stands for nothing
            }
            e.firstRange = m_ranges.size();
            while (k < body.size()) {
                char32_t lo;
                k += decodeUtf8(body, k, lo);
                char32_t hi = lo;
                if (k + 1 < body.size() && body[k] == '-') {
                    k += 1;
                    k += decodeUtf8(body, k, hi);
                }
                m_ranges.emplace_back(foldChar(lo), foldChar(hi));
            }
            e.rangeCount = m_ranges.size() - e.firstRange;
            m_elements.push_back(e);
            seg.literal = false;
        } else {
            addChar(c);
        }
    }
    closeSegment();
    return true;
}

bool JetLikePattern::elementMatches(const Element &e, char32_t f) const
{
    switch (e.kind) {
    case Element::Char:
        return f == e.c;
    case Element::AnyOne:
        return true;
    case Element::Set: {
        bool in = false;
        for (size_t r = e.firstRange; r < e.firstRange + e.rangeCount && !in; ++r)
            in = f >= m_ranges[r].first && f <= m_ranges[r].second;
        return in != e.negated;
    }
    }
    return false;
}

size_t JetLikePattern::matchAt(const Segment &s, std::string_view text, size_t pos) const
{
    if (s.literal)
        return s.finder.matchAt(text, pos);
    for (size_t k = s.first; k < s.first + s.count; ++k) {
        if (pos >= text.size())
            return npos;
        char32_t c;
        pos += decodeUtf8(text, pos, c);
        if (!elementMatches(m_elements[k], foldChar(c)))
            return npos;
    }
    return pos;
}

size_t JetLikePattern::findFrom(const Segment &s, std::string_view text, size_t pos, size_t &end) const
{
    if (s.literal)
        return s.finder.find(text, pos, end);
    if (s.anchor == npos) {
        // Only "_" and sets: try every place.
        for (;;) {
            end = matchAt(s, text, pos);
            if (end != npos)
                return pos;
            if (pos >= text.size())
                return npos;
            char32_t c;
            pos += decodeUtf8(text, pos, c);
        }
    }
    // Every match has the anchor character a fixed number of characters in; its
    // occurrences, in order, give the candidate places in order.
    for (size_t from = pos;;) {
        size_t anchorEnd;
        const size_t at = s.anchorFinder.find(text, from, anchorEnd);
        if (at == npos)
            return npos;
        size_t start = at;
        bool fits = true;
        for (size_t k = 0; k < s.anchor && fits; ++k) {
            fits = start > pos;
            if (fits)
                start = previousUtf8(text, start);
        }
        if (fits && start >= pos) {
            end = matchAt(s, text, start);
            if (end != npos)
                return start;
        }
        from = anchorEnd;
    }
}

bool JetLikePattern::matches(std::string_view text) const
{
    if (m_segments.size() == 1)
        return matchAt(m_segments[0], text, 0) == text.size();

    size_t pos = 0;
    const Segment &first = m_segments.front();
    if (first.count > 0) {
        pos = matchAt(first, text, 0);
        if (pos == npos)
            return false;
    }
    for (size_t k = 1; k + 1 < m_segments.size(); ++k) {
        const Segment &s = m_segments[k];
        if (s.count == 0)
            continue;
        size_t end;
        if (findFrom(s, text, pos, end) == npos)
            return false;
        pos = end;
    }
    const Segment &last = m_segments.back();
    if (last.count == 0)
        return true;
    // The last segment spans a fixed number of characters up to the end.
    size_t start = text.size();
    for (size_t k = 0; k < last.count; ++k) {
        if (start <= pos)
            return false;
        start = previousUtf8(text, start);
    }
    return start >= pos && matchAt(last, text, start) == text.size();
}

size_t JetLikePattern::find(std::string_view text, size_t from, size_t &end) const
{
    // The earliest match of the first segment starts the leftmost match; each later one
    // is taken as early as it comes, which makes the match from there the shortest.
    size_t start = npos;
    for (const Segment &s : m_segments) {
        if (s.count == 0)
            continue;
        size_t segmentEnd;
        const size_t at = findFrom(s, text, from, segmentEnd);
        if (at == npos)
            return npos;
        if (start == npos)
            start = at;
        from = segmentEnd;
    }
    end = from;
    return start;
}

// ---------------------------------------------------------------------------
// SQLite functions

namespace {

// Parsed patterns of one connection. SQLite's per-call auxiliary data is kept in a list
// searched on every call, which turns statements with thousands of terms quadratic,
// so patterns are kept here instead, by text.
class PatternCache {
public:
    const JetLikePattern *find(std::string_view key) const
    {
        if (m_last && m_lastKey == key)
            return m_last;
        const auto it = m_patterns.find(key);
        if (it == m_patterns.end())
            return nullptr;
        m_lastKey = it->first;
        m_last = &it->second;
        return m_last;
    }

    const JetLikePattern *add(std::string_view key, JetLikePattern &&pattern)
    {
        if (m_patterns.size() >= kMaxPatterns) {
            // Patterns that vary from row to row; keep memory bounded.
            m_patterns.clear();
        }
        m_last = nullptr;
        const auto [it, inserted] = m_patterns.emplace(std::string(key), std::move(pattern));
        return &it->second;
    }

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
    };
    static constexpr size_t kMaxPatterns = 4096;
    std::unordered_map<std::string, JetLikePattern, Hash, std::equal_to<>> m_patterns;
    mutable std::string_view m_lastKey;
    mutable const JetLikePattern *m_last = nullptr;
};

void deletePatternCache(void *p)
{
    delete static_cast<PatternCache *>(p);
}

void resultError(sqlite3_context *ctx, const QString &message)
{
    const QByteArray utf8 = message.toUtf8();
    sqlite3_result_error(ctx, utf8.constData(), static_cast<int>(utf8.size()));
}

std::string_view valueText(sqlite3_value *v)
{
    const auto *t = reinterpret_cast<const char *>(sqlite3_value_text(v));
    const int n = sqlite3_value_bytes(v);
    return t ? std::string_view(t, static_cast<size_t>(n)) : std::string_view();
}

// like(pattern, text [, escape]), as SQLite calls it for "text like pattern".
void jetLike(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    for (int k = 0; k < argc; ++k) {
        if (sqlite3_value_type(argv[k]) == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return;
        }
    }
    char32_t escape = 0;
    std::string_view key = valueText(argv[0]);
    std::string keyWithEscape;
    if (argc == 3) {
        const std::string_view e = valueText(argv[2]);
        char32_t c = 0;
        if (e.empty() || static_cast<size_t>(decodeUtf8(e, 0, c)) != e.size()) {
            resultError(ctx, QStringLiteral("ESCAPE 後面必須是單一字元。"));
            return;
        }
        escape = c;
        keyWithEscape.assign(e);
        keyWithEscape += '\0';
        keyWithEscape += key;
        key = keyWithEscape;
    }
    auto *cache = static_cast<PatternCache *>(sqlite3_user_data(ctx));
    const JetLikePattern *pattern = cache->find(key);
    if (!pattern) {
        JetLikePattern fresh;
        QString error;
        if (!fresh.compile(valueText(argv[0]), escape, &error)) {
            resultError(ctx, error);
            return;
        }
        pattern = cache->add(key, std::move(fresh));
    }
    sqlite3_result_int(ctx, pattern->matches(valueText(argv[1])) ? 1 : 0);
}

// chr(n): the character with code n.
void jetChr(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const double d = std::nearbyint(sqlite3_value_double(argv[0]));
    if (!(d >= 0 && d <= 0x10FFFF) || (d >= 0xD800 && d <= 0xDFFF)) {
        resultError(ctx, QStringLiteral("chr() 的字元碼無效：%1").arg(sqlite3_value_double(argv[0])));
        return;
    }
    std::string out;
    appendUtf8(out, static_cast<char32_t>(d));
    sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

} // namespace

void registerJetFunctions(sqlite3 *db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    int rc = sqlite3_create_function_v2(db, "chr", 1, flags, nullptr, jetChr, nullptr, nullptr, nullptr);
    // Each registration owns its cache: SQLite destroys each one separately.
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "like", 2, flags, new PatternCache, jetLike, nullptr, nullptr,
                                        deletePatternCache);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "like", 3, flags, new PatternCache, jetLike, nullptr, nullptr,
                                        deletePatternCache);
    if (rc != SQLITE_OK)
        throw std::runtime_error(std::string("cannot register the Jet functions: ") + sqlite3_errstr(rc));
}

} // namespace morvessa
