#include "store/writtenform.h"

#include "base/vectorwidth.h"
#include "text/utf8.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <immintrin.h>

namespace morvessa {

namespace {

// How the written character relates to its fold (bits 2-3 of the tag); Bytes gives it
// after the tag, its length in bits 4-5.
enum Relation : unsigned char { Bytes = 0, FullWidth = 1, Capital = 2, FullWidthCapital = 3 };

// The written character for a relation to the one-byte folded character c; 0 bytes when
// the relation does not apply.
int related(Relation relation, unsigned char c, char *out)
{
    char32_t w = 0;
    if (relation == FullWidth && c >= 0x21 && c <= 0x7E)
        w = 0xFEE0 + c;
    else if (relation == Capital && c >= 'a' && c <= 'z')
        w = c - 0x20;
    else if (relation == FullWidthCapital && c >= 'a' && c <= 'z')
        w = 0xFEE0 + c - 0x20;
    return w ? encodeUtf8(w, reinterpret_cast<unsigned char *>(out)) : 0;
}

bool isContinuation(char b)
{
    return (static_cast<unsigned char>(b) & 0xC0) == 0x80;
}

} // namespace

void appendDifferences(std::string &out, std::string_view folded, std::string_view written)
{
    // f walks folded and w written; they hold the same characters, so equal bytes stay
    // in step and a difference lies inside one character of each.
    std::size_t f = 0, w = 0, lastEnd = 0;
    while (f < folded.size() && w < written.size()) {
        // Compared as folded[f + k] against written[w + k]: the offset between them only
        // changes at a difference.
        std::size_t k = 0;
        {
            const std::size_t n = std::min(folded.size() - f, written.size() - w);
            for (; k + 8 <= n; k += 8) {
                std::uint64_t x, y;
                std::memcpy(&x, folded.data() + f + k, 8);
                std::memcpy(&y, written.data() + w + k, 8);
                if (x != y)
                    break;
            }
            while (k < n && folded[f + k] == written[w + k])
                ++k;
            if (k == n)
                break;
        }
        // Back to the start of the character (the bytes before are equal in both).
        while (k > 0 && isContinuation(written[w + k]))
            --k;
        f += k;
        w += k;
        char32_t fc, wc;
        const int fl = decodeUtf8(folded, f, fc);
        const int wl = decodeUtf8(written, w, wc);
        std::size_t gap = f - lastEnd;
        do {
            out += char((gap & 0x7F) | (gap > 0x7F ? 0x80 : 0));
            gap >>= 7;
        } while (gap);
        unsigned char tag = static_cast<unsigned char>(fl - 1);
        char bytes[4];
        Relation relation = Bytes;
        for (const Relation r : {FullWidth, Capital, FullWidthCapital})
            if (fl == 1 && related(r, static_cast<unsigned char>(folded[f]), bytes) == wl &&
                std::memcmp(bytes, written.data() + w, std::size_t(wl)) == 0)
                relation = r;
        tag |= static_cast<unsigned char>(relation << 2);
        if (relation == Bytes)
            tag |= static_cast<unsigned char>((wl - 1) << 4);
        out += char(tag);
        if (relation == Bytes)
            out.append(written.data() + w, std::size_t(wl));
        f += std::size_t(fl);
        w += std::size_t(wl);
        lastEnd = f;
    }
}

WrittenForm::WrittenForm(std::string_view folded, std::string_view differences, std::size_t upTo)
    : WrittenForm(folded, differences, {{0, upTo}})
{}

WrittenForm::WrittenForm(std::string_view folded, std::string_view differences,
                         std::vector<std::pair<std::size_t, std::size_t>> pieces)
{
    read(folded, differences, pieces);
}

namespace {

// Whether the 32 bytes at d are sixteen differences of a one-byte gap and a tag without
// written bytes (the usual kind); if so, advance is how far they reach together.
__attribute__((target("avx2"))) bool sixteenPlain(const unsigned char *d, std::size_t &advance)
{
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(d));
    constexpr unsigned kGaps = 0x55555555u, kTags = 0xAAAAAAAAu; // even and odd bytes
    const auto longGaps = unsigned(_mm256_movemask_epi8(x)) & kGaps;
    const auto bytesTags = unsigned(_mm256_movemask_epi8(_mm256_cmpeq_epi8(
                               _mm256_and_si256(x, _mm256_set1_epi8(0x0C)), _mm256_setzero_si256()))) &
                           kTags;
    if (longGaps | bytesTags)
        return false;
    // Each gap, and each length less one (the tag's low bits), summed; every length is one more.
    const __m256i parts = _mm256_and_si256(x, _mm256_set1_epi16(0x03FF));
    const __m256i sums = _mm256_sad_epu8(parts, _mm256_setzero_si256());
    advance = std::size_t(_mm256_extract_epi64(sums, 0) + _mm256_extract_epi64(sums, 1) +
                          _mm256_extract_epi64(sums, 2) + _mm256_extract_epi64(sums, 3)) +
              16;
    return true;
}

} // namespace

void WrittenForm::read(std::string_view folded, std::string_view differences,
                       std::vector<std::pair<std::size_t, std::size_t>> &pieces)
{
    m_folded = folded;
    m_changes.clear();
    // The pieces in order, merged where they overlap: their ends then ascend too.
    std::vector<std::pair<std::size_t, std::size_t>> &merged = m_merged;
    merged.clear();
    std::sort(pieces.begin(), pieces.end());
    for (const auto &piece : pieces) {
        if (!merged.empty() && piece.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, piece.second);
        else if (piece.first < piece.second)
            merged.push_back(piece);
    }
    if (merged.empty())
        return;
    const std::size_t upTo = merged.back().second;
    std::size_t i = 0, lastEnd = 0, piece = 0;
    const auto *d = reinterpret_cast<const unsigned char *>(differences.data());
    const bool avx2 = vectorWidth() >= VectorWidth::Avx2;
    while (i < differences.size() && lastEnd < upTo) {
        // The differences that end before the next piece asked for (mostly one byte of
        // gap and the tag: a full-width comma every line) are only passed over.
        const std::size_t next = std::min(merged[piece].first, folded.size());
        for (std::size_t advance;
             avx2 && i + 32 <= differences.size() && sixteenPlain(d + i, advance) && lastEnd + advance <= next;
             i += 32)
            lastEnd += advance;
        while (i + 1 < differences.size() && d[i] < 0x80) {
            const std::size_t end = lastEnd + d[i] + (d[i + 1] & 3) + 1;
            const std::size_t bytes = Relation((d[i + 1] >> 2) & 3) == Bytes ? ((d[i + 1] >> 4) & 3) + 1u : 0u;
            if (end > next || bytes > differences.size() - i - 2)
                break;
            lastEnd = end;
            i += 2 + bytes;
        }
        if (i >= differences.size() || lastEnd >= upTo)
            break;
        std::size_t gap = static_cast<unsigned char>(differences[i++]);
        bool more = gap & 0x80; // mostly one byte: differences lie close together
        gap &= 0x7F;
        for (int shift = 7; more && i < differences.size() && shift < 63; shift += 7) {
            const auto b = static_cast<unsigned char>(differences[i++]);
            gap |= std::size_t(b & 0x7F) << shift;
            more = b & 0x80;
        }
        if (more || i >= differences.size() || gap > folded.size() - lastEnd)
            return;
        const auto tag = static_cast<unsigned char>(differences[i++]);
        Change change{};
        change.at = lastEnd + gap;
        change.length = static_cast<unsigned char>((tag & 3) + 1);
        const auto relation = Relation((tag >> 2) & 3);
        if (change.length > folded.size() - change.at)
            return;
        while (merged[piece].second <= change.at && piece + 1 < merged.size())
            ++piece;
        const bool wanted = change.at < merged[piece].second && change.at + change.length > merged[piece].first;
        if (relation == Bytes) {
            change.size = static_cast<unsigned char>(((tag >> 4) & 3) + 1);
            if (change.size > differences.size() - i)
                return;
            std::memcpy(change.written, differences.data() + i, change.size);
            i += change.size;
        } else if (wanted) { // made, and found sensible, only where it is asked for
            const int n = change.length == 1
                              ? related(relation, static_cast<unsigned char>(folded[change.at]), change.written)
                              : 0;
            if (n == 0)
                return;
            change.size = static_cast<unsigned char>(n);
        }
        if (wanted)
            m_changes.push_back(change);
        lastEnd = change.at + change.length;
    }
}

void WrittenForm::appendWritten(std::size_t from, std::size_t to, std::string &out) const
{
    to = std::min(to, m_folded.size());
    auto it = std::lower_bound(m_changes.begin(), m_changes.end(), from,
                               [](const Change &c, std::size_t at) { return c.at < at; });
    std::size_t at = from;
    for (; it != m_changes.end() && it->at < to; ++it) {
        out.append(m_folded.data() + at, it->at - at);
        out.append(it->written, it->size);
        at = it->at + it->length;
    }
    if (at < to)
        out.append(m_folded.data() + at, to - at);
}

std::string WrittenForm::text() const
{
    std::string out;
    out.reserve(m_folded.size() + m_changes.size() * 2);
    appendWritten(0, m_folded.size(), out);
    return out;
}

} // namespace morvessa
