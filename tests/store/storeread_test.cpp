#include "engine/recordstore.h"
#include "store/jettext.h"
#include "store/mdbreader.h"
#include "store/storetable.h"
#include "testdata.h"

#include <gtest/gtest.h>

using namespace morvessa;
using morvessa::test::u;

namespace {

QString text(const TextColumn &column, std::size_t row)
{
    const std::string_view v = column.at(row);
    return QString::fromUtf8(v.data(), qsizetype(v.size()));
}

const char *const kFileOrder[] = {
    "桂枝湯",       "麻黃湯",   "人參 Panax Ginseng", "全形字母", "無內容",     "無日期",   "咳嗽一",
    "咳嗽二",       "長篇",     "特殊符號",           "空白名稱", "檔案不存在", "標記字樣", "許功蓋",
    "資料夾有空白", "全形空白", "醫者意也",
};

} // namespace

TEST(StoreReadTest, ReadsEveryRecordInFileOrder)
{
    for (const bool isolated : {true, false}) {
        const QString path = test::dataFolder("collection") + QStringLiteral("/jst.mdb");
        const auto table = test::valueOf(isolated ? readMaindata(path) : readMaindataInProcess(path));
        ASSERT_EQ(table->rowCount(), std::size(kFileOrder));
        for (std::size_t i = 0; i < std::size(kFileOrder); ++i)
            EXPECT_EQ(text(table->subject, i), u(kFileOrder[i])) << i;
        EXPECT_EQ(text(table->htm, 1), u("fang\\MaHuang.HTM"));
        EXPECT_EQ(text(table->htm, 14), u("zheng sub\\a b.htm"));
        // CR LF inside a memo, an apostrophe and double quotes come through as they are.
        EXPECT_EQ(text(table->content, 0), u("太陽中風，發熱，汗出，惡風，脈浮緩。\r\n桂枝湯主之。"));
        EXPECT_EQ(text(table->content, 16), u("醫者'意也'，It's a \"quote\"."));
        // The user-defined character stays in the private use area.
        EXPECT_TRUE(text(table->content, 13).contains(QChar(0xE000)));
    }
}

TEST(StoreReadTest, LongMemoIsReadWhole)
{
    const auto table = test::valueOf(readMaindata(test::dataFolder("collection") + QStringLiteral("/jst.mdb")));
    const QString content = text(table->content, 8);
    EXPECT_GT(table->content.at(8).size(), 300000u);
    EXPECT_GT(content.size(), 130000);
    EXPECT_TRUE(content.startsWith(u("第1段：")));
    EXPECT_TRUE(content.endsWith(u("尾端標記"))) << content.right(40).toStdString();
}

TEST(StoreReadTest, NullContentAndNullDateAreKeptApart)
{
    const auto table = test::valueOf(readMaindata(test::dataFolder("collection") + QStringLiteral("/jst.mdb")));
    for (std::size_t i = 0; i < table->rowCount(); ++i) {
        EXPECT_EQ(table->content.null(i), i == 4) << i;  // 無內容
        EXPECT_EQ(table->dateNull[i] != 0, i == 5) << i; // 無日期
        EXPECT_FALSE(table->subject.null(i)) << i;
    }
    // 2005-03-01 as a Jet date: days since 1899-12-30.
    EXPECT_DOUBLE_EQ(table->date[0], 38412.0);
}

TEST(StoreReadTest, EmptyTableHasNoRows)
{
    const auto table = test::valueOf(readMaindata(test::dataFolder("empty") + QStringLiteral("/jst.mdb")));
    EXPECT_EQ(table->rowCount(), 0u);
}

// Characters beyond U+FFFF (rare characters in titles) come as surrogate pairs.
TEST(StoreReadTest, StoredTextDecoding)
{
    using namespace std::string_literals;
    const struct {
        std::string stored;
        const char *utf8;
    } cases[] = {
        {"a\0b\0"s, "ab"},
        {"\x7C\x76\xB1\x71"s, "發熱"}, // U+767C U+71B1
        {"\xFF\xFE"
         "abc"s,
         "abc"}, // compressed
        {"\xFF\xFE"
         "ab\0\x7C\x76\0"
         "c"s,
         "ab發c"},                           // compressed, two-byte run between
        {"\xFF\xFE\xE9"s, "\u00E9"},         // one byte above ASCII
        {"\x64\xD8\x2A\xDD"s, "\U0002912A"}, // surrogate pair
        {"\x64\xD8"
         "a\0"s,
         "\uFFFDa"},             // high surrogate alone
        {"\x2A\xDD"s, "\uFFFD"}, // low surrogate alone
        {"a\0b"s, "a"},          // odd byte left over
        {""s, ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(jet4TextToUtf8(c.stored), std::string(c.utf8)) << c.utf8;
}
