#include "generate.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <vector>

namespace bench {

namespace {

constexpr std::size_t kPage = 4096;
// Jet 4 page layout, as far as these collections need it.
constexpr std::size_t kOwnerAt = 4, kRowCountAt = 12, kRowsAt = 14;
constexpr std::size_t kTdefRowsAt = 16, kTdefVarColsAt = 43, kTdefColsAt = 45, kTdefRealIdxAt = 51,
                      kTdefMapAt = 55, kColumnsAt = 63, kColumnEntry = 25, kRealIdxEntry = 12;
constexpr std::size_t kBitsPerMapPage = (kPage - 4) * 8;
constexpr int kMapSlots = 17;

using Page = std::vector<unsigned char>;

std::uint16_t u16(const unsigned char *p)
{
    return std::uint16_t(p[0] | (p[1] << 8));
}
std::uint32_t u32(const unsigned char *p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
void put16(unsigned char *p, std::uint32_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
void put32(unsigned char *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}

// Whether the UTF-16 unit at p is a high (0xD800) or low (0xDC00) surrogate.
bool isSurrogate(const unsigned char *p, unsigned half)
{
    return (u16(p) & 0xFC00) == half;
}

struct Row {
    std::size_t start, end; // within the page
};

std::vector<Row> rowsOf(const unsigned char *pg)
{
    std::vector<Row> rows;
    const unsigned n = u16(pg + kRowCountAt);
    for (unsigned r = 0; r < n; ++r) {
        const std::size_t start = u16(pg + kRowsAt + 2 * r) & 0x1FFF;
        const std::size_t end = r == 0 ? kPage : (u16(pg + kRowsAt + 2 * (r - 1)) & 0x1FFF);
        rows.push_back({start, end});
    }
    return rows;
}

// A row's varying-size values: [offset, next) within the row.
std::vector<std::size_t> varOffsets(const unsigned char *row, std::size_t len)
{
    const unsigned cols = u16(row);
    const std::size_t mask = (cols + 7) / 8;
    const unsigned nvar = u16(row + len - mask - 2);
    std::vector<std::size_t> out;
    for (unsigned k = 0; k <= nvar; ++k)
        out.push_back(u16(row + len - mask - 4 - 2 * k));
    return out;
}

// Varies UTF-16 text in place: every seventh CJK character moved to another one.
void vary(unsigned char *text, std::size_t len, unsigned copy)
{
    if (copy == 0 || (len >= 2 && text[0] == 0xFF && text[1] == 0xFE))
        return;
    for (std::size_t i = 0; i + 1 < len; i += 2) {
        const unsigned u = unsigned(text[i]) | (unsigned(text[i + 1]) << 8);
        if (u >= 0x4E00 && u < 0x9FA0 && (i / 2 + copy) % 7 == 0)
            put16(text + i, 0x4E00 + (u - 0x4E00 + copy * 7919) % 0x51A0);
    }
}

struct Source {
    std::vector<unsigned char> bytes;
    std::size_t pages = 0;
    std::size_t tdef = 0; // maindata's definition page
    std::size_t mapPage = 0, mapRow = 0;
    std::size_t contentVar = 0; // content's place among the varying-size values
    std::vector<std::size_t> dataPages, longValuePages;

    unsigned char *page(std::size_t p) { return bytes.data() + p * kPage; }
};

Source load(const std::string &path)
{
    Source s;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    s.bytes.assign(std::istreambuf_iterator<char>(in), {});
    s.pages = s.bytes.size() / kPage;
    const std::string name = "content";
    for (std::size_t p = 0; p < s.pages && !s.tdef; ++p) {
        unsigned char *pg = s.page(p);
        if (pg[0] != 2)
            continue;
        std::string utf16;
        for (char c : name)
            utf16 += c, utf16 += '\0';
        if (std::search(pg, pg + kPage, utf16.begin(), utf16.end()) != pg + kPage)
            s.tdef = p;
    }
    if (!s.tdef)
        throw std::runtime_error("no definition of maindata in " + path);
    unsigned char *def = s.page(s.tdef);
    const unsigned cols = u16(def + kTdefColsAt);
    const std::size_t colsAt = kColumnsAt + u32(def + kTdefRealIdxAt) * kRealIdxEntry;
    // The names follow the column entries, in the same order.
    std::size_t nameAt = colsAt + cols * kColumnEntry;
    for (unsigned c = 0; c < cols; ++c) {
        const unsigned len = u16(def + nameAt);
        std::string n;
        for (unsigned i = 0; i < len; i += 2)
            n += char(def[nameAt + 2 + i]);
        if (n == name)
            s.contentVar = u16(def + colsAt + c * kColumnEntry + 7);
        nameAt += 2 + len;
    }
    const std::uint32_t map = u32(def + kTdefMapAt);
    s.mapPage = map >> 8;
    s.mapRow = map & 0xFF;
    for (std::size_t p = 1; p < s.pages; ++p) {
        const unsigned char *pg = s.page(p);
        if (pg[0] != 1)
            continue;
        if (std::memcmp(pg + kOwnerAt, "LVAL", 4) == 0)
            s.longValuePages.push_back(p);
        else if (u32(pg + kOwnerAt) == s.tdef)
            s.dataPages.push_back(p);
    }
    return s;
}

// The memo value of a row: its 12-byte head, inside the page.
unsigned char *memoHead(unsigned char *pg, const Row &row, std::size_t contentVar, std::size_t &size)
{
    const auto offsets = varOffsets(pg + row.start, row.end - row.start);
    if (contentVar + 1 >= offsets.size())
        return nullptr;
    size = offsets[contentVar + 1] - offsets[contentVar];
    return size >= 12 ? pg + row.start + offsets[contentVar] : nullptr;
}

// Writes the table's usage map for the given data pages: bitmap pages appended to out,
// referenced from the map row.
void writeUsageMap(Source &s, std::vector<Page> &appended, const std::vector<std::size_t> &dataPages)
{
    unsigned char *mapPg = s.page(s.mapPage);
    const Row row = rowsOf(mapPg)[s.mapRow];
    unsigned char *map = mapPg + row.start;
    if (map[0] != 1 || row.end - row.start < 1 + 4 * kMapSlots)
        throw std::runtime_error("the table's usage map is not a page map");
    std::map<std::size_t, Page> bitmaps;
    for (std::size_t p : dataPages) {
        Page &bm = bitmaps[p / kBitsPerMapPage];
        if (bm.empty()) {
            bm.assign(kPage, 0);
            bm[0] = 5;
            bm[1] = 1;
        }
        const std::size_t bit = p % kBitsPerMapPage;
        bm[4 + bit / 8] |= std::uint8_t(1 << (bit % 8));
    }
    for (int slot = 0; slot < kMapSlots; ++slot)
        put32(map + 1 + 4 * slot, 0);
    for (auto &[slot, bm] : bitmaps) {
        if (slot >= kMapSlots)
            throw std::runtime_error("too many pages for the usage map");
        put32(map + 1 + 4 * slot, std::uint32_t(s.pages + appended.size()));
        appended.push_back(std::move(bm));
    }
}

void save(Source &s, const std::vector<Page> &appended, const std::string &target)
{
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(s.bytes.data()), std::streamsize(s.bytes.size()));
    for (const Page &p : appended)
        out.write(reinterpret_cast<const char *>(p.data()), kPage);
    if (!out)
        throw std::runtime_error("cannot write " + target);
}

// Poem text to build the long contents from: the corpus's single-part long values.
std::vector<unsigned char> longValueText(Source &s, std::uint32_t maxBytes)
{
    std::vector<unsigned char> text;
    for (std::size_t p : s.longValuePages) {
        for (const Row &row : rowsOf(s.page(p)))
            if (row.start < row.end && row.end <= kPage && (row.end - row.start) % 2 == 0)
                text.insert(text.end(), s.page(p) + row.start, s.page(p) + row.end);
        if (text.size() > (64u << 20))
            break;
    }
    if (text.size() < std::size_t(maxBytes) + 2)
        throw std::runtime_error("not enough text in the corpus");
    return text;
}

// The pages made for the file, and where a page number is stored in them (page index in
// pages, byte offset), to be set right once the pages are spread.
struct NewPages {
    std::vector<Page> pages;
    std::vector<std::pair<std::size_t, std::size_t>> refs;
};

// Appends len bytes of text from at as a chain of long-value pages; returns the first
// page's number.
std::size_t appendLongValue(const Source &s, const unsigned char *from, std::size_t len, NewPages &out)
{
    constexpr std::size_t kPart = kPage - kRowsAt - 2 - 4; // data bytes in one chain row
    const std::size_t parts = (len + kPart - 1) / kPart;
    const std::size_t firstPage = s.pages + out.pages.size();
    for (std::size_t part = 0; part < parts; ++part) {
        const std::size_t take = std::min<std::size_t>(kPart, len - part * kPart);
        Page lv(kPage, 0);
        lv[0] = 1;
        lv[1] = 1;
        std::memcpy(lv.data() + kOwnerAt, "LVAL", 4);
        put16(lv.data() + 2, std::uint32_t(kPage - kRowsAt - 2 - (take + 4)));
        put16(lv.data() + kRowCountAt, 1);
        const std::size_t start = kPage - (take + 4);
        put16(lv.data() + kRowsAt, std::uint32_t(start));
        put32(lv.data() + start, part + 1 < parts ? std::uint32_t((firstPage + part + 1) << 8) : 0);
        if (part + 1 < parts)
            out.refs.emplace_back(out.pages.size(), start);
        std::memcpy(lv.data() + start + 4, from + part * kPart, take);
        out.pages.push_back(std::move(lv));
    }
    return firstPage;
}

// A Jet writer's file holds a record's long-value pages wherever there was room, seldom
// one after another: the pages are spread over the file in a random order, so that
// reading a record's content jumps as it does in a real file.
void spreadPages(const Source &s, NewPages &made, std::vector<std::size_t> &data, std::mt19937 &random)
{
    std::vector<std::size_t> placeOf(made.pages.size());
    for (std::size_t i = 0; i < placeOf.size(); ++i)
        placeOf[i] = i;
    std::shuffle(placeOf.begin(), placeOf.end(), random);
    std::vector<Page> spread(made.pages.size());
    for (std::size_t i = 0; i < made.pages.size(); ++i)
        spread[placeOf[i]] = std::move(made.pages[i]);
    for (const auto &[index, at] : made.refs) {
        unsigned char *ref = spread[placeOf[index]].data() + at;
        const std::uint32_t value = u32(ref);
        put32(ref, std::uint32_t(((s.pages + placeOf[(value >> 8) - s.pages]) << 8) | (value & 0xff)));
    }
    for (std::size_t &page : data)
        page = s.pages + placeOf[page - s.pages];
    made.pages = std::move(spread);
}

} // namespace

void writeRepeated(const std::string &source, const std::string &target, int copies)
{
    Source s = load(source);
    std::vector<std::size_t> copied = s.dataPages;
    copied.insert(copied.end(), s.longValuePages.begin(), s.longValuePages.end());
    std::sort(copied.begin(), copied.end());
    std::vector<std::size_t> slot(s.pages, 0); // a copied page's place within one copy
    for (std::size_t i = 0; i < copied.size(); ++i)
        slot[copied[i]] = i;
    // The long values that hold a whole value (their head says so): only those are varied.
    std::set<std::uint32_t> singleParts;
    for (std::size_t p : s.dataPages)
        for (const Row &row : rowsOf(s.page(p))) {
            std::size_t size = 0;
            if (row.start < row.end && row.end <= kPage)
                if (const unsigned char *head = memoHead(s.page(p), row, s.contentVar, size))
                    if ((u32(head) & 0xC0000000u) == 0x40000000u)
                        singleParts.insert(u32(head + 4));
        }
    std::vector<Page> appended;
    std::vector<std::size_t> data = s.dataPages;
    std::uint64_t rows = u32(s.page(s.tdef) + kTdefRowsAt);
    const std::uint64_t rowsPerCopy = rows;
    for (int k = 1; k < copies; ++k) {
        const std::size_t base = s.pages + appended.size();
        auto moved = [&](std::uint32_t pgRow) {
            const std::size_t p = pgRow >> 8;
            return p < s.pages && p > 0 ? std::uint32_t(((base + slot[p]) << 8) | (pgRow & 0xFF)) : pgRow;
        };
        for (std::size_t p : copied) {
            Page pg(s.page(p), s.page(p) + kPage);
            const bool longValues = std::memcmp(pg.data() + kOwnerAt, "LVAL", 4) == 0;
            const std::vector<Row> pageRows = rowsOf(pg.data());
            for (std::size_t r = 0; r < pageRows.size(); ++r) {
                const Row &row = pageRows[r];
                if (row.start >= row.end || row.end > kPage)
                    continue;
                // Parts of a chain start with a pointer to the next part: those stay as they are
                // (the copy's chain goes on in the original's parts).
                if (longValues) {
                    if (singleParts.count(std::uint32_t((p << 8) | r)))
                        vary(pg.data() + row.start, row.end - row.start, unsigned(k));
                    continue;
                }
                const auto offsets = varOffsets(pg.data() + row.start, row.end - row.start);
                if (!offsets.empty())
                    vary(pg.data() + row.start + offsets[0], offsets[1] - offsets[0], unsigned(k));
                std::size_t size = 0;
                if (unsigned char *head = memoHead(pg.data(), row, s.contentVar, size)) {
                    const std::uint32_t word = u32(head);
                    if (word & 0x80000000u)
                        vary(head + 12, size - 12, unsigned(k));
                    else
                        put32(head + 4, moved(u32(head + 4)));
                }
            }
            appended.push_back(std::move(pg));
            if (!longValues)
                data.push_back(base + slot[p]);
        }
        rows += rowsPerCopy;
    }
    put32(s.page(s.tdef) + kTdefRowsAt, std::uint32_t(rows));
    writeUsageMap(s, appended, data);
    save(s, appended, target);
}

void writeLongRecords(const std::string &source, const std::string &target, std::uint32_t records,
                      std::uint32_t minBytes, std::uint32_t maxBytes)
{
    Source s = load(source);
    const std::vector<unsigned char> text = longValueText(s, maxBytes);
    std::mt19937 random(20261210);
    NewPages made;
    std::vector<std::size_t> data;
    std::uint32_t rows = 0;
    std::size_t textAt = 0;
    for (std::size_t p : s.dataPages) {
        if (rows >= records)
            break;
        Page pg(s.page(p), s.page(p) + kPage);
        std::vector<Row> pageRows = rowsOf(pg.data());
        std::vector<std::size_t> headRefs;
        // Rows beyond the count asked for are marked deleted.
        for (std::size_t r = 0; r < pageRows.size(); ++r) {
            const Row &row = pageRows[r];
            if (rows >= records) {
                put16(pg.data() + kRowsAt + 2 * r, u16(pg.data() + kRowsAt + 2 * r) | 0x4000);
                continue;
            }
            std::size_t size = 0;
            unsigned char *head = memoHead(pg.data(), row, s.contentVar, size);
            if (!head || size != 12) { // an inline memo keeps its content: still a record
                ++rows;
                continue;
            }
            std::uint32_t len = (minBytes + std::uint32_t(random() % (maxBytes - minBytes + 1))) & ~1u;
            // One value is one run of the text, never a character above U+FFFF cut in two.
            if (textAt + len + 2 > text.size())
                textAt = 0;
            if (isSurrogate(text.data() + textAt, 0xDC00))
                textAt += 2;
            if (isSurrogate(text.data() + textAt + len - 2, 0xD800))
                len -= 2;
            const std::size_t firstPage = appendLongValue(s, text.data() + textAt, len, made);
            textAt += len;
            put32(head, len);
            put32(head + 4, std::uint32_t(firstPage << 8));
            headRefs.push_back(std::size_t(head + 4 - pg.data()));
            ++rows;
        }
        for (const std::size_t at : headRefs)
            made.refs.emplace_back(made.pages.size(), at);
        const std::size_t place = s.pages + made.pages.size();
        made.pages.push_back(std::move(pg));
        data.push_back(place);
    }
    spreadPages(s, made, data, random);
    put32(s.page(s.tdef) + kTdefRowsAt, rows);
    // The original data pages stay in the file but leave the table: only the new ones are
    // in its usage map.
    writeUsageMap(s, made.pages, data);
    save(s, made.pages, target);
}

} // namespace bench
