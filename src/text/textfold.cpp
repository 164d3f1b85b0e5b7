#include "text/textfold.h"

#include "text/utf8.h"

#include <unicode/uchar.h>
#include <unicode/uset.h>

#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace morvessa {

namespace {

constexpr char32_t kMaxCode = kMaxCodePoint;

// Full-width forms U+FF01..U+FF5E are the ASCII characters U+0021..U+007E.
constexpr char32_t kWideFirst = 0xFF01, kWideLast = 0xFF5E, kWideOffset = 0xFEE0;

char32_t icuFold(char32_t c)
{
    return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
}

// The folds of the Basic Multilingual Plane, looked up rather than asked of ICU for
// every character the like compares.
const std::vector<char32_t> &bmpFolds()
{
    static const std::vector<char32_t> table = [] {
        std::vector<char32_t> t(0x10000);
        for (char32_t c = 0; c < 0x10000; ++c) {
            const char32_t w = (c >= kWideFirst && c <= kWideLast) ? c - kWideOffset : c;
            t[c] = w < 0x80 ? ((w >= U'A' && w <= U'Z') ? w + 0x20 : w) : icuFold(w);
        }
        return t;
    }();
    return table;
}

char32_t foldCode(char32_t c)
{
    if (c < 0x80)
        return (c >= U'A' && c <= U'Z') ? c + 0x20 : c;
    if (c < 0x10000)
        return bmpFolds()[c];
    return icuFold(c);
}

struct FoldTables {
    std::vector<bool> shared; // characters that some other character folds to (a, k, s, 1, ...)
    std::unordered_map<char32_t, std::vector<char32_t>> sources; // for those: every character folding to it
};

const FoldTables &foldTables()
{
    static FoldTables tables;
    static std::once_flag once;
    std::call_once(once, [] {
        tables.shared.assign(kMaxCode + 1, false);
        auto add = [](char32_t c) {
            const char32_t f = foldCode(c);
            if (f == c)
                return;
            tables.shared[f] = true;
            auto &list = tables.sources[f];
            if (list.empty())
                list.push_back(f);
            list.push_back(c);
        };
        // Only characters that case folding with compatibility mapping changes (a set that
        // also holds the singletons plain case folding leaves out, such as U+1FBE) and the
        // full-width forms fold to another: asking about those, not every code point,
        // keeps this off the start of a search.
        UErrorCode error = U_ZERO_ERROR;
        const USet *changing = u_getBinaryPropertySet(UCHAR_CHANGES_WHEN_NFKC_CASEFOLDED, &error);
        if (U_FAILURE(error) || !changing) {
            for (char32_t c = 0; c <= kMaxCode; ++c)
                if (c < 0xD800 || c > 0xDFFF)
                    add(c);
            return;
        }
        for (int32_t i = 0, n = uset_getRangeCount(changing); i < n; ++i) {
            UChar32 first = 0, last = 0;
            uset_getItem(changing, i, &first, &last, nullptr, 0, &error);
            for (UChar32 c = first; c <= last; ++c)
                if (char32_t(c) < kWideFirst || char32_t(c) > kWideLast) // those come below
                    add(char32_t(c));
        }
        for (char32_t c = kWideFirst; c <= kWideLast; ++c)
            add(c);
    });
    return tables;
}

// Where bytes first occur in [p, end). The like patterns look through one row after another,
// mostly short: memmem's set-up for each cost more than the search itself. The last byte is
// looked for, which in UTF-8 text (a continuation byte of a CJK character) varies most.
const char *findBytes(const char *p, const char *end, const std::string &bytes)
{
    const size_t n = bytes.size();
    if (n == 0 || size_t(end - p) < n)
        return n == 0 ? p : nullptr;
    const char last = bytes.back();
    for (const char *q = p + n - 1; q < end; ++q) {
        q = static_cast<const char *>(std::memchr(q, last, size_t(end - q)));
        if (!q)
            return nullptr;
        if (std::memcmp(q - (n - 1), bytes.data(), n - 1) == 0)
            return q - (n - 1);
    }
    return nullptr;
}

} // namespace

char32_t foldChar(char32_t c)
{
    if (c > kMaxCode)
        return c;
    return foldCode(c);
}

bool foldsAlone(char32_t c)
{
    if (c > kMaxCode)
        return true;
    if (foldCode(c) != c)
        return false;
    return !foldTables().shared[c];
}

QString foldText(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        char32_t c = text.at(i).unicode();
        qsizetype n = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            n = 2;
        } else if (QChar::isSurrogate(c)) {
            out += text.at(i);
            ++i;
            continue;
        }
        const char32_t f = foldCode(c);
        if (QChar::requiresSurrogates(f)) {
            out += QChar(QChar::highSurrogate(f));
            out += QChar(QChar::lowSurrogate(f));
        } else {
            out += QChar(static_cast<char16_t>(f));
        }
        i += n;
    }
    return out;
}

std::string foldUtf8(std::string_view text)
{
    std::string out;
    appendFolded(out, text);
    return out;
}

FoldedFinder::FoldedFinder(std::string_view needleUtf8)
{
    m_needle = foldUtf8(needleUtf8);
    for (size_t i = 0; i < m_needle.size();) {
        char32_t c;
        i += decodeUtf8(m_needle, i, c);
        m_chars += c;
        m_bytewise = m_bytewise && foldsAlone(c);
    }
    if (m_chars.empty())
        return;
    const char32_t first = m_chars.front();
    // A character the tables list no sources for is looked for as itself, as one that
    // folds alone: the tables would have to disagree with foldCode for that to happen.
    const auto &sources = foldTables().sources;
    const auto from = foldsAlone(first) ? sources.end() : sources.find(first);
    if (from == sources.end()) {
        appendUtf8(m_firstBytes, first);
        return;
    }
    unsigned char buf[4];
    for (char32_t c : from->second) {
        encodeUtf8(c, buf);
        m_lead[buf[0]] = true;
    }
}

size_t FoldedFinder::matchAt(std::string_view text, size_t pos) const
{
    if (m_bytewise) {
        if (text.size() - pos < m_needle.size() ||
            std::memcmp(text.data() + pos, m_needle.data(), m_needle.size()) != 0)
            return npos;
        return pos + m_needle.size();
    }
    for (char32_t want : m_chars) {
        if (pos >= text.size())
            return npos;
        char32_t c;
        const int len = decodeUtf8(text, pos, c);
        if (foldChar(c) != want)
            return npos;
        pos += len;
    }
    return pos;
}

size_t FoldedFinder::find(std::string_view text, size_t from, size_t &end) const
{
    if (m_chars.empty()) {
        end = from;
        return from;
    }
    const char *base = text.data();
    if (m_bytewise || !m_firstBytes.empty()) {
        const std::string &bytes = m_bytewise ? m_needle : m_firstBytes;
        for (size_t at = from; at < text.size();) {
            const char *hit = findBytes(base + at, base + text.size(), bytes);
            if (!hit)
                return npos;
            at = size_t(hit - base);
            end = matchAt(text, at);
            if (end != npos)
                return at;
            at += bytes.size();
        }
        return npos;
    }
    // Every character that folds to the first one starts with one of a few lead bytes.
    const auto *s = reinterpret_cast<const unsigned char *>(base);
    for (size_t at = from; at < text.size(); ++at) {
        if (!m_lead[s[at]])
            continue;
        end = matchAt(text, at);
        if (end != npos)
            return at;
    }
    return npos;
}

bool FoldedFinder::foundIn(std::string_view text) const
{
    size_t end;
    return find(text, 0, end) != npos;
}

namespace {

// Every character from U+3000 to U+9FFF (CJK, kana, bopomofo) is its own fold; checked
// once, so that the common case can skip decoding.
bool cjkBlockFoldsToItself()
{
    static const bool yes = [] {
        for (char32_t c = 0x3000; c < 0xA000; ++c)
            if (foldChar(c) != c)
                return false;
        return true;
    }();
    return yes;
}

} // namespace

namespace {

// Folding keeps the size of nearly every character; a few grow from two bytes to three.
constexpr size_t foldedCapacity(size_t size)
{
    return size + size / 2 + 4;
}

char *writeFolded(std::string_view text, char *out)
{
    const bool cjkShortcut = cjkBlockFoldsToItself();
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            *out++ = char(b >= 'A' && b <= 'Z' ? b + 0x20 : b);
            ++i;
            continue;
        }
        if (cjkShortcut && b >= 0xE3 && b <= 0xE9 && i + 2 < n && (s[i + 1] & 0xC0) == 0x80 &&
            (s[i + 2] & 0xC0) == 0x80) {
            std::memcpy(out, s + i, 3);
            out += 3;
            i += 3;
            continue;
        }
        char32_t c;
        const int len = decodeUtf8(text, i, c);
        out += encodeUtf8(c >= kInvalidUtf8 ? c : foldCode(c), reinterpret_cast<unsigned char *>(out));
        i += size_t(len);
    }
    return out;
}

} // namespace

void appendFolded(std::string &out, std::string_view text)
{
    const size_t used = out.size();
    out.resize(used + foldedCapacity(text.size()));
    out.resize(size_t(writeFolded(text, out.data() + used) - out.data()));
}

void foldContent(std::string &bytes, std::size_t from)
{
    thread_local std::string folded;
    folded.clear();
    appendFolded(folded, std::string_view(bytes).substr(from));
    bytes.resize(from);
    bytes.append(folded);
}

} // namespace morvessa
