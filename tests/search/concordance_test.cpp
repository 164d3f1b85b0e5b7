#include "engine/likepattern.h"
#include "search/contextsearch.h"
#include "store/mdbreader.h"
#include "testdata.h"
#include "text/utf8.h"
#include "text/variants.h"

#include <algorithm>
#include <array>

#include <gtest/gtest.h>

using namespace morvessa;
using morvessa::test::u;

namespace {

// One line as "offset:before【hit】after".
QStringList linesFor(const char *collection, const char *query, const char *subject, Matching matching,
                     int width = 20, int maxHits = 0)
{
    const QueryAnalysis a = analyseQuery(u(query));
    const ContextSearch s = test::valueOf(runContextSearch(test::connFor(collection), a, matching));
    const Concordance concordance = test::valueOf(Concordance::make(a, matching, width));
    for (int r = 0; s.outcome.rows && r < s.outcome.rows->count(); ++r) {
        if (s.outcome.rows->text(r, 0) != u(subject))
            continue;
        QStringList out;
        for (const ContextLine &l : concordance.linesIn(s.contentOf(r), maxHits))
            out << QString::number(l.offset) + QLatin1Char(':') + l.before + u("【") + l.hit + u("】") + l.after;
        return out;
    }
    return {QStringLiteral("(record not found)")};
}

} // namespace

TEST(Concordance, LinesAroundEachOccurrence)
{
    struct Case {
        const char *query, *subject;
        int width, maxHits;
        QStringList lines;
    } cases[] = {
        // The start of a record: nothing before.
        {"太陽", "桂枝湯", 4, 0, {u("0:【太陽】中風，發")}},
        // Terms in order of position; CR LF count as characters of the content.
        {"桂枝 發熱", "桂枝湯", 3, 0, {u("5:中風，【發熱】，汗出"), u("20:。\r\n【桂枝】湯主之")}},
        // The end of a 138,000-character record: nothing after.
        {"尾端標記", "長篇", 5, 0, {u("148893:益氣。\r\n【尾端標記】")}},
        // A wildcard term shows what it matched; the cap counts per record.
        {"脾_氣", "長篇", 2, 2, {u("4:段：【脾胃氣】虛，"), u("16:宜健【脾益氣】。\r")}},
        {"健%氣", "長篇", 1, 1, {u("15:宜【健脾益氣】。")}},
        {"第1_段", "長篇", 0, 3, {u("198:【第10段】"), u("221:【第11段】"), u("244:【第12段】")}},
        // A user-defined character (U+E000) is one character like any other.
        {"造字", "許功蓋", 3, 0, {u("6:三字；【造字】：\uE000。")}},
        {"：_", "許功蓋", 1, 0, {u("8:字【：\uE000】。")}},
        // Letter case and width are ignored; the content shows as stored.
        {"fever", "全形字母", 2, 0, {u("19:克；【FEVER】 與"), u("27:與 【fever】。")}},
        {"vitamin", "全形字母", 1, 0, {u("3:素【Ｖｉｔａｍｉｎ】Ｃ")}},
        // An apostrophe in a term.
        {"It's", "醫者意也", 2, 0, {u("7:'，【It's】 a")}},
        // Wider lines: characters counted eight bytes at a time, ASCII and CJK alike.
        {"fever",
         "全形字母",
         12,
         0,
         {u("19:ｍｉｎＣ含量１２３毫克；【FEVER】 與 fever。"), u("27:３毫克；FEVER 與 【fever】。")}},
        {"It", "醫者意也", 9, 0, {u("7:醫者'意也'，【It】's a \"quo")}},
        {"尾端標記", "長篇", 10, 0, {u("148893:司，宜健脾益氣。\r\n【尾端標記】")}},
        // An OR query shows each term found.
        {"+無汗 頭痛", "麻黃湯", 1, 0, {u("4:，【頭痛】發"), u("22:，【無汗】而")}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(linesFor("collection", c.query, c.subject, Matching::Exact, c.width, c.maxHits).join(u("|")),
                  c.lines.join(u("|")))
            << c.query;
}

TEST(Concordance, VariantHitsShowTheContentAsStored)
{
    EXPECT_EQ(linesFor("variants", "发热", "桂枝湯", Matching::Variants, 2), QStringList{u("5:風，【發熱】，汗")});
    EXPECT_EQ(linesFor("variants", "發熱", "無日期", Matching::Variants, 2), QStringList{u("0:【发热】恶寒")});
    EXPECT_EQ(linesFor("variants", "后", "咳嗽一", Matching::Variants, 1), QStringList{u("1:食【後】，")});
    EXPECT_EQ(linesFor("variants", "脉_", "桂枝湯", Matching::Variants, 1), QStringList{u("14:，【脈浮】緩")});
    // Without variants the record is not found at all.
    EXPECT_EQ(linesFor("variants", "发热", "桂枝湯", Matching::Exact, 2), QStringList{u("(record not found)")});
}

TEST(Concordance, TermsWithoutVisibleHitsGiveNoLines)
{
    // An empty query lists every record; "%" alone matches everywhere but marks nothing.
    EXPECT_TRUE(linesFor("collection", "", "桂枝湯", Matching::Exact).isEmpty());
    EXPECT_TRUE(linesFor("collection", "%", "桂枝湯", Matching::Exact).isEmpty());
    EXPECT_TRUE(linesFor("collection", "發熱 %", "桂枝湯", Matching::Exact).size() == 1);
}

namespace {

// Context lines the way they were made before they streamed: each whole record decoded,
// the terms found in its content as written (variant-folded with variants). Kept as the
// reference the streaming lines must equal, line for line.
std::vector<QString> wholeRecordLines(const QueryAnalysis &analysis, const VariantTable *variants,
                                      std::string_view content, int width, int maxHits)
{
    std::vector<std::unique_ptr<JetLikePattern>> terms;
    for (QString term : analysis.keywords) {
        term.replace(QStringLiteral("'&chr(39)&'"), QStringLiteral("'"));
        while (term.startsWith(QLatin1Char('%')))
            term.remove(0, 1);
        while (term.endsWith(QLatin1Char('%')))
            term.chop(1);
        std::string pattern = term.toStdString();
        if (variants)
            pattern = variants->foldUtf8(pattern);
        auto compiled = std::make_unique<JetLikePattern>();
        if (!pattern.empty() && compiled->compile(pattern, 0))
            terms.push_back(std::move(compiled));
    }
    const std::string folded = variants ? variants->foldUtf8(content) : std::string(content);
    const std::string_view text = folded;
    std::u32string chars;
    for (std::size_t i = 0; i < content.size();) {
        char32_t c;
        i += std::size_t(decodeUtf8(content, i, c));
        chars += c >= kInvalidUtf8 ? U'\uFFFD' : c;
    }
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size();) {
        starts.push_back(i);
        char32_t c;
        i += std::size_t(decodeUtf8(text, i, c));
    }
    starts.push_back(text.size());
    auto charAt = [&](std::size_t byte) {
        return std::size_t(std::lower_bound(starts.begin(), starts.end(), byte) - starts.begin());
    };
    std::vector<std::array<std::size_t, 3>> hits; // begin, term, end
    for (std::size_t t = 0; t < terms.size(); ++t) {
        std::size_t from = 0, end = 0, found = 0;
        while (maxHits <= 0 || found < std::size_t(maxHits)) {
            const std::size_t at = terms[t]->find(text, from, end);
            if (at == std::string_view::npos)
                break;
            hits.push_back({charAt(at), t, charAt(end)});
            ++found;
            from = end;
        }
    }
    std::sort(hits.begin(), hits.end());
    if (maxHits > 0 && hits.size() > std::size_t(maxHits))
        hits.resize(std::size_t(maxHits));
    auto piece = [&](std::size_t from, std::size_t to) {
        return QString::fromUcs4(chars.data() + from, qsizetype(to - from));
    };
    std::vector<QString> lines;
    const auto w = std::size_t(width);
    for (const auto &[begin, term, end] : hits)
        lines.push_back(QString::number(begin) + QLatin1Char(':') + piece(begin > w ? begin - w : 0, begin) +
                        u("【") + piece(begin, end) + u("】") + piece(end, std::min(chars.size(), end + w)));
    return lines;
}

} // namespace

TEST(Concordance, StreamedLinesEqualTheWholeRecordOnes)
{
    const char *queries[] = {"發熱",  "发热 头痛", "+汗出 咳嗽 fever", "脾_氣",
                             "健%氣", "第1_段",    "[甲-癸]",          "ｖｉｔａｍｉｎ",
                             "It's",  "：_",       "尾端標記",         "后 %"};
    const auto variants = test::valueOf(variantTable());
    std::size_t compared = 0;
    for (const char *collection : {"collection", "variants"}) {
        const auto written = test::valueOf(readMaindataInProcess(
            test::dataFolder(collection) + QStringLiteral("/jst.mdb"), ContentForm::AsWritten));
        for (const Matching matching : {Matching::Exact, Matching::Variants}) {
            for (const char *query : queries) {
                const QueryAnalysis a = analyseQuery(u(query));
                const ContextSearch s = test::valueOf(runContextSearch(test::connFor(collection), a, matching));
                for (const auto &[width, maxHits] : {std::pair{0, 0}, {3, 2}, {20, 0}}) {
                    const Concordance concordance = test::valueOf(Concordance::make(a, matching, width));
                    for (int r = 0; s.outcome.rows && r < s.outcome.rows->count(); ++r) {
                        const auto row = std::size_t(s.outcome.rows->tableRow(r));
                        std::vector<QString> lines;
                        for (const ContextLine &l : concordance.linesIn(s.contentOf(r), maxHits))
                            lines.push_back(QString::number(l.offset) + QLatin1Char(':') + l.before + u("【") +
                                            l.hit + u("】") + l.after);
                        const std::string_view content =
                            written->content.null(row) ? std::string_view() : written->content.at(row);
                        EXPECT_EQ(lines,
                                  wholeRecordLines(a, matching == Matching::Variants ? variants.get() : nullptr,
                                                   content, width, maxHits))
                            << collection << ' ' << query << ' ' << r;
                        compared += lines.size();
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 200u);
}
