#include "search/concordance.h"

#include "engine/likepattern.h"
#include "engine/needlefinder.h"
#include "store/writtenform.h"
#include "text/utf8.h"
#include "text/variants.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <tuple>

namespace morvessa {

namespace {

// A query term as like sees it: the statement writes an apostrophe as '&chr(39)&'.
// The "%" at its ends are the statement's own on either side: they do not widen a hit.
std::string termPattern(const QString &keyword)
{
    QString term = keyword;
    term.replace(QStringLiteral("'&chr(39)&'"), QStringLiteral("'"));
    qsizetype begin = 0, end = term.size();
    while (begin < end && term.at(begin) == QLatin1Char('%'))
        ++begin;
    while (end > begin && term.at(end - 1) == QLatin1Char('%'))
        --end;
    return term.mid(begin, end - begin).toStdString();
}

// How often each byte occurs at the start of text: which of a term's bytes are rare.
std::array<std::uint64_t, 256> sampleCounts(std::string_view text)
{
    std::array<std::uint64_t, 256> counts{};
    for (const char c : text.substr(0, 4096))
        ++counts[static_cast<unsigned char>(c)];
    return counts;
}

bool beginsCharacter(char b)
{
    return (static_cast<unsigned char>(b) & 0xC0) != 0x80;
}

// The bytes of the eight in word that begin a character.
int beginningIn(std::uint64_t word)
{
    constexpr std::uint64_t kTop = 0x8080808080808080u;
    const std::uint64_t continuing = (word & ~(word << 1) & kTop) >> 7; // 10xxxxxx: one a byte
    return 8 - int((continuing * 0x0101010101010101u) >> 56);
}

std::uint64_t wordAt(std::string_view text, std::size_t at)
{
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, 8);
    return word;
}

// Where the character count characters before byte `at` begins (0 when fewer). Eight bytes
// are passed over at once while they begin fewer characters than are still to go: the
// bytes before the first of them then lead back to the same character.
std::size_t charactersBack(std::string_view text, std::size_t at, std::size_t count)
{
    for (std::size_t n; at >= 8 && (n = std::size_t(beginningIn(wordAt(text, at - 8)))) < count; at -= 8)
        count -= n;
    for (; count > 0 && at > 0; --count)
        do
            --at;
        while (at > 0 && !beginsCharacter(text[at]));
    return at;
}

// Where the character count characters after the one at byte `at` begins (the end when
// fewer). Eight bytes at once while they begin no more characters than are to be passed.
std::size_t charactersOn(std::string_view text, std::size_t at, std::size_t count)
{
    for (std::size_t n; at + 8 <= text.size() && (n = std::size_t(beginningIn(wordAt(text, at)))) <= count;
         at += 8)
        count -= n;
    for (; at < text.size(); ++at)
        if (beginsCharacter(text[at]) && count-- == 0)
            break;
    return at;
}

// Replaces places (pointed to) of text: with toCharacters each byte place by the
// characters before it, else each character place by the byte where that character
// begins (the end, past the last one). Characters are counted by the bytes that begin
// one, eight at a time: the content is well-formed UTF-8 (the reader writes it so).
void convertPlaces(std::string_view text, std::vector<std::size_t *> &places, bool toCharacters)
{
    std::sort(places.begin(), places.end(), [](const std::size_t *a, const std::size_t *b) { return *a < *b; });
    std::size_t at = 0, chars = 0;
    for (std::size_t *p : places) {
        const std::size_t target = *p;
        if (toCharacters) {
            const std::size_t stop = std::max(at, std::min(target, text.size()));
            chars += countCharacterStarts(text.data() + at, stop - at);
            at = stop;
            *p = chars;
            continue;
        }
        for (; at + 8 <= text.size(); at += 8) {
            const auto n = std::size_t(beginningIn(wordAt(text, at)));
            if (chars + n > target)
                break;
            chars += n;
        }
        for (; at < text.size(); ++at)
            if (beginsCharacter(text[at]) && chars++ == target)
                break;
        if (at < text.size())
            --chars; // the character that begins at `at` is counted when it is passed
        *p = at;
    }
}

// Text as the lines show it: a byte that begins no character is U+FFFD.
QString decoded(std::string_view bytes)
{
    if (wellFormedUtf8(bytes)) // the content as the reader writes it: the quick way
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    std::u32string chars;
    chars.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t c;
        i += std::size_t(decodeUtf8(bytes, i, c));
        chars += c >= kInvalidUtf8 ? U'\uFFFD' : c;
    }
    return QString::fromUcs4(chars.data(), qsizetype(chars.size()));
}

struct Hit {
    std::size_t begin, end, term; // bytes of text, then characters
    // The characters before begin and end, where the search counted them; else npos.
    std::size_t beginChars = std::string_view::npos, endChars = std::string_view::npos;
    bool operator<(const Hit &o) const { return std::tie(begin, term) < std::tie(o.begin, o.term); }
};

struct Term {
    const JetLikePattern &pattern;
    const std::string &literal; // the folded bytes of a term without wildcards, else empty
    std::size_t index;
};

// The term's first maxHits matches in text (all when maxHits is 0), each after the last's end.
void appendTermHits(const Term &term, std::string_view text, const RecordContent &content, int maxHits,
                    std::vector<Hit> &hits, std::size_t from = 0)
{
    // In folded text a plain term's matches are its folded bytes (as in the scan).
    std::optional<NeedleFinder> bytes;
    if (content.folded && !term.literal.empty())
        bytes.emplace(term.literal, content.byteCounts ? content.byteCounts : sampleCounts(text).data());
    // The finder counts the characters it passes: the lines need each hit's.
    std::size_t chars = bytes ? countCharacterStarts(text.data(), std::min(from, text.size())) : 0;
    const std::size_t literalChars = countCharacterStarts(term.literal.data(), term.literal.size());
    std::size_t end = 0, found = 0;
    while (maxHits <= 0 || found < std::size_t(maxHits)) {
        std::size_t at = std::string_view::npos;
        if (bytes) {
            if (const char *p = bytes->findCounting(text.data() + from, text.data() + text.size(), chars)) {
                at = std::size_t(p - text.data());
                end = at + term.literal.size();
            }
        } else {
            at = term.pattern.find(text, from, end);
        }
        if (at == std::string_view::npos)
            break; // a match holds at least one character: the loop moves on
        hits.push_back({at, end, term.index});
        if (bytes) {
            hits.back().beginChars = chars;
            hits.back().endChars = chars += literalChars;
        }
        ++found;
        from = end;
    }
}

} // namespace

struct LineScratch::Room {
    std::string foldedRecord;
    std::vector<Hit> hits;
    std::vector<std::size_t> bounds;
    std::vector<std::size_t *> places;
    std::vector<std::pair<std::size_t, std::size_t>> stretches;
    WrittenForm written;
    std::string piece;
};

LineScratch::LineScratch() : m_room(std::make_unique<Room>()) {}
LineScratch::~LineScratch() = default;

namespace {

// Turns the hits into characters, and gives in bounds the bytes of held where each line's
// pieces begin (before, hit, after and its end, a line after another): where held is the
// text searched, around the hits' own bytes.
void placeLines(std::string_view text, std::string_view held, std::vector<Hit> &hits, std::size_t width,
                std::vector<std::size_t> &bounds, std::vector<std::size_t *> &places)
{
    bounds.clear();
    bounds.reserve(hits.size() * 4);
    const bool searchedHeld = text.data() == held.data() && text.size() == held.size();
    if (searchedHeld)
        for (const Hit &h : hits)
            bounds.insert(bounds.end(), {charactersBack(text, h.begin, width), h.begin, h.end,
                                         charactersOn(text, h.end, width)});
    places.clear();
    for (Hit &h : hits) {
        if (h.beginChars != std::string_view::npos) {
            h.begin = h.beginChars;
            h.end = h.endChars;
        } else {
            places.insert(places.end(), {&h.begin, &h.end});
        }
    }
    if (!places.empty())
        convertPlaces(text, places, true);
    if (!searchedHeld) {
        for (const Hit &h : hits)
            bounds.insert(bounds.end(), {h.begin > width ? h.begin - width : 0, h.begin, h.end, h.end + width});
        places.clear();
        for (std::size_t &b : bounds)
            places.push_back(&b);
        convertPlaces(held, places, false);
    }
}

// Each line's pieces as written: the line's stretch of held, from the first character
// before its hit to the last after.
void writtenLines(const RecordContent &content, LineScratch::Room &room, const LineSink &sink)
{
    const std::vector<Hit> &hits = room.hits;
    const std::vector<std::size_t> &bounds = room.bounds;
    std::vector<std::pair<std::size_t, std::size_t>> &stretches = room.stretches;
    stretches.clear();
    for (std::size_t i = 0; i < bounds.size(); i += 4)
        stretches.emplace_back(bounds[i], bounds[i + 3]);
    const WrittenForm &written = room.written;
    room.written.read(content.held, content.differences, stretches);
    std::string &piece = room.piece;
    for (std::size_t i = 0; i < hits.size(); ++i) {
        const std::size_t *b = bounds.data() + 4 * i;
        piece.clear();
        std::size_t ends[3];
        for (int k = 0; k < 3; ++k) {
            written.appendWritten(b[k], b[k + 1], piece);
            ends[k] = piece.size();
        }
        const std::string_view line(piece);
        sink({qint64(hits[i].begin), line.substr(0, ends[0]), line.substr(ends[0], ends[1] - ends[0]),
              line.substr(ends[1], ends[2] - ends[1])});
    }
}

} // namespace

Result<Concordance> Concordance::make(const QueryAnalysis &analysis, Matching matching, int width)
{
    if (matching == Matching::Exact)
        return Concordance(analysis, nullptr, width);
    const Result<std::shared_ptr<const VariantTable>> variants = variantTable();
    if (!variants)
        return variants.failure();
    return Concordance(analysis, *variants, width);
}

Concordance::Concordance(const QueryAnalysis &analysis, std::shared_ptr<const VariantTable> variants, int width)
    : m_variants(std::move(variants)), m_width(std::max(0, width))
{
    for (const QString &keyword : analysis.keywords) {
        std::string pattern = termPattern(keyword);
        if (m_variants)
            pattern = m_variants->foldUtf8(pattern);
        auto term = std::make_unique<JetLikePattern>();
        // An invalid term has already failed the search; it has no occurrences.
        if (pattern.empty() || !term->compile(pattern, 0))
            continue;
        m_terms.push_back(std::move(term));
        JetLikePattern enclosed;
        const bool plain = enclosed.compile("%" + pattern + "%", 0) && enclosed.shape().plainContains;
        m_literals.push_back(plain ? enclosed.shape().longestRun : std::string());
    }
}

Concordance::~Concordance() = default;
Concordance::Concordance(Concordance &&) noexcept = default;
Concordance &Concordance::operator=(Concordance &&) noexcept = default;

void Concordance::eachLineIn(const RecordContent &content, int maxHits, const LineSink &sink,
                             LineScratch *scratch) const
{
    std::optional<LineScratch> own;
    LineScratch::Room &room = *(scratch ? scratch : &own.emplace())->m_room;
    // With variants the terms meet the record folded alike: its characters stay at their
    // character positions, which the lines below convert back to the content's bytes.
    std::string &foldedRecord = room.foldedRecord;
    foldedRecord.clear();
    if (m_variants)
        m_variants->foldUtf8Into(content.searched, foldedRecord);
    const std::string_view text = m_variants ? std::string_view(foldedRecord) : content.searched;
    if (m_terms.empty() || text.empty())
        return;
    std::vector<Hit> &hits = room.hits;
    hits.clear();
    // A lone plain term is the run the search's scan looked for: nothing of it lies before
    // where the scan first found it (the same bytes, when the record is not folded again).
    const std::string_view lone = m_terms.size() == 1 && !m_variants ? m_literals.front() : std::string_view();
    const bool fromFound = !lone.empty() && content.folded && content.firstFound < text.size() &&
                           text.substr(content.firstFound, lone.size()) == lone;
    for (std::size_t t = 0; t < m_terms.size(); ++t)
        appendTermHits({*m_terms[t], m_literals[t], t}, text, content, maxHits, hits,
                       fromFound ? content.firstFound : 0);
    std::sort(hits.begin(), hits.end());
    if (maxHits > 0 && hits.size() > std::size_t(maxHits))
        hits.resize(std::size_t(maxHits));
    placeLines(text, content.held, hits, std::size_t(m_width), room.bounds, room.places);
    writtenLines(content, room, sink);
}

std::vector<ContextLine> Concordance::linesIn(const RecordContent &content, int maxHits) const
{
    std::vector<ContextLine> lines;
    eachLineIn(content, maxHits, [&](const LinePieces &pieces) { lines.push_back(contextLine(pieces)); });
    return lines;
}

ContextLine contextLine(const LinePieces &pieces)
{
    return {pieces.offset, decoded(pieces.before), decoded(pieces.hit), decoded(pieces.after)};
}

} // namespace morvessa
