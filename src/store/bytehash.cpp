#include "store/bytehash.h"

#include "base/vectorwidth.h"

#include <cstring>
#include <immintrin.h>

namespace morvessa {

namespace {

// The hash reads the bytes in stripes of 64, eight 64-bit lanes at a time, each lane
// multiplying the halves of its word mixed with a key of its own; sixteen stripes make a
// block, after which every lane is scrambled. The keys differ from stripe to stripe within
// a block and the scramble orders the blocks, so moved or swapped pieces change the hash
// as flipped and missing ones do. It keeps pace with the memory bus, where a multiply
// chain per word took most of a start with the kept copy.
constexpr std::size_t kLanes = 8, kStripe = 64, kStripesPerBlock = 16, kBlock = kStripe * kStripesPerBlock;
constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ull;
constexpr std::uint32_t kPrime32 = 0x9E3779B1u;

struct HashKeys {
    std::uint64_t stripe[kStripesPerBlock + 1][kLanes]; // the last row: the closing partial stripe
    std::uint64_t scramble[kLanes];
    std::uint64_t start[kLanes];
    HashKeys()
    {
        std::uint64_t x = 0x243F6A8885A308D3ull;
        auto next = [&x] { // splitmix64
            std::uint64_t z = (x += kMul);
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            return z ^ (z >> 31);
        };
        for (auto &row : stripe)
            for (auto &k : row)
                k = next();
        for (auto &k : scramble)
            k = next();
        for (auto &k : start)
            k = next();
    }
};

const HashKeys &hashKeys()
{
    static const HashKeys keys;
    return keys;
}

void stripeScalar(std::uint64_t acc[kLanes], const unsigned char *p, const std::uint64_t key[kLanes])
{
    std::uint64_t d[kLanes];
    std::memcpy(d, p, sizeof d);
    for (std::size_t i = 0; i < kLanes; ++i) {
        const std::uint64_t k = d[i] ^ key[i];
        acc[i ^ 1] += d[i];
        acc[i] += (k & 0xFFFFFFFFu) * (k >> 32);
    }
}

void scrambleScalar(std::uint64_t acc[kLanes], const std::uint64_t key[kLanes])
{
    for (std::size_t i = 0; i < kLanes; ++i)
        acc[i] = (acc[i] ^ (acc[i] >> 47) ^ key[i]) * kPrime32;
}

// The whole blocks, `blocks` of them.
void blocksScalar(std::uint64_t acc[kLanes], const unsigned char *p, std::size_t blocks)
{
    const HashKeys &keys = hashKeys();
    for (std::size_t b = 0; b < blocks; ++b, p += kBlock) {
        for (std::size_t s = 0; s < kStripesPerBlock; ++s)
            stripeScalar(acc, p + s * kStripe, keys.stripe[s]);
        scrambleScalar(acc, keys.scramble);
    }
}

__attribute__((target("avx2"))) inline __m256i scrambleAvx2(__m256i a, __m256i key, __m256i prime)
{
    a = _mm256_xor_si256(_mm256_xor_si256(a, _mm256_srli_epi64(a, 47)), key);
    const __m256i low = _mm256_mul_epu32(a, prime);
    const __m256i high = _mm256_mul_epu32(_mm256_srli_epi64(a, 32), prime);
    return _mm256_add_epi64(low, _mm256_slli_epi64(high, 32));
}

__attribute__((target("avx2"))) void blocksAvx2(std::uint64_t acc[kLanes], const unsigned char *p,
                                                std::size_t blocks)
{
    const HashKeys &keys = hashKeys();
    __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(acc));
    __m256i a1 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(acc + 4));
    const __m256i prime = _mm256_set1_epi32(int(kPrime32));
    const __m256i s0 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(keys.scramble));
    const __m256i s1 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(keys.scramble + 4));
    for (std::size_t b = 0; b < blocks; ++b, p += kBlock) {
        for (std::size_t s = 0; s < kStripesPerBlock; ++s) {
            const unsigned char *q = p + s * kStripe;
            const __m256i d0 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(q));
            const __m256i d1 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(q + 32));
            const __m256i k0 =
                _mm256_xor_si256(d0, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(keys.stripe[s])));
            const __m256i k1 =
                _mm256_xor_si256(d1, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(keys.stripe[s] + 4)));
            // Lane i gets lane i^1's word; then the product of its own word's halves.
            a0 = _mm256_add_epi64(a0, _mm256_shuffle_epi32(d0, _MM_SHUFFLE(1, 0, 3, 2)));
            a1 = _mm256_add_epi64(a1, _mm256_shuffle_epi32(d1, _MM_SHUFFLE(1, 0, 3, 2)));
            a0 = _mm256_add_epi64(a0, _mm256_mul_epu32(k0, _mm256_srli_epi64(k0, 32)));
            a1 = _mm256_add_epi64(a1, _mm256_mul_epu32(k1, _mm256_srli_epi64(k1, 32)));
        }
        a0 = scrambleAvx2(a0, s0, prime);
        a1 = scrambleAvx2(a1, s1, prime);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(acc), a0);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(acc + 4), a1);
}

std::uint64_t hashWith(void (*blocks)(std::uint64_t *, const unsigned char *, std::size_t), const void *data,
                       std::size_t size, std::uint64_t seed)
{
    const HashKeys &keys = hashKeys();
    const auto *p = static_cast<const unsigned char *>(data);
    std::uint64_t acc[kLanes];
    for (std::size_t i = 0; i < kLanes; ++i)
        acc[i] = keys.start[i] ^ seed;
    const std::size_t whole = size / kBlock;
    blocks(acc, p, whole);
    // The rest: whole stripes, then the last bytes padded with zeros (the size, mixed in
    // below, tells those apart from bytes of zero).
    std::size_t at = whole * kBlock, s = 0;
    for (; at + kStripe <= size; at += kStripe, ++s)
        stripeScalar(acc, p + at, keys.stripe[s]);
    if (at < size) {
        unsigned char last[kStripe] = {};
        std::memcpy(last, p + at, size - at);
        stripeScalar(acc, last, keys.stripe[kStripesPerBlock]);
    }
    std::uint64_t h = (std::uint64_t(size) ^ seed) * kMul;
    for (std::size_t i = 0; i < kLanes; ++i) {
        std::uint64_t x = acc[i] ^ (acc[i] >> 29);
        x *= kMul;
        h = (h ^ x ^ (x >> 32)) * kMul;
    }
    return h ^ (h >> 32);
}

} // namespace

std::uint64_t hashBytes(const void *data, std::size_t size, std::uint64_t seed)
{
    return hashWith(vectorWidth() >= VectorWidth::Avx2 ? blocksAvx2 : blocksScalar, data, size, seed);
}

std::uint64_t hashBytesWithoutVectors(const void *data, std::size_t size, std::uint64_t seed)
{
    return hashWith(blocksScalar, data, size, seed);
}

} // namespace morvessa
