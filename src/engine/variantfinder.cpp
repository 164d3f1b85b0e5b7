#include "engine/variantfinder.h"

#include "base/vectorwidth.h"
#include "engine/needlefinder.h"
#include "text/utf8.h"
#include "text/variants.h"

#include <algorithm>
#include <immintrin.h>

namespace morvessa {

namespace {

constexpr std::size_t kMostBytesCompared = 8; // values of one set compared at once

std::vector<std::string> formsOf(char32_t c, const VariantTable &variants)
{
    std::vector<std::string> forms;
    for (char32_t member : variants.classOf(c)) {
        std::string form;
        appendUtf8(form, member);
        forms.push_back(std::move(form));
    }
    return forms;
}

// Sets of 1, 2, 4 or 8 values, the smaller ones padded by repeating: the number of
// comparisons is fixed for the loop.
std::size_t paddedSize(std::size_t n)
{
    return n <= 1 ? 1 : n <= 2 ? 2 : n <= 4 ? 4 : 8;
}

template <std::size_t N>
__attribute__((target("avx2"))) inline __m256i anyOf(const char *at, const __m256i *values)
{
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(at));
    __m256i hit = _mm256_cmpeq_epi8(x, values[0]);
    for (std::size_t k = 1; k < N; ++k)
        hit = _mm256_or_si256(hit, _mm256_cmpeq_epi8(x, values[k]));
    return hit;
}

// Where the byte at p + a is one of va and the one at p + b one of vb, for 32 places p.
template <std::size_t NA, std::size_t NB>
__attribute__((target("avx2"))) inline __m256i agreeing(const char *p, std::size_t a, const __m256i *va,
                                                        std::size_t b, const __m256i *vb)
{
    return _mm256_and_si256(anyOf<NA>(p + a, va), anyOf<NB>(p + b, vb));
}

// Places p in [from, last) (last: where a window would run past the text, less 31) where
// the byte at p + a is in as and the one at p + b in bs; for each, verify(p) decides.
// 64 places a round, with one test for the usual round where none agrees, as the exact
// finder does (engine/needlefinder.cpp).
template <std::size_t NA, std::size_t NB, class Verify>
__attribute__((target("avx2"))) VariantRunFinder::Match
scanAvx2(const char *&p, const char *last, std::size_t a, const std::vector<unsigned char> &as, std::size_t b,
         const std::vector<unsigned char> &bs, const Verify &verify)
{
    __m256i va[NA], vb[NB];
    for (std::size_t k = 0; k < NA; ++k)
        va[k] = _mm256_set1_epi8(char(as[k % as.size()]));
    for (std::size_t k = 0; k < NB; ++k)
        vb[k] = _mm256_set1_epi8(char(bs[k % bs.size()]));
    for (; last - p > 32; p += 64) {
        const __m256i m0 = agreeing<NA, NB>(p, a, va, b, vb), m1 = agreeing<NA, NB>(p + 32, a, va, b, vb);
        for (std::uint64_t mask = agreeingPlaces(m0, m1); mask; mask &= mask - 1)
            if (const VariantRunFinder::Match m = verify(p + __builtin_ctzll(mask)); m.at)
                return m;
    }
    for (; p < last; p += 32) {
        auto mask = std::uint32_t(_mm256_movemask_epi8(agreeing<NA, NB>(p, a, va, b, vb)));
        while (mask) {
            if (const VariantRunFinder::Match m = verify(p + __builtin_ctz(mask)); m.at)
                return m;
            mask &= mask - 1;
        }
    }
    return {};
}

template <std::size_t NA, class Verify>
VariantRunFinder::Match scanWithFirst(std::size_t nb, const char *&p, const char *last, std::size_t a,
                                      const std::vector<unsigned char> &as, std::size_t b,
                                      const std::vector<unsigned char> &bs, const Verify &verify)
{
    switch (nb) {
    case 1:
        return scanAvx2<NA, 1>(p, last, a, as, b, bs, verify);
    case 2:
        return scanAvx2<NA, 2>(p, last, a, as, b, bs, verify);
    case 4:
        return scanAvx2<NA, 4>(p, last, a, as, b, bs, verify);
    default:
        return scanAvx2<NA, 8>(p, last, a, as, b, bs, verify);
    }
}

} // namespace

VariantRunFinder::VariantRunFinder(std::string_view run, const VariantTable &variants,
                                   const std::uint64_t *byteCounts)
    : m_variants(variants)
{
    for (std::size_t at = 0; at < run.size();) {
        char32_t c;
        at += std::size_t(decodeUtf8(run, at, c));
        m_run += c;
        // The text's characters fold to their class's own form: no other form is found.
        if (variants.fold(c) != c)
            m_never = true;
    }
    if (m_never || m_run.empty())
        return;

    // The window: the longest stretch (in bytes) whose characters' forms each take as many
    // bytes as the others of their class, so that a byte of it lies at one place from the
    // window's start whatever forms the text holds.
    std::vector<std::vector<std::string>> forms;
    std::vector<std::size_t> sizes; // bytes of every form of the character; 0: they differ
    for (char32_t c : m_run) {
        forms.push_back(formsOf(c, variants));
        const std::size_t n = forms.back().front().size();
        const bool same = std::all_of(forms.back().begin(), forms.back().end(),
                                      [n](const std::string &f) { return f.size() == n; });
        sizes.push_back(same ? n : 0);
    }
    std::size_t bestBytes = 0;
    for (std::size_t from = 0; from < m_run.size();) {
        std::size_t to = from, bytes = 0;
        while (to < m_run.size() && sizes[to] > 0)
            bytes += sizes[to++];
        if (bytes > bestBytes) {
            bestBytes = bytes;
            m_window = from;
        }
        from = std::max(to, from + 1);
    }
    for (std::size_t k = 0; k < m_run.size(); ++k) {
        if (k == m_window)
            m_bytesBeforeWindow = m_runBytes.size();
        appendUtf8(m_runBytes, m_run[k]);
    }
    for (const std::string &f : forms[m_window])
        m_leadBytes[static_cast<unsigned char>(f[0])] = true;
    m_windowBytes = bestBytes;
    if (bestBytes == 0)
        return; // forms of unlike lengths everywhere: the scalar search

    // The two places of the window whose bytes are the rarest in the text.
    std::vector<ByteSet> sets;
    std::vector<std::uint64_t> weight;
    m_windowAllows.assign(bestBytes, {});
    for (std::size_t k = m_window, offset = 0; offset < bestBytes; offset += sizes[k++]) {
        for (std::size_t j = 0; j < sizes[k]; ++j) {
            for (const std::string &f : forms[k])
                m_windowAllows[offset + j].set(static_cast<unsigned char>(f[j]));
            ByteSet set{offset + j, {}};
            for (const std::string &f : forms[k])
                set.values.push_back(static_cast<unsigned char>(f[j]));
            std::sort(set.values.begin(), set.values.end());
            set.values.erase(std::unique(set.values.begin(), set.values.end()), set.values.end());
            if (set.values.size() > kMostBytesCompared)
                continue;
            std::uint64_t w = 0;
            for (unsigned char v : set.values)
                w += byteCounts[v];
            sets.push_back(std::move(set));
            weight.push_back(w);
        }
    }
    if (sets.empty())
        return;
    std::size_t first = 0;
    for (std::size_t k = 1; k < sets.size(); ++k)
        if (weight[k] < weight[first])
            first = k;
    std::size_t second = first;
    for (std::size_t k = 0; k < sets.size(); ++k)
        if (k != first && sets[k].values != sets[first].values && (second == first || weight[k] < weight[second]))
            second = k;
    m_first = sets[std::min(first, second)];
    m_second = sets[std::max(first, second)];
    m_vector = vectorWidth() >= VectorWidth::Avx2;
}

VariantRunFinder::Match VariantRunFinder::matchAround(const char *window, const char *from, const char *end) const
{
    const char *q = window;
    for (std::size_t k = m_window; k < m_run.size(); ++k) {
        if (q >= end)
            return {};
        char32_t c;
        q += decodeUtf8(std::string_view(q, std::size_t(end - q)), 0, c);
        if (m_variants.fold(c) != m_run[k])
            return {};
    }
    const char *s = window;
    for (std::size_t k = m_window; k-- > 0;) {
        if (s <= from)
            return {};
        const char *t = s - 1;
        while (t > from && s - t < 4 && (static_cast<unsigned char>(*t) & 0xC0) == 0x80)
            --t;
        char32_t c;
        if (decodeUtf8(std::string_view(t, std::size_t(s - t)), 0, c) != s - t || m_variants.fold(c) != m_run[k])
            return {};
        s = t;
    }
    return {s, std::size_t(q - s)};
}

VariantRunFinder::Match VariantRunFinder::findScalar(const char *from, const char *end) const
{
    for (const char *p = from; p < end; ++p)
        if (m_leadBytes[static_cast<unsigned char>(*p)])
            if (const Match m = matchAround(p, from, end); m.at)
                return m;
    return {};
}

VariantRunFinder::Match VariantRunFinder::find(const char *from, const char *end) const
{
    if (m_never || m_run.empty() || from >= end)
        return {};
    if (!m_vector)
        return findScalar(from, end);
    const char *p = from;
    const std::ptrdiff_t room = std::ptrdiff_t(m_second.offset) + 32; // bytes one round reads
    if (end - p >= room) {
        const char *last = end - room + 1;
        // Where the text holds the run's own form, its bytes tell at once.
        const char *const run = m_runBytes.data();
        const std::size_t runSize = m_runBytes.size();
        auto verify = [&](const char *w) -> Match {
            const char *s = w - m_bytesBeforeWindow;
            if (s >= from && std::size_t(end - s) >= runSize && sameBytes(s, run, runSize))
                return {s, runSize};
            // Most places where two bytes agree hold another character: every byte of
            // the window tells that before anything is decoded.
            if (std::size_t(end - w) < m_windowBytes)
                return {};
            for (std::size_t k = 0; k < m_windowBytes; ++k)
                if (!m_windowAllows[k].test(static_cast<unsigned char>(w[k])))
                    return {};
            return matchAround(w, from, end);
        };
        const std::size_t a = m_first.offset, b = m_second.offset;
        const std::vector<unsigned char> &as = m_first.values, &bs = m_second.values;
        const std::size_t nb = paddedSize(bs.size());
        Match m;
        switch (paddedSize(as.size())) {
        case 1:
            m = scanWithFirst<1>(nb, p, last, a, as, b, bs, verify);
            break;
        case 2:
            m = scanWithFirst<2>(nb, p, last, a, as, b, bs, verify);
            break;
        case 4:
            m = scanWithFirst<4>(nb, p, last, a, as, b, bs, verify);
            break;
        default:
            m = scanWithFirst<8>(nb, p, last, a, as, b, bs, verify);
            break;
        }
        if (m.at)
            return m;
    }
    // The last places, one by one.
    for (; p < end; ++p)
        if (m_leadBytes[static_cast<unsigned char>(*p)])
            if (const Match m = matchAround(p, from, end); m.at)
                return m;
    return {};
}

} // namespace morvessa
