// The content scanner decides a run with "_" around it ("%__明_%") by counting characters
// around each place of the run instead of asking the like; here the two are held against
// each other over every small pattern and every small text.
#include "engine/contentscanner.h"
#include "engine/likepattern.h"
#include "store/storetable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace morvessa;

namespace {

// Every string of at most maxLength pieces from pieces, the empty one first.
std::vector<std::string> allStrings(const std::vector<std::string> &pieces, int maxLength)
{
    std::vector<std::string> out{std::string()};
    std::size_t from = 0;
    for (int length = 1; length <= maxLength; ++length) {
        const std::size_t to = out.size();
        for (std::size_t k = from; k < to; ++k)
            for (const std::string &p : pieces)
                out.push_back(out[k] + p);
        from = to;
    }
    return out;
}

} // namespace

TEST(ContentScanner, AnyOnesBesideARunAgreeWithTheLikeOnEverySmallPatternAndText)
{
    // One, three and four bytes a character; "ａ" folds to "a", one character either way.
    const std::vector<std::string> texts = allStrings({"a", "\uFF41", "明", "\U00020000"}, 5);
    TextColumnBuilder rows;
    for (const std::string &t : texts)
        rows.append(t, false);
    rows.append(std::string(), true); // a null row is never like anything
    const ContentScanner scanner(rows.view());
    std::vector<std::uint32_t> all(rows.ends.size());
    for (std::size_t r = 0; r < all.size(); ++r)
        all[r] = std::uint32_t(r);

    // Every pattern of up to five pieces, and the shortcut's own shape with up to three "_"
    // on either side of a run of up to three characters.
    std::vector<std::string> patterns = allStrings({"_", "%", "a", "明", "\U00020000"}, 5);
    for (const std::string &run : allStrings({"a", "明", "\U00020000"}, 3))
        for (int before = 0; before <= 3; ++before)
            for (int after = 0; after <= 3; ++after)
                patterns.push_back('%' + std::string(std::size_t(before), '_') + run +
                                   std::string(std::size_t(after), '_') + '%');
    int shortcuts = 0;
    for (const std::string &pattern : patterns) {
        JetLikePattern like;
        ASSERT_TRUE(like.compile(pattern, 0)) << pattern;
        shortcuts += like.shape().runWithAnyOnes ? 1 : 0;
        std::vector<std::uint32_t> want;
        for (std::size_t r = 0; r < texts.size(); ++r)
            if (like.matches(texts[r]))
                want.push_back(std::uint32_t(r));
        EXPECT_EQ(scanner.rowsLike(pattern), want) << pattern;
        EXPECT_EQ(scanner.rowsLikeAmong(pattern, all), want) << pattern;
    }
    EXPECT_GT(shortcuts, 500); // the shortcut was taken, not only the like
}
