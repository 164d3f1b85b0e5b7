#include "text/textfold.h"

#include <unicode/uchar.h>

#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace morvessa {

namespace {

constexpr char32_t kMaxCode = 0x10FFFF;

char32_t foldCode(char32_t c)
{
    if (c >= 0xFF01 && c <= 0xFF5E)
        c -= 0xFEE0;
    if (c < 0x80)
        return (c >= U'A' && c <= U'Z') ? c + 0x20 : c;
    return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
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
        for (char32_t c = 0; c <= kMaxCode; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF)
                continue;
            const char32_t f = foldCode(c);
            if (f != c) {
                tables.shared[f] = true;
                auto &list = tables.sources[f];
                if (list.empty())
                    list.push_back(f);
                list.push_back(c);
            }
        }
    });
    return tables;
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

int decodeUtf8(std::string_view text, size_t pos, char32_t &c)
{
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    const size_t n = text.size();
    const unsigned char b = s[pos];
    if (b < 0x80) {
        c = b;
        return 1;
    }
    int len;
    char32_t v;
    char32_t min;
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2; v = b & 0x1F; min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3; v = b & 0x0F; min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4; v = b & 0x07; min = 0x10000;
    } else {
        c = kInvalidUtf8 + b;
        return 1;
    }
    if (pos + len > n) {
        c = kInvalidUtf8 + b;
        return 1;
    }
    for (int k = 1; k < len; ++k) {
        const unsigned char t = s[pos + k];
        if ((t & 0xC0) != 0x80) {
            c = kInvalidUtf8 + b;
            return 1;
        }
        v = (v << 6) | (t & 0x3F);
    }
    if (v < min || v > kMaxCode || (v >= 0xD800 && v <= 0xDFFF)) {
        c = kInvalidUtf8 + b;
        return 1;
    }
    c = v;
    return len;
}

size_t previousUtf8(std::string_view text, size_t pos)
{
    for (size_t back = 2; back <= 4 && back <= pos; ++back) {
        const size_t start = pos - back;
        const auto b = static_cast<unsigned char>(text[start]);
        if ((b & 0xC0) == 0x80)
            continue;
        char32_t c;
        if (decodeUtf8(text, start, c) == static_cast<int>(back))
            return start;
        break;
    }
    return pos - 1;
}

namespace {

int encodeUtf8(char32_t c, unsigned char *o)
{
    if (c >= kInvalidUtf8) {
        o[0] = static_cast<unsigned char>(c - kInvalidUtf8);
        return 1;
    }
    if (c < 0x80) {
        o[0] = static_cast<unsigned char>(c);
        return 1;
    }
    if (c < 0x800) {
        o[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
        o[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        o[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
        o[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        o[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 3;
    }
    o[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
    o[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
    o[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    o[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 4;
}

} // namespace

void appendUtf8(std::string &out, char32_t c)
{
    unsigned char buf[4];
    out.append(reinterpret_cast<const char *>(buf), encodeUtf8(c, buf));
}

void foldUtf8Into(std::string_view text, std::string &out)
{
    // A fold is never more than half again as long as its character (2 bytes to 3).
    out.resize(text.size() + text.size() / 2 + 4);
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    const size_t n = text.size();
    auto *o = reinterpret_cast<unsigned char *>(out.data());
    size_t i = 0;
    while (i < n) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            *o++ = (b >= 'A' && b <= 'Z') ? b + 0x20 : b;
            ++i;
        } else if (b >= 0xE3 && b <= 0xE9 && i + 2 < n && (s[i + 1] & 0xC0) == 0x80 && (s[i + 2] & 0xC0) == 0x80) {
            // U+3000..U+9FFF (CJK, kana, CJK punctuation) fold to themselves.
            o[0] = b;
            o[1] = s[i + 1];
            o[2] = s[i + 2];
            o += 3;
            i += 3;
        } else {
            char32_t c;
            const int len = decodeUtf8(text, i, c);
            o += encodeUtf8(c >= kInvalidUtf8 ? c : foldCode(c), o);
            i += len;
        }
    }
    out.resize(o - reinterpret_cast<unsigned char *>(out.data()));
}

std::string foldUtf8(std::string_view text)
{
    std::string out;
    foldUtf8Into(text, out);
    return out;
}

FoldedFinder::FoldedFinder(std::string_view needleUtf8)
{
    foldUtf8Into(needleUtf8, m_needle);
    for (size_t i = 0; i < m_needle.size();) {
        char32_t c;
        i += decodeUtf8(m_needle, i, c);
        m_chars += c;
        m_bytewise = m_bytewise && foldsAlone(c);
    }
    if (m_chars.empty())
        return;
    const char32_t first = m_chars.front();
    if (foldsAlone(first)) {
        appendUtf8(m_firstBytes, first);
        return;
    }
    unsigned char buf[4];
    for (char32_t c : foldTables().sources.at(first)) {
        encodeUtf8(c, buf);
        m_lead[buf[0]] = true;
    }
}

size_t FoldedFinder::matchAt(std::string_view text, size_t pos) const
{
    if (m_bytewise) {
        if (text.size() - pos < m_needle.size() || std::memcmp(text.data() + pos, m_needle.data(), m_needle.size()) != 0)
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
            const void *hit = memmem(base + at, text.size() - at, bytes.data(), bytes.size());
            if (!hit)
                return npos;
            at = static_cast<const char *>(hit) - base;
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

char *writeFolded(std::string_view text, char *out)
{
    const bool cjkShortcut = cjkBlockFoldsToItself();
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    const size_t n = text.size();
    std::string one;
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
        one.clear();
        appendUtf8(one, c >= kInvalidUtf8 ? c : foldChar(c));
        std::memcpy(out, one.data(), one.size());
        out += one.size();
        i += size_t(len);
    }
    return out;
}

void foldContent(std::string &bytes, std::size_t from)
{
    thread_local std::string folded;
    const std::string_view text = std::string_view(bytes).substr(from);
    folded.resize(foldedCapacity(text.size()));
    const size_t n = size_t(writeFolded(text, folded.data()) - folded.data());
    bytes.resize(from);
    bytes.append(folded.data(), n);
}

} // namespace morvessa
