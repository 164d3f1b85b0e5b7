#include "engine/variantcolumn.h"
#include "search/searchrun.h"
#include "testdata.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <algorithm>

using namespace morvessa;
using morvessa::test::u;

namespace {

QStringList subjects(const SearchOutcome &o)
{
    QStringList list;
    for (int r = 0; o.rows && r < o.rows->count(); ++r)
        list << o.rows->text(r, 0);
    return list;
}

QStringList search(const char *collection, const char *query, Matching matching)
{
    return subjects(runSearch(test::connFor(collection), analyseQuery(u(query)), matching));
}

} // namespace

// tests/data/variants: 咳嗽一 holds 食後, 咳嗽二 食后, 無日期 发热 (simplified); 桂枝湯 脈.
TEST(VariantSearch, FindsOtherFormsOnlyWhenAskedAndKeepsTheOrder)
{
    struct Case {
        const char *query;
        QStringList exact, variants; // subjects in result order
    };
    const QString guizhi = u("桂枝湯"), mahuang = u("麻黃湯"), quankong = u("全形空白"), nodate = u("無日期"),
                  folder = u("資料夾有空白"), markup = u("標記字樣"), after1 = u("咳嗽一"), after2 = u("咳嗽二");
    const QStringList fever = {folder, quankong, mahuang, guizhi, markup}; // newest first, no date last
    const Case cases[] = {
        {"发热", {nodate}, fever + QStringList{nodate}},
        {"發熱", fever, fever + QStringList{nodate}},
        {"脉", {}, {guizhi}},
        {"脉浮", {}, {guizhi}},
        // 后 is also the simplified form of 後: both are found (the documented over-match).
        {"后", {after2}, {after1, after2}},
        {"後", {after1}, {after1, after2}},
        {"食_，", {after1, after2}, {after1, after2}}, // wildcards after folding
        {"食[後]", {after1}, {after1, after2}},        // a set folds with its characters
        {"-发热 头痛", {nodate}, {quankong, mahuang, nodate}},
        // An OR query keeps the file's order, as the exact one does.
        {"+脉 头痛", {nodate}, {guizhi, mahuang, nodate, u("空白名稱"), u("檔案不存在"), quankong}},
        {"Fever", {u("全形字母")}, {u("全形字母")}}, // letters keep case and width folding
    };
    for (const Case &c : cases) {
        EXPECT_EQ(search("variants", c.query, Matching::Exact).join(u(" ")), c.exact.join(u(" "))) << c.query;
        EXPECT_EQ(search("variants", c.query, Matching::Variants).join(u(" ")), c.variants.join(u(" ")))
            << c.query;
    }
    // Not found and an invalid pattern behave as in the exact search.
    const SearchOutcome none = runSearch(test::connFor("variants"), analyseQuery(u("咖啡")), Matching::Variants);
    EXPECT_FALSE(none.found());
    EXPECT_THROW(runSearch(test::connFor("variants"), analyseQuery(u("發[熱")), Matching::Variants), DbError);
}

TEST(VariantSearch, ExactSearchIsTheSameWithTheFoldedColumnBuilt)
{
    const char *queries[] = {"", "發熱", "发热 头痛", "+後 脈", "食_", "FEVER", "a_b", "100%", "[!a]"};
    for (const char *collection : {"collection", "variants"}) {
        std::vector<QStringList> before;
        for (const char *q : queries)
            before.push_back(search(collection, q, Matching::Exact));
        Connection c;
        c.open(test::connFor(collection));
        const auto folded = variantTableFor(c.table());
        ASSERT_EQ(folded->rowCount(), c.table()->rowCount());
        EXPECT_EQ(variantTableFor(c.table()), folded); // built once per table
        for (std::size_t i = 0; i < std::size(queries); ++i)
            EXPECT_EQ(search(collection, queries[i], Matching::Exact), before[i]) << queries[i];
        // The variant search leaves the table's own content as it was read.
        EXPECT_NE(c.table()->content.bytes, folded->content.bytes);
    }
}

TEST(VariantSearch, FoldedColumnKeepsRowsNullsAndCharacterCounts)
{
    Connection c;
    c.open(test::connFor("collection"));
    const auto &table = *c.table();
    const auto folded = variantTableFor(c.table());
    for (std::size_t r = 0; r < table.rowCount(); ++r) {
        EXPECT_EQ(folded->content.null(r), table.content.null(r));
        EXPECT_EQ(QString::fromUtf8(folded->content.at(r)).toUcs4().size(),
                  QString::fromUtf8(table.content.at(r)).toUcs4().size());
        EXPECT_EQ(folded->subject.at(r), table.subject.at(r));
        EXPECT_EQ(folded->htm.at(r), table.htm.at(r));
    }
    EXPECT_TRUE(std::ranges::equal(folded->newestFirst(), table.newestFirst()));
}
