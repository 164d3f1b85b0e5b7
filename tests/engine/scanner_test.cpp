// The fast path's parts on their own: the statements the query box builds, and the
// content scanner against the reference like, row by row.
#include "base/vectorwidth.h"
#include "engine/fastscan.h"
#include "engine/likepattern.h"
#include "engine/needlefinder.h"
#include "search/queryanalysis.h"
#include "store/storetable.h"
#include "text/textfold.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <random>

using namespace morvessa;

namespace {

struct StatementCase {
    const char *query;
    SearchStatement::Kind kind;
    std::vector<std::string> patterns;
};

// The typed statement holds the patterns as the engine reads them from the text: the
// apostrophe escape resolved, empty terms kept.
TEST(SearchStatement, HoldsThePatternsItsTextStandsFor)
{
    const std::vector<StatementCase> cases = {
        {"", SearchStatement::AllRows, {}},
        {"發熱", SearchStatement::AllTerms, {"%發熱%"}},
        {"發熱 頭痛", SearchStatement::AllTerms, {"%發熱%", "%頭痛%"}},
        {"-發熱 頭痛", SearchStatement::AllTerms, {"%發熱%", "%頭痛%"}},
        {"-", SearchStatement::AllTerms, {}},
        {"- 發熱", SearchStatement::AllTerms, {"%%", "%發熱%"}},
        {"+", SearchStatement::AnyTerm, {}},
        {"+發熱  頭痛", SearchStatement::AnyTerm, {"%發熱%", "%%", "%頭痛%"}},
        {"a'b", SearchStatement::AllTerms, {"%a'b%"}},
        {"''", SearchStatement::AllTerms, {"%''%"}},
        {"+'x &chr(39)& [y]", SearchStatement::AnyTerm, {"%'x%", "%&chr(39)&%", "%[y]%"}},
        {"明_ 100% order", SearchStatement::AllTerms, {"%明_%", "%100%%", "%order%"}},
    };
    for (const StatementCase &c : cases) {
        const SearchStatement st = analyseQuery(QString::fromUtf8(c.query)).statement;
        std::vector<std::string> patterns;
        for (const QString &p : st.patterns)
            patterns.push_back(p.toStdString());
        EXPECT_EQ(st.kind, c.kind) << c.query;
        EXPECT_EQ(patterns, c.patterns) << c.query;
    }
}

// Rows as a table holds them: back to back, with their ends and null marks.
struct Rows : TextColumnBuilder {
    void add(const std::optional<std::string> &v) { append(v.value_or(std::string()), !v); }
    std::size_t size() const { return ends.size(); }
};

std::vector<std::uint32_t> referenceRows(const Rows &rows, const std::string &pattern)
{
    JetLikePattern like;
    EXPECT_TRUE(like.compile(pattern, 0)) << pattern;
    std::vector<std::uint32_t> out;
    for (size_t r = 0; r < rows.size(); ++r)
        if (!rows.view().null(r) && like.matches(rows.view().at(r)))
            out.push_back(std::uint32_t(r));
    return out;
}

Rows awkwardRows()
{
    Rows rows;
    for (std::optional<std::string> v : std::vector<std::optional<std::string>>{
             "太陽中風，發熱，汗出，惡風，脈浮緩。\r\n桂枝湯主之。",
             std::nullopt,
             "",
             "人參，Panax Ginseng。Hahnemann's note: 100% 純品；a_b 與 aXb。",
             "維生素ＶｉｔａｍｉｎＣ含量１２３毫克；FEVER 與 fever。",
             "明", // with the next row: 明月 only across the row boundary
             "月落烏啼霜滿天",
             "床前明月光",
             "\xe2\x84\xaa"
             "elvin 溫度", // the Kelvin sign folds to k
             "ΣΊΣΥΦΟΣ σίσυφος",
             "bad \xff\xfe bytes 明月",
             "發熱　頭痛",
             "[ ] { } ^ ! * ? # \\",
             "end 明",
             "\u017Ftra\u00DFe \u01C5 \u023A grows when folded",
         })
        rows.add(v);
    return rows;
}

TEST(ContentScanner, FindsExactlyWhatTheReferenceLikeFinds)
{
    const Rows rows = awkwardRows();
    const ContentScanner scanner(rows.view());
    for (const char *p : {"%%",
                          "%明月%",
                          "%明%",
                          "%月%",
                          "%kelvin%",
                          "%KELVIN%",
                          "%fever%",
                          "%ＦＥＶＥＲ%",
                          "%vitaminc%",
                          "%panax ginseng%",
                          "%'s%",
                          "%100%%",
                          "%a_b%",
                          "%a[_]b%",
                          "%[!a]Xb%",
                          "%明_%",
                          "%_%",
                          "%σίσυφος%",
                          "%ς%",
                          "%\xff%",
                          "%bytes 明%",
                          "%發熱　頭痛%",
                          "%]%",
                          "%[[]%",
                          "%\\%",
                          "%end 明%",
                          "明%",
                          "%月",
                          "%Ｃ含量%",
                          "%c含%",
                          "%[0-9]%",
                          "%明_%",
                          "%_明%",
                          "%__明_%",
                          "%明__%",
                          "%_月_%",
                          "%___________明%",
                          "%s_%",
                          "%ǆ_%",
                          "%_ⱥ%",
                          "%_ \xff%",
                          "%_%",
                          "%___%",
                          "%__________________%",
                          "%_"}) {
        const std::optional<std::vector<std::uint32_t>> got = scanner.rowsLike(p);
        ASSERT_TRUE(got.has_value()) << p;
        EXPECT_EQ(*got, referenceRows(rows, p)) << p;
    }
    EXPECT_FALSE(scanner.rowsLike("%[明%").has_value());
}

// Up to five characters drawn from alphabet, as UTF-8.
std::string randomPattern(std::mt19937 &rng, const std::u32string &alphabet)
{
    std::string p;
    const int n = std::uniform_int_distribution<int>(0, 5)(rng);
    for (int k = 0; k < n; ++k) {
        const char32_t c = alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(rng)];
        p += QString::fromUcs4(&c, 1).toStdString();
    }
    return p;
}

TEST(ContentScanner, RandomPatternsAgreeWithTheReferenceLike)
{
    const Rows rows = awkwardRows();
    const ContentScanner scanner(rows.view());
    std::mt19937 rng(7);
    const std::u32string alphabet = U"明月光發熱頭痛aAbBxX Ｘｆ%_[]!-\u212A";
    for (int i = 0; i < 3000; ++i) {
        const std::string p = randomPattern(rng, alphabet);
        JetLikePattern like;
        if (!like.compile(p, 0)) {
            EXPECT_FALSE(scanner.rowsLike(p).has_value()) << p;
            continue;
        }
        const std::vector<std::uint32_t> want = referenceRows(rows, p);
        EXPECT_EQ(scanner.rowsLike(p), want) << p;
        std::vector<std::uint32_t> all(rows.size());
        for (size_t r = 0; r < all.size(); ++r)
            all[r] = std::uint32_t(r);
        EXPECT_EQ(scanner.rowsLikeAmong(p, all), want) << p;
    }
}

Rows folded(const Rows &rows)
{
    Rows out;
    for (size_t r = 0; r < rows.size(); ++r) {
        if (rows.view().null(r)) {
            out.add(std::nullopt);
        } else {
            std::string text(rows.view().at(r));
            foldContent(text);
            EXPECT_EQ(text, foldUtf8(rows.view().at(r)));
            out.add(text);
        }
    }
    return out;
}

// The content is held folded: the like must not see a difference, and neither may the
// scanner.
TEST(FoldedContent, LikeAndScannerGiveTheSameRowsAsOnTheWrittenContent)
{
    const Rows rows = awkwardRows();
    const Rows foldedRows = folded(rows);
    const ContentScanner onFolded(foldedRows.view(), true);
    EXPECT_EQ(onFolded.ownBytes(), 0u);
    std::mt19937 rng(3);
    const std::u32string alphabet = U"明月aAsSkKxX Ｘｆ%_[]!-\u212A\u017F\u03A3\u03C2\u03C3ΊΣ";
    for (int i = 0; i < 3000; ++i) {
        const std::string p = randomPattern(rng, alphabet);
        JetLikePattern like;
        if (!like.compile(p, 0))
            continue;
        const std::vector<std::uint32_t> want = referenceRows(rows, p);
        EXPECT_EQ(referenceRows(foldedRows, p), want) << p;
        EXPECT_EQ(onFolded.rowsLike(p), want) << p;
    }
}

TEST(FoldedContent, FoldingTwiceChangesNothing)
{
    for (char32_t c = 0; c <= 0x10FFFF; ++c)
        if (c < 0xD800 || c > 0xDFFF) {
            ASSERT_EQ(foldChar(foldChar(c)), foldChar(c)) << std::hex << std::uint32_t(c);
        }
}

TEST(NeedleFinder, FindsWhatMemmemFinds)
{
    // Texts long enough for rounds of 128 places, with bytes that begin no character, on
    // every vector width's path.
    for (const VectorWidth width : {VectorWidth::None, VectorWidth::Avx2, VectorWidth::Avx512}) {
        limitVectorWidth(width);
        std::mt19937 rng(11);
        std::uint64_t counts[256] = {};
        for (int k = 0; k < 256; ++k)
            counts[k] = std::uint64_t(rng() % 1000);
        const std::string alphabet = "ab\xe6\x98\x8e";
        for (int i = 0; i < 2000; ++i) {
            std::string text(std::uniform_int_distribution<size_t>(0, 1000)(rng), 'x');
            for (char &c : text)
                c = alphabet[rng() % alphabet.size()];
            std::string needle(std::uniform_int_distribution<size_t>(1, 6)(rng), 'x');
            for (char &c : needle)
                c = alphabet[rng() % alphabet.size()];
            const NeedleFinder finder(needle, counts);
            const size_t from = text.empty() ? 0 : rng() % text.size();
            const char *end = text.data() + text.size();
            const void *want = memmem(text.data() + from, text.size() - from, needle.data(), needle.size());
            EXPECT_EQ(finder.find(text.data() + from, end), want) << text << " / " << needle;
            // Counting as it goes, it adds the bytes before the place that begin a character.
            std::size_t starts = 7;
            EXPECT_EQ(finder.findCounting(text.data() + from, end, starts), want) << text << " / " << needle;
            const char *upTo = want ? static_cast<const char *>(want) : end;
            EXPECT_EQ(starts, 7 + std::size_t(std::count_if(
                                      static_cast<const char *>(text.data() + from), upTo,
                                      [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; })))
                << text << " / " << needle;
        }
    }
    limitVectorWidth(VectorWidth::Avx512);
}

TEST(RunFast, OrdersAndCombinesTermsAsTheStatementsSay)
{
    const Rows rows = awkwardRows();
    const ContentScanner scanner(rows.view());
    std::vector<std::uint32_t> newest(rows.size());
    for (size_t r = 0; r < newest.size(); ++r)
        newest[r] = std::uint32_t(newest.size() - 1 - r);
    auto run = [&](const char *query) {
        return runFast(analyseQuery(QString::fromUtf8(query)).statement, scanner, newest);
    };
    EXPECT_EQ(run(""), newest);
    EXPECT_EQ(run("-"), newest);
    EXPECT_EQ(run("+"), std::vector<std::uint32_t>{});
    EXPECT_EQ(run("明 月"), (std::vector<std::uint32_t>{10, 7}));
    EXPECT_EQ(run("+月光 發熱"), (std::vector<std::uint32_t>{0, 7, 11}));
    EXPECT_EQ(run("明月 [x"), std::nullopt); // an invalid pattern is the plain path's to report
}

// The work of a search, counted in content bytes looked at: a repeated term costs what it
// costs once, and the terms of an AND statement after the first look only at the rows
// still in, however many terms there are.
TEST(RunFast, WorkGrowsWithTheRowsStillInNotWithTheCollectionPerTerm)
{
    const Rows rows = awkwardRows();
    const std::uint64_t allBytes = rows.bytes.size();
    std::vector<std::uint32_t> newest(rows.size());
    for (size_t r = 0; r < newest.size(); ++r)
        newest[r] = std::uint32_t(newest.size() - 1 - r);
    // Work and rows of one search on a fresh scanner.
    auto run = [&](const QString &box) {
        const ContentScanner scanner(rows.view());
        const auto found = runFast(analyseQuery(box).statement, scanner, newest);
        EXPECT_TRUE(found.has_value());
        return std::make_pair(scanner.bytesVisited(), found.value_or(std::vector<std::uint32_t>{}));
    };

    for (const QString &op : {QString(), QStringLiteral("+")}) {
        QString repeated = op + QStringLiteral("[a]");
        for (int i = 0; i < 30000; ++i)
            repeated += QStringLiteral(" [a]");
        EXPECT_EQ(run(repeated), run(op + QStringLiteral("[a]"))) << op.toStdString();
    }

    // 床前明月光 and 1,000 different terms that all hold on its row (床 followed by
    // anything but a given character).
    const std::string row = "床前明月光";
    QString box = QString::fromStdString(row);
    int terms = 0;
    for (char32_t c = 0x4E00; terms < 1000; ++c, ++terms)
        box += QStringLiteral(" 床[!") + QString::fromUcs4(&c, 1) + QStringLiteral("]");
    const auto [work, found] = run(box);
    EXPECT_EQ(found, std::vector<std::uint32_t>{7});
    EXPECT_LE(work, allBytes + std::uint64_t(terms) * row.size());
}

} // namespace

// A text of several megabytes is scanned in two halves at once: the rows found are those of
// one scan over the whole, and the watcher sees each once, each lane's in file order, the
// first lane's before the second's.
TEST(ContentScanner, TwoHalvesFindWhatOneScanFinds)
{
    const Rows awkward = awkwardRows();
    Rows rows;
    std::string filler;
    for (int k = 0; k < 40; ++k)
        filler += "床前看月光，疑是地上霜。";
    for (int copy = 0; rows.bytes.size() < (std::size_t(12) << 20); ++copy) {
        for (size_t r = 0; r < awkward.size(); ++r)
            rows.add(awkward.view().null(r) ? std::nullopt
                                            : std::optional<std::string>(std::string(awkward.view().at(r))));
        for (int k = 0; k < 20; ++k) // most rows hold 月光: the rows by the halves' border too
            rows.add((copy + k) % 3 ? filler : "明" + filler + "月光");
    }
    ASSERT_GT(rows.size(), 10000u);
    const ContentScanner scanner(rows.view());
    for (const std::string pattern : {"%明月%", "%發熱%", "%fever%", "%月光%", "%咖啡因%"}) {
        std::mutex mutex;
        std::vector<std::pair<unsigned, std::uint32_t>> seen;
        const RowWatcher watcher = [&](unsigned lane, std::uint32_t row, std::string_view text,
                                       std::size_t firstHit) {
            EXPECT_EQ(firstHit, text.find(foldUtf8(pattern.substr(1, pattern.size() - 2))));
            EXPECT_EQ(text, foldUtf8(rows.view().at(row)));
            const std::lock_guard lock(mutex);
            seen.emplace_back(lane, row);
        };
        const std::vector<std::uint32_t> want = referenceRows(rows, pattern);
        EXPECT_EQ(scanner.rowsLike(pattern, nullptr, &watcher), want) << pattern;
        std::vector<std::uint32_t> lanes[2];
        for (const auto &[lane, row] : seen)
            lanes[lane].push_back(row);
        EXPECT_TRUE(std::is_sorted(lanes[0].begin(), lanes[0].end()));
        EXPECT_TRUE(std::is_sorted(lanes[1].begin(), lanes[1].end()));
        if (!want.empty()) {
            EXPECT_FALSE(lanes[0].empty() || lanes[1].empty()) << pattern;
            EXPECT_LT(lanes[0].back(), lanes[1].front());
        }
        lanes[0].insert(lanes[0].end(), lanes[1].begin(), lanes[1].end());
        EXPECT_EQ(lanes[0], want) << pattern;
    }
}
