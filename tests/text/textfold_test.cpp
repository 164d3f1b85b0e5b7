#include "base/vectorwidth.h"
#include "text/textfold.h"
#include "text/utf8.h"

#include <gtest/gtest.h>

using namespace morvessa;

TEST(TextFold, FoldsCaseAndWidthOnly)
{
    EXPECT_EQ(foldText(QStringLiteral("ＦｅＶｅｒ １２３ ＡＢＣ Σ 發熱 ｶ 　")),
              QStringLiteral("fever 123 abc σ 發熱 ｶ 　"));
    EXPECT_EQ(foldUtf8("ＦｅＶｅｒ 發熱 \xff end"), std::string("fever 發熱 \xff end"));
    EXPECT_EQ(foldChar(U'\U00010400'), U'\U00010428'); // outside the BMP too
}

TEST(TextFold, FinderComparesBytesOnlyWhenThatIsExact)
{
    const FoldedFinder cjk("發熱");
    EXPECT_TRUE(cjk.bytewise());
    EXPECT_TRUE(cjk.foundIn("病人發熱"));
    EXPECT_FALSE(cjk.foundIn("病人發"));

    const FoldedFinder latin("Fever1");
    EXPECT_FALSE(latin.bytewise());
    EXPECT_TRUE(latin.foundIn("high ＦＥＶＥＲ１ today"));
    EXPECT_FALSE(latin.foundIn("high fever2"));
}

// The width fold covers exactly U+FF01..U+FF5E: its first and last characters fold to
// "!" and "~", the characters just outside it stay themselves.
TEST(TextFold, WidthFoldEndsExactlyAtTheFullWidthAsciiForms)
{
    struct Case {
        char32_t wide;
        char32_t folded;
    };
    for (const Case c : {Case{0xFF01, U'!'}, Case{0xFF5E, U'~'}, Case{0xFF21, U'a'}, Case{0xFF41, U'a'},
                         Case{0xFF00, 0xFF00}, Case{0xFF5F, 0xFF5F}}) {
        SCOPED_TRACE(std::to_string(std::uint32_t(c.wide)));
        EXPECT_EQ(foldChar(c.wide), c.folded);
        std::string wide, folded;
        appendUtf8(wide, c.wide);
        appendUtf8(folded, c.folded);
        EXPECT_EQ(foldUtf8(wide), folded);
        EXPECT_EQ(foldText(QString::fromUcs4(&c.wide, 1)), QString::fromUcs4(&c.folded, 1));
    }
    // The ASCII ends are shared with their wide forms, so they cannot be compared as bytes.
    EXPECT_FALSE(foldsAlone(U'!'));
    EXPECT_FALSE(foldsAlone(U'~'));
    EXPECT_TRUE(foldsAlone(U' '));
    EXPECT_TRUE(foldsAlone(0x7F));
    EXPECT_TRUE(FoldedFinder("a!~b").foundIn("x\xef\xbc\xa1\xef\xbc\x81\xef\xbd\x9e\xef\xbd\x82"));
    EXPECT_FALSE(FoldedFinder(" ").foundIn("\xef\xbc\x80"));
    EXPECT_FALSE(FoldedFinder("\x7f").foundIn("\xef\xbd\x9f"));
}

TEST(Utf8, EveryCodePointRoundTripsAndStrayBytesStayThemselves)
{
    std::string text;
    for (char32_t c = 0; c <= kMaxCodePoint; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        text.clear();
        appendUtf8(text, c);
        char32_t back = 0;
        ASSERT_EQ(decodeUtf8(text, 0, back), int(text.size())) << std::uint32_t(c);
        ASSERT_EQ(back, c);
        ASSERT_EQ(previousUtf8(text, text.size()), 0u);
    }
    // A cut character, a surrogate and an overlong form: one stray byte each.
    for (const std::string &bad :
         {std::string("\xe6\x98"), std::string("\xed\xa0\x80"), std::string("\xc0\xaf")}) {
        char32_t c = 0;
        EXPECT_EQ(decodeUtf8(bad, 0, c), 1);
        EXPECT_EQ(c, kInvalidUtf8 + static_cast<unsigned char>(bad[0]));
        std::string again;
        appendUtf8(again, c);
        EXPECT_EQ(again, bad.substr(0, 1));
        EXPECT_FALSE(wellFormedUtf8(bad));
        EXPECT_EQ(foldUtf8(bad), bad);
    }
}

// Characters are counted by the bytes that begin one, many thousands of bytes at once: ASCII
// (a start in every byte, the most a count can take), CJK and stray continuation bytes, at
// lengths around the counting's rounds.
TEST(Utf8, CountsCharacterStartsInLongTexts)
{
    for (const VectorWidth width : {VectorWidth::None, VectorWidth::Avx2, VectorWidth::Avx512}) {
        limitVectorWidth(width);
        for (const std::string &unit : {std::string("a"), std::string("明月，"), std::string("\x80\x80x")}) {
            std::string text;
            while (text.size() < 40000)
                text += unit;
            for (const std::size_t n : {0, 1, 31, 32, 33, 63, 64, 65, 95, 8159, 8160, 8161, 16320, 20000, 40000}) {
                std::size_t expected = 0;
                for (std::size_t k = 0; k < n; ++k)
                    expected += (static_cast<unsigned char>(text[k]) & 0xC0) != 0x80;
                EXPECT_EQ(countCharacterStarts(text.data(), n), expected) << unit << ' ' << n;
            }
        }
    }
    limitVectorWidth(VectorWidth::Avx512);
}

// The well-formed check takes thirty-two bytes at a time: every pair of bytes, and the
// leads of longer forms with the continuations at their limits, placed across the rounds'
// and halves' edges and at the end, must be judged as decoding byte by byte judges them.
TEST(Utf8, WellFormedAgreesWithDecoding)
{
    // Without vectors the check decodes byte by byte.
    auto decodes = [](std::string_view text) {
        limitVectorWidth(VectorWidth::None);
        const bool wellFormed = wellFormedUtf8(text);
        limitVectorWidth(VectorWidth::Avx512);
        return wellFormed;
    };
    std::vector<std::string> pieces;
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b)
            pieces.push_back({char(a), char(b)});
    const unsigned char edges[] = {0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xF4};
    for (int lead = 0xE0; lead <= 0xF8; ++lead)
        for (const unsigned char b : edges)
            for (const unsigned char c : edges) {
                pieces.push_back({char(lead), char(b), char(c)});
                for (const unsigned char d : {0x41, 0x80, 0xBF, 0xC0})
                    pieces.push_back({char(lead), char(b), char(c), char(d)});
            }
    const std::string cjk = "明月照我還，"; // three bytes a character
    int wrong = 0;
    for (const std::string &piece : pieces)
        for (const std::size_t at : {0, 1, 15, 16, 29, 30, 31, 32, 33, 62, 64}) {
            // Before the piece: CJK up to where a whole character still fits, then ASCII.
            std::string before;
            while (before.size() + 3 <= at)
                before += cjk.substr(before.size() % cjk.size(), 3);
            before.resize(at, 'x');
            for (const std::string &after : {std::string(), cjk + cjk + cjk + cjk}) {
                const std::string text = before + piece + after;
                if (wellFormedUtf8(text) != decodes(text) && ++wrong < 10)
                    ADD_FAILURE() << testing::PrintToString(text) << " at " << at;
            }
        }
    EXPECT_EQ(wrong, 0);
}

// Which characters others fold to is worked out from the characters case folding changes;
// a scan of every code point must agree, and the finder of such a character must find each
// character that folds to it.
TEST(TextFold, CharactersOthersFoldToAgreeWithEveryCodePoint)
{
    std::vector<std::vector<char32_t>> sources(kMaxCodePoint + 1);
    for (char32_t c = 0; c <= kMaxCodePoint; ++c)
        if ((c < 0xD800 || c > 0xDFFF) && foldChar(c) != c)
            sources[foldChar(c)].push_back(c);
    for (char32_t c = 0; c <= kMaxCodePoint; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        ASSERT_EQ(foldsAlone(c), foldChar(c) == c && sources[c].empty()) << std::hex << unsigned(c);
        if (sources[c].empty())
            continue;
        std::string target;
        appendUtf8(target, c);
        const FoldedFinder finder(target);
        for (const char32_t from : sources[c]) {
            std::string text = "x";
            appendUtf8(text, from);
            EXPECT_TRUE(finder.foundIn(text)) << std::hex << unsigned(c) << " from " << unsigned(from);
        }
    }
}
