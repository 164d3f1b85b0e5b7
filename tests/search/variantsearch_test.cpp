#include "engine/scannercache.h"
#include "engine/variantcolumn.h"
#include "search/contextsearch.h"
#include "search/searchrun.h"
#include "store/keptcolumns.h"
#include "store/mdbreader.h"
#include "testdata.h"
#include "text/variants.h"

#include <QThread>

#include <algorithm>
#include <gtest/gtest.h>

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
    return subjects(test::valueOf(runSearch(test::connFor(collection), analyseQuery(u(query)), matching)));
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
    const SearchOutcome none =
        test::valueOf(runSearch(test::connFor("variants"), analyseQuery(u("咖啡")), Matching::Variants));
    EXPECT_FALSE(none.found());
    const Result<SearchOutcome> invalid =
        runSearch(test::connFor("variants"), analyseQuery(u("發[熱")), Matching::Variants);
    ASSERT_FALSE(invalid.ok());
    EXPECT_TRUE(invalid.message().contains(test::dataFolder("variants") + QStringLiteral("/jst.mdb")) &&
                invalid.message().contains(u("無效")))
        << invalid.message().toStdString();
}

TEST(VariantSearch, ExactSearchIsTheSameWithTheFoldedColumnBuilt)
{
    const char *queries[] = {"", "發熱", "发热 头痛", "+後 脈", "食_", "FEVER", "a_b", "100%", "[!a]"};
    for (const char *collection : {"collection", "variants"}) {
        std::vector<QStringList> before;
        for (const char *q : queries)
            before.push_back(search(collection, q, Matching::Exact));
        const Collection read;
        Connection c(read);
        ASSERT_TRUE(c.open(test::connFor(collection)));
        const auto folded = test::valueOf(variantTableFor(*read.tables, c.table()));
        ASSERT_EQ(folded->rowCount(), c.table()->rowCount());
        EXPECT_EQ(test::valueOf(variantTableFor(*read.tables, c.table())), folded); // built once per table
        for (std::size_t i = 0; i < std::size(queries); ++i)
            EXPECT_EQ(search(collection, queries[i], Matching::Exact), before[i]) << queries[i];
        // The variant search leaves the table's own content as it was read.
        EXPECT_NE(c.table()->content.bytes, folded->content.bytes);
    }
}

// A variant search scans with the scanner its collection keeps for the table, as the
// exact search does: making one costs a sample of the whole content, every search.
TEST(VariantSearch, UsesTheScannerTheCollectionKeeps)
{
    const Collection read;
    Connection c(read);
    ASSERT_TRUE(c.open(test::connFor("variants")));
    const auto scanner = scannerFor(*read.tables, c.table(), c.table()->content, c.table()->contentFolded);
    const std::uint64_t before = scanner->bytesVisited();
    ASSERT_TRUE(runSearchOn(c, analyseQuery(u("发热")), Matching::Variants));
    EXPECT_GT(scanner->bytesVisited(), before);
}

TEST(VariantSearch, FoldedColumnKeepsRowsNullsAndCharacterCounts)
{
    const Collection read;
    Connection c(read);
    ASSERT_TRUE(c.open(test::connFor("collection")));
    const auto &table = *c.table();
    const auto folded = test::valueOf(variantTableFor(*read.tables, c.table()));
    for (std::size_t r = 0; r < table.rowCount(); ++r) {
        EXPECT_EQ(folded->content.null(r), table.content.null(r));
        EXPECT_EQ(QString::fromUtf8(folded->content.at(r)).toUcs4().size(),
                  QString::fromUtf8(table.content.at(r)).toUcs4().size());
        EXPECT_EQ(folded->subject.at(r), table.subject.at(r));
        EXPECT_EQ(folded->htm.at(r), table.htm.at(r));
    }
    EXPECT_TRUE(std::ranges::equal(folded->newestFirst(), table.newestFirst()));
}

// A column large enough to be folded in two halves at once folds as row by row.
TEST(VariantColumn, ALargeColumnFoldsAsEachRowDoes)
{
    const auto variants = test::valueOf(variantTable());
    TextColumnBuilder column;
    const std::string pieces[] = {"发热恶寒，头痛。", "Fever ＡＢ 后", "", "食後，痰多。𠀀髮", "a\xFF\xE6"};
    for (std::size_t row = 0; column.bytes.size() < (std::size_t(9) << 20); ++row) {
        const std::string &piece = pieces[row % std::size(pieces)];
        for (std::size_t k = 0; k < row % 97; ++k)
            column.bytes += piece;
        column.endValue(row % 13 == 5);
    }
    const TextColumnBuilder folded = foldVariantColumn(column.view(), *variants);
    ASSERT_EQ(folded.ends.size(), column.ends.size());
    EXPECT_TRUE(folded.isNull == column.isNull);
    std::size_t differing = 0;
    for (std::size_t row = 0; row < column.ends.size(); ++row) {
        const std::string expected = variants->foldUtf8(column.view().at(row));
        differing += folded.view().at(row) != expected;
    }
    EXPECT_EQ(differing, 0u);
    EXPECT_EQ(folded.bytes.size(), folded.ends.back());
}

namespace {

// A kept-files folder of the test's own and a settled copy of the variants collection (a
// file changed within the last moment is read but not kept).
class KeptCopy : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_cache.isValid() && m_dir.isValid());
        m_settings.keptFolder = m_cache.path();
        m_path = test::copyDatabase(m_dir, "variants") + QStringLiteral("/jst.mdb");
        QThread::msleep(150);
    }

    // A fresh table read back from the kept column file.
    std::shared_ptr<const StoreTable> load() const
    {
        return test::valueOf(readMaindata(m_path, ContentForm::Folded, m_settings));
    }
    // Subjects found in table for each query, one line a query.
    static QStringList found(const std::shared_ptr<const StoreTable> &table, Matching matching)
    {
        QStringList lines;
        for (const char *q : {"发热", "脉浮", "后", "食_，", "-发热 头痛", "+脉 头痛", "Fever", "咖啡"}) {
            Connection c;
            test::valueOf(c.openTable(table, QStringLiteral("variants")));
            lines << subjects(test::valueOf(runSearchOn(c, analyseQuery(u(q)), matching))).join(u(" "));
        }
        return lines;
    }
    std::uint64_t keptBytes() const
    {
        std::uint64_t bytes = 0;
        for (const QFileInfo &f : QDir(m_cache.path()).entryInfoList(QDir::Files | QDir::Hidden))
            bytes += std::uint64_t(f.size());
        return bytes;
    }

    QTemporaryDir m_cache, m_dir;
    QString m_path;
    ReadSettings m_settings;
};

} // namespace

// A variant search looks for the forms in the content as it is: no folded copy is made,
// however many searches run, and exact searches are not touched by it.
TEST_F(KeptCopy, VariantSearchFoldsNoCopyAndExactSearchStaysAsItWas)
{
    const auto first = load();
    const QStringList exact = found(first, Matching::Exact);
    const std::uint64_t before = variantColumnsFolded();
    const QStringList variants = found(first, Matching::Variants);
    EXPECT_EQ(found(first, Matching::Exact), exact);
    const auto second = load();
    ASSERT_NE(second, first);
    EXPECT_EQ(found(second, Matching::Variants), variants);
    EXPECT_EQ(variantColumnsFolded(), before);
    EXPECT_EQ(variants[0], u("資料夾有空白 全形空白 麻黃湯 桂枝湯 標記字樣 無日期")); // 发热 finds 發熱 too
}

// A plain search, one with context lines and a variant search keep one column file, about
// the size of the database; the window, the terminal tool and the reader share it.
TEST_F(KeptCopy, ThreeKindsOfSearchKeepOneCopy)
{
    const QString conn = buildConnString(m_dir.path());
    const QueryAnalysis analysis = analyseQuery(u("发热"));
    Collection collection;
    collection.reading = m_settings;
    test::valueOf(runSearch(conn, analysis, Matching::Exact, collection));
    test::valueOf(runContextSearch(conn, analysis, Matching::Exact, collection));
    test::valueOf(runSearch(conn, analysis, Matching::Variants, collection));
    test::valueOf(runContextSearch(conn, analysis, Matching::Variants, collection));
    EXPECT_EQ(QDir(m_cache.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    EXPECT_LE(double(keptBytes()), 1.3 * double(QFileInfo(m_path).size()));
}

TEST_F(KeptCopy, FilesOfEarlierVersionsGoWhenACopyIsKept)
{
    // A variant-folded column an earlier version kept, and a column file of another version.
    for (const char *name :
         {"0123456789abcdef0123456789abcdef.derived", "fedcba9876543210fedcba9876543210.columns"}) {
        QFile f(m_cache.path() + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("MVCOLS\r\n\x01\0\0\0", 12) + QByteArray(4096, 'x'));
    }
    load();
    EXPECT_EQ(QDir(m_cache.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}
