// The kept copy's hash: the same value with and without vector instructions, and changed by
// every kind of damage the kept copy meets (a flipped bit, a cut, moved or swapped pieces).
#include "store/bytehash.h"
#include "store/chunkcheck.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

using namespace morvessa;

namespace {

std::string randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937_64 random(seed);
    std::string bytes(size, '\0');
    for (char &c : bytes)
        c = char(random());
    return bytes;
}

std::uint64_t hashOf(const std::string &bytes, std::uint64_t seed = 0)
{
    return hashBytes(bytes.data(), bytes.size(), seed);
}

} // namespace

TEST(HashBytes, VectorsAndPlainCodeAgree)
{
    for (const std::size_t size : {0, 1, 7, 63, 64, 65, 1023, 1024, 1025, 4096 + 100, 70000})
        for (const std::uint64_t seed : {0ull, 7ull, ~0ull}) {
            const std::string bytes = randomBytes(size, unsigned(size));
            EXPECT_EQ(hashOf(bytes, seed), hashBytesWithoutVectors(bytes.data(), bytes.size(), seed)) << size;
        }
}

TEST(HashBytes, EveryDamageChangesTheHash)
{
    const std::string good = randomBytes(10 * 1024 + 300, 3);
    std::set<std::uint64_t> seen{hashOf(good)};
    auto differs = [&](const std::string &damaged, const char *what) {
        EXPECT_TRUE(seen.insert(hashOf(damaged)).second) << what;
    };
    for (const std::size_t at : {0ul, 5ul, 64ul, 1023ul, 1024ul, 5000ul, good.size() - 1}) {
        std::string flipped = good;
        flipped[at] = char(flipped[at] ^ 0x10);
        differs(flipped, "a flipped bit");
    }
    differs(good.substr(0, good.size() - 1), "cut by a byte");
    differs(good.substr(0, 4096), "cut to a page");
    differs(good + std::string(1, '\0'), "a zero byte more");
    auto swapped = [&](std::size_t a, std::size_t b, std::size_t n) {
        std::string s = good;
        std::swap_ranges(s.begin() + long(a), s.begin() + long(a + n), s.begin() + long(b));
        return s;
    };
    differs(swapped(0, 64, 64), "two stripes of one block swapped");
    differs(swapped(0, 1024, 1024), "two blocks swapped");
    differs(swapped(8, 16, 8), "two words of one stripe swapped");
    differs(swapped(0, 128, 8), "a word moved between stripes");
    EXPECT_NE(hashOf(good, 1), hashOf(good, 2));
}

// A kept file's chunks, checked as a search reads them while a second thread checks from the
// far end: any damage, wherever it is and whichever thread meets it, fails the whole file,
// and the file is forgotten once.
TEST(ChunkCheck, AnyDamagedChunkFailsTheFileWhicheverThreadMeetsIt)
{
    const std::size_t size = 40 * kChunkBytes + 1000; // a short last chunk
    const std::string good = randomBytes(size, 5);
    const auto *body = reinterpret_cast<const unsigned char *>(good.data());
    std::vector<std::uint64_t> sums(chunkCount(size));
    sumChunks(body, size, sums.data());
    const std::size_t none = size;
    for (const std::size_t at : {none, std::size_t(0), size / 2, size - 1, 20 * kChunkBytes - 1}) {
        std::string bytes = good;
        if (at != none)
            bytes[at] = char(bytes[at] ^ 0x04);
        int forgotten = 0;
        ChunkCheck check(-1, 0, reinterpret_cast<const unsigned char *>(bytes.data()), size, sums, nullptr,
                         [&forgotten] { ++forgotten; });
        check.startHelping();
        bool readHolds = true;
        std::vector<char> out(kChunkBytes);
        for (std::size_t from = 0; from < size / 2; from += kChunkBytes / 2) { // a search's reads
            readHolds = check.read(bytes.data() + from, kChunkBytes, out.data()) && readHolds;
            EXPECT_EQ(std::string_view(out.data(), out.size()), std::string_view(bytes).substr(from, kChunkBytes));
        }
        EXPECT_EQ(check.settle(), at == none) << at;
        EXPECT_EQ(check.settle(), at == none) << at; // asked again: the same, nothing run twice
        EXPECT_EQ(forgotten, at == none ? 0 : 1) << at;
        EXPECT_EQ(check.failed(), at != none) << at;
        if (at < size / 2) {
            EXPECT_FALSE(readHolds) << at;
        }
    }
    // Two chunks swapped: each is whole, but not in its place.
    std::string swapped = good;
    std::swap_ranges(swapped.begin(), swapped.begin() + long(kChunkBytes), swapped.begin() + long(kChunkBytes));
    const ChunkCheck check(-1, 0, reinterpret_cast<const unsigned char *>(swapped.data()), size, sums, nullptr,
                           {});
    EXPECT_FALSE(check.settle());
}
