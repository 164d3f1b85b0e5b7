#include "text/variants.h"

#include "text/utf8.h"

#include <opencc/DictEntry.hpp>
#include <opencc/Exception.hpp>
#include <opencc/Lexicon.hpp>
#include <opencc/MarisaDict.hpp>

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <numeric>

namespace morvessa {

namespace {

// Simplified to traditional and back, and the Taiwan and Hong Kong standard forms. The
// Japanese tables are left out: their new forms stand for several distinct characters
// (弁 for 辨, 辯, 瓣 and 辦), which would make 辨證 find 辦證.
const char *const kDictionaries[] = {"STCharacters",  "TSCharacters", "TWVariants",
                                     "TWVariantsRev", "HKVariants",   "HKVariantsRev"};

// Code points up to the end of CJK extension H; beyond it nothing folds.
constexpr char32_t kLimit = 0x323B0;

bool isIdeograph(char32_t c)
{
    return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0x20000 && c < kLimit);
}

// The one character that s (UTF-8) holds, or 0.
char32_t singleChar(std::string_view s)
{
    char32_t c = 0;
    if (s.empty() || std::size_t(decodeUtf8(s, 0, c)) != s.size() || c >= kInvalidUtf8)
        return 0;
    return c;
}

// Classes as a union-find forest whose roots are the lowest code point of their class.
class Classes {
public:
    Classes() : m_parent(kLimit) { std::iota(m_parent.begin(), m_parent.end(), char32_t(0)); }
    char32_t root(char32_t c)
    {
        while (m_parent[c] != c) {
            m_parent[c] = m_parent[m_parent[c]];
            c = m_parent[c];
        }
        return c;
    }
    void unite(char32_t a, char32_t b)
    {
        if (!isIdeograph(a) || !isIdeograph(b))
            return;
        a = root(a);
        b = root(b);
        if (a != b)
            m_parent[std::max(a, b)] = std::min(a, b);
    }

private:
    std::vector<char32_t> m_parent;
};

Result<void> addDictionary(Classes &classes, const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    FILE *file = std::fopen(native.constData(), "rb");
    if (!file)
        return Failure{QStringLiteral("無法讀取異體字對照檔「%1」：檔案不存在或無法開啟。").arg(path)};
    const auto damaged = [&](const char *what) {
        std::fclose(file);
        return Failure{QStringLiteral("異體字對照檔「%1」內容有誤：%2").arg(path, QString::fromUtf8(what))};
    };
    opencc::MarisaDictPtr dict;
    // The conversion library reports a damaged dictionary by throwing.
    try {
        dict = opencc::MarisaDict::NewFromFile(file);
    } catch (const opencc::Exception &e) {
        return damaged(e.what());
    } catch (const std::exception &e) {
        return damaged(e.what());
    }
    std::fclose(file);
    const opencc::LexiconPtr lexicon = dict->GetLexicon();
    for (std::size_t i = 0; i < lexicon->Length(); ++i) {
        const opencc::DictEntry *entry = lexicon->At(i);
        const char32_t key = singleChar(entry->Key());
        if (!key)
            continue; // phrases: folding goes character by character
        for (const std::string &value : entry->Values())
            if (const char32_t c = singleChar(value))
                classes.unite(key, c);
    }
    return {};
}

} // namespace

Result<std::shared_ptr<const VariantTable>> VariantTable::load(const QString &folder)
{
    Classes classes;
    for (const char *name : kDictionaries)
        if (const Result<void> added =
                addDictionary(classes, folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".ocd2"));
            !added)
            return added.failure();
    // Compatibility ideographs are their unified character under another code point.
    for (char32_t c = 0xF900; c <= 0x2FA1F; c = c == 0xFAFF ? 0x2F800 : c + 1) {
        const char32_t one[] = {c};
        const QString decomposed = QString::fromUcs4(one, 1).normalized(QString::NormalizationForm_D);
        const QList<uint> codes = decomposed.toUcs4();
        if (codes.size() == 1 && codes[0] != c && c < kLimit)
            classes.unite(c, char32_t(codes[0]));
    }

    auto table = std::make_shared<VariantTable>();
    table->m_bmp.resize(0x10000);
    for (char32_t c = 0; c < 0x10000; ++c)
        table->m_bmp[c] = char16_t(c);
    std::vector<bool> inClass(kLimit, false);
    for (char32_t c = 0; c < kLimit; ++c) {
        const char32_t f = classes.root(c);
        if (f == c)
            continue;
        // A class's lowest member is in the BMP whenever any member is, so a BMP
        // character always folds to a BMP character (and keeps its UTF-8 length).
        if (c < 0x10000)
            table->m_bmp[c] = char16_t(f);
        else
            table->m_supplementary.emplace_back(c, f);
        table->m_members.emplace_back(f, c);
        if (!inClass[f]) {
            inClass[f] = true;
            table->m_members.emplace_back(f, f);
            ++table->m_classCount;
        }
    }
    std::sort(table->m_members.begin(), table->m_members.end());
    // FNV-1a over every fold: the BMP's, then each supplementary character's.
    std::uint64_t h = 0xCBF29CE484222325ull;
    const auto mix = [&h](char32_t c) {
        for (int k = 0; k < 3; ++k)
            h = (h ^ ((c >> (8 * k)) & 0xFF)) * 0x100000001B3ull;
    };
    for (const char16_t f : table->m_bmp)
        mix(f);
    for (const auto &[c, f] : table->m_supplementary) {
        mix(c);
        mix(f);
    }
    table->m_fingerprint = h;
    return table;
}

char32_t VariantTable::foldSupplementary(char32_t c) const
{
    const auto it =
        std::lower_bound(m_supplementary.begin(), m_supplementary.end(), std::make_pair(c, char32_t(0)));
    return it != m_supplementary.end() && it->first == c ? it->second : c;
}

QString VariantTable::fold(const QString &text) const
{
    QList<uint> codes = text.toUcs4();
    for (uint &c : codes)
        c = fold(char32_t(c));
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(codes.constData()), codes.size());
}

std::size_t VariantTable::foldUtf8To(std::string_view text, char *out) const
{
    char *w = out;
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const auto *end = p + text.size();
    while (p < end) {
        const unsigned char b = *p;
        if (b < 0xE3) { // ASCII, two-byte characters, and nothing that folds below U+3000
            const unsigned char *run = p + 1;
            while (run < end && *run < 0xE3)
                ++run;
            std::memcpy(w, p, std::size_t(run - p));
            w += run - p;
            p = run;
        } else if (b < 0xF0 && end - p >= 3 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80) {
            // From U+3000 up a character and its fold (an ideograph, or itself) both take
            // three bytes, and writing a character that does not fold gives its own bytes.
            const char32_t f = m_bmp[(b & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F)];
            w[0] = char(0xE0 | (f >> 12));
            w[1] = char(0x80 | ((f >> 6) & 0x3F));
            w[2] = char(0x80 | (f & 0x3F));
            w += 3;
            p += 3;
        } else {
            char32_t c;
            const int n =
                decodeUtf8(text, std::size_t(p - reinterpret_cast<const unsigned char *>(text.data())), c);
            if (c >= kInvalidUtf8 || fold(c) == c) {
                std::memcpy(w, p, std::size_t(n));
                w += n;
            } else {
                w += encodeUtf8(fold(c), reinterpret_cast<unsigned char *>(w));
            }
            p += n;
        }
    }
    return std::size_t(w - out);
}

void VariantTable::foldUtf8Into(std::string_view text, std::string &out) const
{
    const std::size_t start = out.size();
    out.resize(start + text.size());
    out.resize(start + foldUtf8To(text, out.data() + start));
}

std::string VariantTable::foldUtf8(std::string_view text) const
{
    std::string out;
    foldUtf8Into(text, out);
    return out;
}

std::u32string VariantTable::classOf(char32_t c) const
{
    const char32_t f = fold(c);
    std::u32string members;
    for (auto it = std::lower_bound(m_members.begin(), m_members.end(), std::make_pair(f, char32_t(0)));
         it != m_members.end() && it->first == f; ++it)
        members += it->second;
    if (members.empty())
        members += c;
    return members;
}

QString variantDataFolder()
{
    const QString configured = qEnvironmentVariable("MORVESSA_VARIANT_DATA");
    return configured.isEmpty() ? QStringLiteral(MORVESSA_OPENCC_DATA) : configured;
}

Result<std::shared_ptr<const VariantTable>> variantTable()
{
    static std::mutex mutex;
    static std::shared_ptr<const VariantTable> table;
    const std::lock_guard lock(mutex);
    if (table)
        return table;
    Result<std::shared_ptr<const VariantTable>> loaded = VariantTable::load(variantDataFolder());
    if (loaded)
        table = *loaded;
    return loaded;
}

} // namespace morvessa
