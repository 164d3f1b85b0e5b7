#include "search/concordance.h"

#include "engine/likepattern.h"
#include "store/connstring.h"
#include "store/mdbreader.h"
#include "text/utf8.h"
#include "text/variants.h"

#include <algorithm>

namespace morvessa {

namespace {

// A query term as like sees it: the statement writes an apostrophe as '&chr(39)&'.
// The "%" at its ends are the statement's own on either side: they do not widen a hit.
std::string termPattern(const QString &keyword)
{
    QString term = keyword;
    term.replace(QStringLiteral("'&chr(39)&'"), QStringLiteral("'"));
    qsizetype begin = 0, end = term.size();
    while (begin < end && term.at(begin) == QLatin1Char('%'))
        ++begin;
    while (end > begin && term.at(end - 1) == QLatin1Char('%'))
        --end;
    return term.mid(begin, end - begin).toStdString();
}

QString fromChars(const std::u32string &chars, std::size_t from, std::size_t to)
{
    return QString::fromUcs4(chars.data() + from, qsizetype(to - from));
}

} // namespace

Result<Concordance> Concordance::make(const QueryAnalysis &analysis, Matching matching, int width)
{
    if (matching == Matching::Exact)
        return Concordance(analysis, nullptr, width);
    const Result<std::shared_ptr<const VariantTable>> variants = variantTable();
    if (!variants)
        return variants.failure();
    return Concordance(analysis, *variants, width);
}

Concordance::Concordance(const QueryAnalysis &analysis, std::shared_ptr<const VariantTable> variants, int width)
    : m_variants(std::move(variants)), m_width(std::max(0, width))
{
    for (const QString &keyword : analysis.keywords) {
        std::string pattern = termPattern(keyword);
        if (m_variants)
            pattern = m_variants->foldUtf8(pattern);
        auto term = std::make_unique<JetLikePattern>();
        // An invalid term has already failed the search; it has no occurrences.
        if (!pattern.empty() && term->compile(pattern, 0))
            m_terms.push_back(std::move(term));
    }
}

Concordance::~Concordance() = default;
Concordance::Concordance(Concordance &&) noexcept = default;
Concordance &Concordance::operator=(Concordance &&) noexcept = default;

std::vector<ContextLine> Concordance::linesIn(std::string_view content, int maxHits) const
{
    if (m_terms.empty() || content.empty())
        return {};
    // The characters as stored, and where each begins in the text the terms are found in
    // (folded text has the same characters, not always the same bytes).
    const std::string folded = m_variants ? m_variants->foldUtf8(content) : std::string();
    const std::string_view text = m_variants ? std::string_view(folded) : content;
    std::u32string chars;
    chars.reserve(content.size() / 2);
    for (std::size_t i = 0; i < content.size();) {
        char32_t c;
        i += std::size_t(decodeUtf8(content, i, c));
        chars += c >= kInvalidUtf8 ? U'\uFFFD' : c;
    }
    std::vector<std::size_t> starts; // byte offset in text of each character, and the end
    starts.reserve(chars.size() + 1);
    for (std::size_t i = 0; i < text.size();) {
        starts.push_back(i);
        char32_t c;
        i += std::size_t(decodeUtf8(text, i, c));
    }
    starts.push_back(text.size());
    auto charAt = [&](std::size_t byte) {
        return std::size_t(std::lower_bound(starts.begin(), starts.end(), byte) - starts.begin());
    };

    struct Hit {
        std::size_t begin, end, term;
        bool operator<(const Hit &o) const { return std::tie(begin, term) < std::tie(o.begin, o.term); }
    };
    std::vector<Hit> hits;
    for (std::size_t t = 0; t < m_terms.size(); ++t) {
        std::size_t from = 0, end = 0, found = 0;
        while (maxHits <= 0 || found < std::size_t(maxHits)) {
            const std::size_t at = m_terms[t]->find(text, from, end);
            if (at == std::string_view::npos)
                break; // a match holds at least one character: the loop moves on
            hits.push_back({charAt(at), charAt(end), t});
            ++found;
            from = end;
        }
    }
    std::sort(hits.begin(), hits.end());
    if (maxHits > 0 && hits.size() > std::size_t(maxHits))
        hits.resize(std::size_t(maxHits));

    std::vector<ContextLine> lines;
    lines.reserve(hits.size());
    const std::size_t width = std::size_t(m_width);
    for (const Hit &h : hits) {
        ContextLine line;
        line.offset = qint64(h.begin);
        line.before = fromChars(chars, h.begin > width ? h.begin - width : 0, h.begin);
        line.hit = fromChars(chars, h.begin, h.end);
        line.after = fromChars(chars, h.end, std::min(chars.size(), h.end + width));
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string_view ContextSearch::contentOf(int row) const
{
    const qint64 at = outcome.rows ? outcome.rows->tableRow(row) : -1;
    if (!table || at < 0 || std::size_t(at) >= table->rowCount() || table->content.null(std::size_t(at)))
        return {};
    return table->content.at(std::size_t(at));
}

Result<ContextSearch> runContextSearch(const QString &connString, const QueryAnalysis &analysis, Matching matching)
{
    const QString path = dataSourceOf(connString);
    if (path.isEmpty())
        return Failure{QStringLiteral("連線字串無效，找不到資料庫檔案的位置：%1").arg(connString)};
    // The loaded table holds its content folded for the search; the lines show it as written.
    const TableResult table = readMaindata(path, ContentForm::AsWritten);
    if (!table)
        return table.failure();
    Connection connection;
    if (const Result<void> opened = connection.openTable(*table, path); !opened)
        return opened.failure();
    Result<SearchOutcome> outcome = runSearchOn(connection, analysis, matching);
    if (!outcome)
        return outcome.failure();
    return ContextSearch{std::move(*outcome), *table};
}

} // namespace morvessa
