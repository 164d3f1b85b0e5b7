#include "search/contextsearch.h"
#include "testdata.h"

#include <gtest/gtest.h>

using namespace morvessa;
using morvessa::test::u;

namespace {

QStringList shown(const std::vector<ContextLine> &lines)
{
    QStringList out;
    for (const ContextLine &l : lines)
        out << QString::number(l.offset) + QLatin1Char(':') + l.before + u("【") + l.hit + u("】") + l.after;
    return out;
}

} // namespace

// The lines made while the scan has each record at hand are the lines of the record read
// again afterwards: every kind of term, both matchings, caps per record, lines held in
// memory or gone to a file; the collections are read from their kept copies after the first.
TEST(ContextSearch, LinesMadeDuringTheScanAreTheRecordsLines)
{
    const char *queries[] = {"發熱",  "发热 头痛", "+汗出 咳嗽 fever", "脾_氣",
                             "健%氣", "第1_段",    "[甲-癸]",          "ｖｉｔａｍｉｎ",
                             "It's",  "：_",       "尾端標記",         "后 %"};
    struct Shape {
        int width, maxHits;
        std::size_t memoryLimit;
    } shapes[] = {{0, 0, std::size_t(2) << 20}, {3, 2, 64}, {20, 0, 1}};
    std::size_t compared = 0;
    for (const char *collection : {"collection", "variants"}) {
        for (const Matching matching : {Matching::Exact, Matching::Variants}) {
            for (const char *query : queries) {
                const QueryAnalysis a = analyseQuery(u(query));
                for (const Shape &shape : shapes) {
                    ContextOptions during{shape.width, shape.maxHits, true, shape.memoryLimit};
                    ContextOptions after = during;
                    after.duringScan = false;
                    const ContextSearch s = test::valueOf(
                        runContextSearch(test::connFor(collection), a, matching, Collection(), during));
                    const ContextSearch t = test::valueOf(
                        runContextSearch(test::connFor(collection), a, matching, Collection(), after));
                    const int rows = s.outcome.rows ? s.outcome.rows->count() : 0;
                    ASSERT_EQ(rows, t.outcome.rows ? t.outcome.rows->count() : 0) << query;
                    // In two parts, rows a few at a time, so that the stretches looked up
                    // together end inside the result.
                    std::vector<std::vector<ContextLine>> byRow(static_cast<std::size_t>(rows));
                    const auto keep = [&](int r, const LinePieces &p) {
                        byRow[std::size_t(r)].push_back(contextLine(p));
                    };
                    s.eachLineOfRows(0, rows / 2, keep, 3);
                    s.eachLineOfRows(rows / 2, rows - rows / 2, keep, 3);
                    for (int r = 0; r < rows; ++r) {
                        const QStringList lines = shown(byRow[std::size_t(r)]);
                        EXPECT_EQ(lines, shown(t.linesOf(r))) << collection << ' ' << query << ' ' << r;
                        EXPECT_EQ(shown(s.linesOf(r)), lines) << collection << ' ' << query << ' ' << r;
                        compared += std::size_t(lines.size());
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 200u);
}
