#include "engine/jetdialect.h"

#include "engine/likepattern.h"
#include "text/utf8.h"

#include <sqlite3.h>

#include <cmath>
#include <string>
#include <unordered_map>

namespace morvessa {

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
        if (const Result<void> compiled = fresh.compile(valueText(argv[0]), escape); !compiled) {
            resultError(ctx, compiled.message());
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

Result<void> registerJetFunctions(sqlite3 *db)
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
        return Failure{QStringLiteral("無法建立查詢引擎（%1）。").arg(QString::fromUtf8(sqlite3_errstr(rc)))};
    return {};
}

} // namespace morvessa
