// Variant search without a folded copy: the scanner looking for every form of a folded
// pattern must find exactly the rows that the pattern finds in the content folded first.
#include "base/vectorwidth.h"
#include "engine/contentscanner.h"
#include "engine/variantcolumn.h"
#include "engine/variantfinder.h"
#include "store/storetable.h"
#include "testdata.h"
#include "text/utf8.h"
#include "text/variants.h"

#include <gtest/gtest.h>

#include <random>

using namespace morvessa;

namespace {

std::string utf8(char32_t c)
{
    std::string s;
    appendUtf8(s, c);
    return s;
}

// Characters whose classes the finder must handle: the usual pairs and triples, the
// largest class (more than its bytes can be compared at once), one whose forms differ
// in length (a form above U+FFFF), and characters that do not fold.
std::vector<std::string> alphabet(const VariantTable &variants)
{
    std::vector<std::string> chars;
    for (const char *c : {"发", "發", "髮", "热", "熱", "后", "後", "脉", "脈", "的", "a", "，"})
        chars.push_back(c);
    char32_t largest = 0, mixed = 0;
    std::size_t largestSize = 0;
    for (char32_t c = 0x3400; c < 0xA000; ++c) {
        const std::u32string members = variants.classOf(c);
        if (members.size() > largestSize) {
            largestSize = members.size();
            largest = c;
        }
        if (!mixed && std::any_of(members.begin(), members.end(), [](char32_t m) { return m > 0xFFFF; }))
            mixed = c;
    }
    for (char32_t c : {largest, mixed})
        if (c)
            for (char32_t m : variants.classOf(c))
                chars.push_back(utf8(m));
    return chars;
}

TEST(VariantRunFinder, FindsTheRowsThatTheFoldedContentHolds)
{
    const auto variants = test::valueOf(variantTable());
    const std::vector<std::string> chars = alphabet(*variants);
    std::mt19937 random(20261211);
    auto pick = [&] { return chars[random() % chars.size()]; };
    // Rows from empty to a few hundred bytes, so that places meet both the 32-byte rounds
    // and the last bytes of the buffer.
    TextColumnBuilder written;
    for (int r = 0; r < 400; ++r) {
        std::string row;
        const int length = int(random() % 90);
        for (int k = 0; k < length; ++k)
            row += pick();
        written.append(row, r % 37 == 5);
    }
    const ContentScanner scanner(written.view(), true);
    const TextColumnBuilder folded = foldVariantColumn(written.view(), *variants);
    const ContentScanner reference(folded.view(), true);

    // On the 32-byte path and without vectors.
    for (const VectorWidth width : {VectorWidth::None, VectorWidth::Avx2}) {
        limitVectorWidth(width);
        const char *shapes[] = {"%%%s%%", "%%%s_%%", "%%_%s%%", "%s%%", "%%%s", "%%%s%%a%%", "%%[%s]%%"};
        for (int t = 0; t < 600; ++t) {
            std::string run;
            for (int k = 1 + int(random() % 3); k > 0; --k)
                run += pick();
            run = variants->foldUtf8(run);
            char pattern[256];
            std::snprintf(pattern, sizeof pattern, shapes[t % std::size(shapes)], run.c_str());
            const auto expected = reference.rowsLike(pattern);
            ASSERT_TRUE(expected) << pattern;
            EXPECT_EQ(scanner.rowsLike(pattern, variants.get()), expected) << pattern;
            std::vector<std::uint32_t> every(written.ends.size());
            for (std::uint32_t r = 0; r < every.size(); ++r)
                every[r] = r;
            EXPECT_EQ(scanner.rowsLikeAmong(pattern, every, variants.get()),
                      reference.rowsLikeAmong(pattern, every))
                << pattern;
        }
    }
    limitVectorWidth(VectorWidth::Avx512);
}

// A match reports the bytes of the form found, which may be longer than the run's.
TEST(VariantRunFinder, TellsWhereTheFormFoundBeginsAndEnds)
{
    const auto variants = test::valueOf(variantTable());
    const std::string run = variants->foldUtf8("发热");
    const std::string text = std::string(70, 'x') + "發熱" + std::string(5, 'y') + "发熱";
    std::uint64_t counts[256] = {};
    for (unsigned char b : text)
        ++counts[b];
    const VariantRunFinder finder(run, *variants, counts);
    const char *end = text.data() + text.size();
    const VariantRunFinder::Match first = finder.find(text.data(), end);
    ASSERT_TRUE(first.at);
    EXPECT_EQ(std::string_view(first.at, first.size), "發熱");
    const VariantRunFinder::Match second = finder.find(first.at + 1, end);
    ASSERT_TRUE(second.at);
    EXPECT_EQ(std::string_view(second.at, second.size), "发熱");
    EXPECT_FALSE(finder.find(second.at + 1, end).at);
    // A match must start at or after where the search starts, and end by its end.
    EXPECT_FALSE(finder.find(first.at + 3, first.at + 6).at);
    EXPECT_FALSE(finder.find(first.at, first.at + 5).at);
}

} // namespace
