#include "engine/recordstore.h"
#include "search/queryanalysis.h"
#include "search/searchrun.h"
#include "store/storetable.h"
#include "testdata.h"

#include <QStringList>

#include <algorithm>
#include <numeric>
#include <tuple>

#include <gtest/gtest.h>

using namespace morvessa;
using morvessa::test::u;

namespace {

const QString kListAll = QStringLiteral("select subject,htm from  maindata order by date desc");

QStringList subjects(const ResultRows &rows)
{
    QStringList out;
    for (int r = 0; r < rows.count(); ++r)
        out << rows.text(r, 0);
    return out;
}

QStringList run(const QString &sql, const char *fixture = "collection")
{
    Connection c;
    EXPECT_TRUE(c.open(test::connFor(fixture)).ok());
    Recordset r;
    const Result<void> opened = r.open(sql, c);
    EXPECT_TRUE(opened.ok()) << opened.message().toStdString();
    return r.rows() ? subjects(*r.rows()) : QStringList();
}

QStringList list(std::initializer_list<const char *> items)
{
    QStringList out;
    for (const char *s : items)
        out << u(s);
    return out;
}

} // namespace

TEST(StatementTest, ListAllIsNewestFirstWithUndatedLastAndTiesInFileOrder)
{
    Connection c;
    ASSERT_TRUE(c.open(test::connFor("collection")));
    const StoreTable &t = *c.table();
    std::vector<std::size_t> expected(t.rowCount());
    std::iota(expected.begin(), expected.end(), 0);
    std::sort(expected.begin(), expected.end(), [&](std::size_t a, std::size_t b) {
        return std::tuple(t.dateNull[a], -t.date[a], a) < std::tuple(t.dateNull[b], -t.date[b], b);
    });
    QStringList expectedSubjects;
    for (std::size_t i : expected) {
        const auto v = t.subject.at(i);
        expectedSubjects << QString::fromUtf8(v.data(), qsizetype(v.size()));
    }
    Recordset r;
    ASSERT_TRUE(r.open(kListAll, c));
    EXPECT_EQ(subjects(*r.rows()), expectedSubjects);
    EXPECT_EQ(expectedSubjects.first(), u("資料夾有空白"));
    EXPECT_EQ(expectedSubjects.last(), u("無日期"));
    EXPECT_LT(expectedSubjects.indexOf(u("咳嗽一")), expectedSubjects.indexOf(u("咳嗽二")));

    // The collection has one undated record, so its undated ties need a table of their own.
    const struct {
        const char *subject;
        double date;
        bool undated;
    } rows[] = {{"u1", 0, true},  {"d1", 5, false}, {"u2", 0, true},  {"d2", 5, false},
                {"n1", 7, false}, {"u3", 0, true},  {"d3", 5, false}, {"u4", 0, true}};
    StoreTableBuilder builder;
    for (const auto &row : rows) {
        builder.subject.append(row.subject, false);
        builder.htm.append(std::string(row.subject) + ".htm", false);
        builder.content.append("x", false);
        builder.addDate(row.date, row.undated);
    }
    Connection ties;
    ASSERT_TRUE(ties.openTable(std::move(builder).finish(), QStringLiteral("ties")));
    Recordset tied;
    ASSERT_TRUE(tied.open(kListAll, ties));
    EXPECT_EQ(
        subjects(*tied.rows()),
        QStringList({QStringLiteral("n1"), QStringLiteral("d1"), QStringLiteral("d2"), QStringLiteral("d3"),
                     QStringLiteral("u1"), QStringLiteral("u2"), QStringLiteral("u3"), QStringLiteral("u4")}));
}

TEST(StatementTest, AndStatementSortsOrStatementKeepsFileOrder)
{
    EXPECT_EQ(run(QStringLiteral("select subject,htm from  maindata where 1=1 and content like '%咳嗽%' "
                                 "order by [date] desc ")),
              list({"咳嗽一", "咳嗽二"}));
    EXPECT_EQ(run(QStringLiteral("select subject,htm from  maindata where 1=1 and content like '%發熱%'  "
                                 "and content like '%頭痛%' order by [date] desc ")),
              list({"全形空白", "麻黃湯", "無日期"}));
    EXPECT_EQ(run(QStringLiteral("select subject,htm from  maindata where 1=2  or content like '%咳嗽%'   "
                                 "or content like '%頭痛%' ")),
              list({"麻黃湯", "無日期", "咳嗽一", "咳嗽二", "空白名稱", "檔案不存在", "全形空白"}));
    // An empty term keeps every record with content: all but 無內容.
    const QStringList all = run(QStringLiteral("select subject,htm from  maindata where 1=1 and content like '%%' "
                                               "order by [date] desc "));
    EXPECT_EQ(all.size(), 16);
    EXPECT_FALSE(all.contains(u("無內容")));
    EXPECT_TRUE(run(QStringLiteral("select subject,htm from  maindata where 1=2")).isEmpty());
}

TEST(StatementTest, OtherStatementsGiveTheEnginesRows)
{
    Connection c;
    ASSERT_TRUE(c.open(test::connFor("collection")));
    Recordset r;
    ASSERT_TRUE(r.open(QStringLiteral("select htm, subject from maindata where rowid = 2"), c));
    ASSERT_EQ(r.rows()->count(), 1);
    EXPECT_EQ(r.rows()->text(0, 0), u("fang\\MaHuang.HTM"));
    EXPECT_EQ(r.rows()->text(0, 1), u("麻黃湯"));
    ASSERT_TRUE(r.open(QStringLiteral("select subject, htm from maindata order by subject desc limit 1"), c));
    EXPECT_EQ(r.rows()->text(0, 0), u("麻黃湯"));
}

TEST(StatementTest, RowsOutliveRecordsetAndConnection)
{
    std::shared_ptr<const ResultRows> rows;
    {
        Connection c;
        ASSERT_TRUE(c.open(test::connFor("collection")));
        Recordset r;
        ASSERT_TRUE(r.open(kListAll, c));
        EXPECT_FALSE(r.eof());
        rows = r.rows();
        r.close();
        EXPECT_EQ(r.rows(), nullptr);
        EXPECT_TRUE(r.eof());
    }
    ASSERT_EQ(rows->count(), 17);
    EXPECT_EQ(rows->text(0, 1), u("zheng sub\\a b.htm"));
    EXPECT_EQ(rows->utf8(0, 0), QByteArray("資料夾有空白"));
    EXPECT_TRUE(rows->text(17, 0).isEmpty());
}

TEST(SearchRunTest, FoundNotFoundAndRepeatedRuns)
{
    const SearchOutcome found = test::valueOf(runSearch(test::connFor("collection"), analyseQuery(u("咳嗽"))));
    ASSERT_TRUE(found.found());
    EXPECT_EQ(subjects(*found.rows), list({"咳嗽一", "咳嗽二"}));
    EXPECT_EQ(modeName(found.analysis.mode), QStringLiteral("mod3a"));

    const SearchOutcome none =
        test::valueOf(runSearch(test::connFor("collection"), analyseQuery(u("不存在的詞"))));
    EXPECT_FALSE(none.found());
    EXPECT_EQ(none.rows, nullptr);

    const SearchOutcome empty = test::valueOf(runSearch(test::connFor("empty"), analyseQuery(QString())));
    EXPECT_FALSE(empty.found());

    const SearchOutcome again = test::valueOf(runSearch(test::connFor("collection"), analyseQuery(u("咳嗽"))));
    EXPECT_EQ(subjects(*again.rows), subjects(*found.rows));
}

// Many equal dates: rows with the same date must keep the file's order, which a plain
// sort of the engine does not promise.
TEST(StatementTest, TiesKeepFileOrderInLargeTables)
{
    StoreTableBuilder builder;
    const int n = 5000;
    for (int i = 0; i < n; ++i) {
        const std::string name = std::to_string(i);
        builder.subject.append(name, false);
        builder.htm.append(name + ".htm", false);
        builder.content.append(i % 7 == 0 ? "x" : "xy", i % 11 == 0);
        builder.addDate(double((i * 7919) % 5), i % 13 == 0);
    }
    const auto table = std::move(builder).finish();
    std::vector<int> expected(n);
    std::iota(expected.begin(), expected.end(), 0);
    std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
        return std::tuple(table->dateNull[a], -table->date[a]) < std::tuple(table->dateNull[b], -table->date[b]);
    });
    Connection c;
    ASSERT_TRUE(c.openTable(table, QStringLiteral("synthetic")));
    auto check = [&](const QString &sql, auto keep) {
        Recordset r;
        ASSERT_TRUE(r.open(sql, c)) << sql.toStdString();
        QStringList want;
        for (int i : expected)
            if (keep(i))
                want << QString::number(i);
        EXPECT_EQ(subjects(*r.rows()), want) << sql.toStdString();
    };
    check(kListAll, [](int) { return true; });
    check(
        QStringLiteral("select subject,htm from  maindata where 1=1 and content like '%y%' order by [date] desc "),
        [](int i) { return i % 7 != 0 && i % 11 != 0; });
    check(QStringLiteral("select subject,htm from  maindata where 1=1 order by [date] desc "),
          [](int) { return true; });
}
