#include "testdata.h"
#include "text/utf8.h"
#include "text/variants.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace morvessa;
using morvessa::test::u;

namespace {

std::u32string ucs4(const char *utf8)
{
    const QList<uint> codes = QString::fromUtf8(utf8).toUcs4();
    return std::u32string(codes.begin(), codes.end());
}

} // namespace

TEST(VariantTable, ClassesJoinSimplifiedTraditionalAndVariantForms)
{
    const auto table = test::valueOf(variantTable());
    struct Case {
        const char *members; // the whole class, lowest code point first
    } cases[] = {
        {"后後"},               // one simplified form for two characters: both in the class
        {"干乾幹榦"},           // three characters behind 干
        {"发發髮"},   {"脈脉"}, // old variant inside traditional text
        {"針鍼针"},   {"痹痺"}, {"药葯藥"}, {"姜薑"},
    };
    for (const Case &c : cases) {
        const std::u32string members = ucs4(c.members);
        std::u32string sorted = members;
        std::sort(sorted.begin(), sorted.end());
        for (char32_t m : members) {
            EXPECT_EQ(table->classOf(m), sorted) << c.members;
            EXPECT_EQ(table->fold(m), sorted.front()) << c.members;
        }
    }
    // The Japanese new forms stay out: 辨 (tell apart) and 辯 (argue) are not one class.
    EXPECT_NE(table->fold(U'辨'), table->fold(U'辯'));
    // Compatibility ideographs are their unified character.
    EXPECT_EQ(table->fold(U'\uF967'), table->fold(U'不'));
}

TEST(VariantTable, FoldsIdeographsOnlyAndKeepsCharacterPositions)
{
    const auto table = test::valueOf(variantTable());
    const QString text = u("發熱 Fever ＦＥ%_[後]\u3000脈\uE000𠀀\r\n髮");
    const QString folded = table->fold(text);
    EXPECT_EQ(folded, u("发热 Fever ＦＥ%_[后]\u3000脈\uE000𠀀\r\n发"));
    EXPECT_EQ(folded.toUcs4().size(), text.toUcs4().size());
    // The UTF-8 fold is the same text; not well-formed bytes pass through.
    const std::string bytes = text.toStdString() + "\xE5\x88" + "\xFF" + "後";
    EXPECT_EQ(table->foldUtf8(bytes), folded.toStdString() + "\xE5\x88" + "\xFF" + "后");
    EXPECT_EQ(table->foldUtf8(table->foldUtf8(bytes)), table->foldUtf8(bytes));
}

TEST(VariantTable, EveryCharacterFoldsWithinItsClassAndFoldingIsIdempotent)
{
    const auto table = test::valueOf(variantTable());
    EXPECT_GT(table->classCount(), 3000u);
    for (char32_t c = 0; c < 0x32400; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        const char32_t f = table->fold(c);
        ASSERT_EQ(table->fold(f), f) << std::hex << unsigned(c);
        ASSERT_LE(f, c);
        if (c < 0x10000) {
            ASSERT_LT(f, 0x10000u) << std::hex << unsigned(c);
        }
        if (f != c) {
            std::string one;
            appendUtf8(one, c);
            ASSERT_LE(table->foldUtf8(one).size(), one.size());
        }
    }
}

TEST(VariantTable, MissingDictionaryIsNamedInTheMessage)
{
    QTemporaryDir empty;
    const QString first = empty.path() + QStringLiteral("/STCharacters.ocd2");
    const auto missing = VariantTable::load(empty.path());
    ASSERT_FALSE(missing.ok()) << "loaded from an empty folder";
    EXPECT_EQ(missing.message(), u("無法讀取異體字對照檔「%1」：檔案不存在或無法開啟。").arg(first));
    QFile damaged(first);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("not a dictionary");
    damaged.close();
    const auto broken = VariantTable::load(empty.path());
    ASSERT_FALSE(broken.ok());
    EXPECT_TRUE(broken.message().startsWith(u("異體字對照檔「%1」內容有誤：").arg(first)))
        << broken.message().toStdString();
}

// A kept folded column is used only with the fingerprint it was folded under: the same
// dictionaries give the same one, dictionaries that link other characters another.
TEST(VariantTable, FingerprintFollowsWhatTheDictionariesFold)
{
    const QString system = variantDataFolder();
    QTemporaryDir same, other;
    for (const char *name :
         {"STCharacters", "TSCharacters", "TWVariants", "TWVariantsRev", "HKVariants", "HKVariantsRev"}) {
        const QString file = QLatin1String(name) + QStringLiteral(".ocd2");
        ASSERT_TRUE(QFile::copy(system + QLatin1Char('/') + file, same.path() + QLatin1Char('/') + file));
        // The Hong Kong table in place of both simplified tables: far fewer links.
        const bool simplified =
            std::string_view(name) == "STCharacters" || std::string_view(name) == "TSCharacters";
        const QString from = simplified ? QStringLiteral("HKVariants.ocd2") : file;
        ASSERT_TRUE(QFile::copy(system + QLatin1Char('/') + from, other.path() + QLatin1Char('/') + file));
    }
    const auto table = test::valueOf(variantTable());
    EXPECT_EQ(test::valueOf(VariantTable::load(same.path()))->fingerprint(), table->fingerprint());
    const auto fewer = test::valueOf(VariantTable::load(other.path()));
    ASSERT_NE(fewer->fold(U'發'), table->fold(U'發'));
    EXPECT_NE(fewer->fingerprint(), table->fingerprint());
}
