#include "engine/variantcolumn.h"
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
        Connection c;
        ASSERT_TRUE(c.open(test::connFor(collection)));
        const auto folded = test::valueOf(variantTableFor(c.table()));
        ASSERT_EQ(folded->rowCount(), c.table()->rowCount());
        EXPECT_EQ(test::valueOf(variantTableFor(c.table())), folded); // built once per table
        for (std::size_t i = 0; i < std::size(queries); ++i)
            EXPECT_EQ(search(collection, queries[i], Matching::Exact), before[i]) << queries[i];
        // The variant search leaves the table's own content as it was read.
        EXPECT_NE(c.table()->content.bytes, folded->content.bytes);
    }
}

TEST(VariantSearch, FoldedColumnKeepsRowsNullsAndCharacterCounts)
{
    Connection c;
    ASSERT_TRUE(c.open(test::connFor("collection")));
    const auto &table = *c.table();
    const auto folded = test::valueOf(variantTableFor(c.table()));
    for (std::size_t r = 0; r < table.rowCount(); ++r) {
        EXPECT_EQ(folded->content.null(r), table.content.null(r));
        EXPECT_EQ(QString::fromUtf8(folded->content.at(r)).toUcs4().size(),
                  QString::fromUtf8(table.content.at(r)).toUcs4().size());
        EXPECT_EQ(folded->subject.at(r), table.subject.at(r));
        EXPECT_EQ(folded->htm.at(r), table.htm.at(r));
    }
    EXPECT_TRUE(std::ranges::equal(folded->newestFirst(), table.newestFirst()));
}

namespace {

// A kept-files folder of the test's own, a settled copy of the variants collection (a
// file changed within the last moment is read but not kept), and its tables read anew
// from the kept column file, one fresh table (a fresh owner of the folded column) a load.
class KeptFoldedColumn : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_cache.isValid() && m_dir.isValid());
        m_before = keptColumnsFolder();
        setKeptColumnsFolder(m_cache.path());
        m_path = test::copyDatabase(m_dir, "variants") + QStringLiteral("/jst.mdb");
        QThread::msleep(150);
    }
    void TearDown() override { setKeptColumnsFolder(m_before); }

    std::shared_ptr<const StoreTable> load() const
    {
        return test::valueOf(readMaindata(m_path, ContentForm::Folded));
    }
    QString derivedFile() const
    {
        const QStringList files = QDir(m_cache.path()).entryList({QStringLiteral("*.derived")}, QDir::Files);
        return files.size() == 1 ? m_cache.path() + QLatin1Char('/') + files.front() : QString();
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
    static std::string contentOf(const StoreTable &t)
    {
        std::string out;
        for (std::size_t r = 0; r < t.rowCount(); ++r)
            out += (t.content.null(r) ? std::string("<null>") : std::string(t.content.at(r))) + '\n';
        return out;
    }

    QTemporaryDir m_cache, m_dir;
    QString m_path, m_before;
};

} // namespace

TEST_F(KeptFoldedColumn, IsFoldedOnceThenReadBackOnLaterLoads)
{
    const auto first = load();
    const QStringList exact = found(first, Matching::Exact);
    const VariantColumnCounts before = variantColumnCounts();
    const auto folded = test::valueOf(variantTableFor(first));
    EXPECT_EQ(variantColumnCounts().folded, before.folded + 1);
    ASSERT_FALSE(derivedFile().isEmpty());
    const QStringList variants = found(first, Matching::Variants);
    EXPECT_EQ(found(first, Matching::Exact), exact);

    const auto second = load();
    ASSERT_NE(second, first);
    const auto readBack = test::valueOf(variantTableFor(second));
    EXPECT_EQ(variantColumnCounts().folded, before.folded + 1);
    EXPECT_EQ(variantColumnCounts().readBack, before.readBack + 1);
    EXPECT_TRUE(contentOf(*readBack) == contentOf(*folded));
    EXPECT_EQ(found(second, Matching::Variants), variants);
    EXPECT_EQ(found(second, Matching::Exact), exact);
    EXPECT_EQ(variants[0], u("資料夾有空白 全形空白 麻黃湯 桂枝湯 標記字樣 無日期")); // 发热 finds 發熱 too
}

TEST_F(KeptFoldedColumn, ADamagedOrForeignCopyIsFoldedAgain)
{
    const auto first = load();
    const std::string good = contentOf(*test::valueOf(variantTableFor(first)));
    const QStringList variants = found(first, Matching::Variants);
    const QString kept = derivedFile();
    ASSERT_FALSE(kept.isEmpty());
    QFile file(kept);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();
    const qsizetype endsAt = 4096, textAt = 4096 + qsizetype(first->rowCount()) * 8;
    ASSERT_GT(bytes.size(), textAt + 4);
    auto changed = [&](qsizetype at) {
        QByteArray b = bytes;
        b[at] = char(b[at] ^ 0x21);
        return b;
    };
    const struct {
        const char *what;
        QByteArray bytes;
    } damages[] = {
        {"a byte of the folded text changed", changed(textAt + 3)},
        {"a byte of the row ends changed", changed(endsAt + 9)},
        {"another version of the file", changed(8)},
        {"made for other content or other dictionaries", changed(16)},
        {"cut short", bytes.left(bytes.size() - 2)},
        {"cut to its header", bytes.left(4096)},
        {"empty", QByteArray()},
    };
    for (const auto &d : damages) {
        QFile f(kept);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(d.bytes);
        f.close();
        const VariantColumnCounts before = variantColumnCounts();
        const auto table = load();
        EXPECT_TRUE(contentOf(*test::valueOf(variantTableFor(table))) == good) << d.what;
        EXPECT_EQ(variantColumnCounts().folded, before.folded + 1) << d.what;
        EXPECT_EQ(found(table, Matching::Variants), variants) << d.what;
        // Folded again, kept again: the next load reads it back.
        test::valueOf(variantTableFor(load()));
        EXPECT_EQ(variantColumnCounts().readBack, before.readBack + 1) << d.what;
    }
}

TEST_F(KeptFoldedColumn, AChangedCollectionIsFoldedAgain)
{
    test::valueOf(variantTableFor(load()));
    ASSERT_FALSE(derivedFile().isEmpty());
    test::copyDatabase(m_dir, "collection"); // the same path, other records
    QThread::msleep(150);
    const VariantColumnCounts before = variantColumnCounts();
    const auto table = load();
    const auto folded = test::valueOf(variantTableFor(table));
    EXPECT_EQ(variantColumnCounts().folded, before.folded + 1);
    EXPECT_EQ(variantColumnCounts().readBack, before.readBack);
    ASSERT_EQ(folded->rowCount(), table->rowCount());
    const TextColumnBuilder fresh = foldVariantColumn(table->content, *test::valueOf(variantTable()));
    EXPECT_TRUE(folded->content.bytes == fresh.bytes);
}

TEST(KeptDerivedColumn, IsAMissForAnyOtherKey)
{
    QTemporaryDir cache;
    const QString before = keptColumnsFolder();
    setKeptColumnsFolder(cache.path());
    TextColumnBuilder column;
    column.append("abc", false);
    column.append("", true);
    column.append("de", false);
    const DerivedColumnKey key{0x1234, 0x5678, 3};
    keepDerived(key, column.view());
    const auto back = openKeptDerived(key, column.isNull);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->column.bytes, "abcde");
    EXPECT_TRUE(std::ranges::equal(back->column.ends, column.ends));
    for (const DerivedColumnKey &other : {DerivedColumnKey{0x1234, 0x5679, 3}, DerivedColumnKey{0x1235, 0x5678, 3},
                                          DerivedColumnKey{0x1234, 0x5678, 2}})
        EXPECT_FALSE(openKeptDerived(other, std::span(column.isNull).first(other.rows)));
    // Content not read from a column file has no key: never kept.
    keepDerived({0, 0x5678, 3}, column.view());
    EXPECT_EQ(QDir(cache.path()).entryList({QStringLiteral("*.derived")}, QDir::Files).size(), 1);
    setKeptColumnsFolder(before);
}
