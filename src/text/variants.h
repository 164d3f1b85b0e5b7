#pragma once
// Variant folding: simplified and traditional forms (发/發, 脉/脈) and common variant
// characters (鍼/針, 痺/痹) are compared as one. Characters that the conversion
// dictionaries link, directly or through a chain, form one class; every character of a
// class folds to the class's lowest code point. Where one character stands for several
// (后 for 后 and 後, 干 for 干, 乾 and 幹) all of them form one class: a variant search
// rather finds too much than misses a form.
//
// One character folds to one character, so a folded text has the characters of the
// original at the same character positions. Only CJK ideographs fold; everything else,
// letters and wildcard characters included, is left as it is.
#include "base/result.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morvessa {

class VariantTable {
public:
    // Builds the classes from the character dictionaries in folder; a dictionary that
    // cannot be read fails the load, and the message names it.
    static Result<std::shared_ptr<const VariantTable>> load(const QString &folder);

    char32_t fold(char32_t c) const
    {
        if (c < 0x10000)
            return m_bmp[c];
        return foldSupplementary(c);
    }
    QString fold(const QString &text) const;
    // Bytes that are not well-formed UTF-8 are copied unchanged.
    void foldUtf8Into(std::string_view text, std::string &out) const;
    // Folds text into out, which has room for text.size() bytes (folding never makes a
    // character longer in UTF-8); returns the bytes written.
    std::size_t foldUtf8To(std::string_view text, char *out) const;
    std::string foldUtf8(std::string_view text) const;

    // Every character of c's class, lowest first (c alone when it has no variants).
    std::u32string classOf(char32_t c) const;
    std::size_t classCount() const { return m_classCount; }
    // The same for two tables that fold every character alike; other dictionaries that
    // fold any character otherwise give another.
    std::uint64_t fingerprint() const { return m_fingerprint; }

private:
    char32_t foldSupplementary(char32_t c) const;

    std::vector<char16_t> m_bmp;                                // fold of every BMP character
    std::vector<std::pair<char32_t, char32_t>> m_supplementary; // sorted; characters that fold elsewhere
    std::vector<std::pair<char32_t, char32_t>> m_members;       // (fold, character), sorted, for classOf
    std::size_t m_classCount = 0;
    std::uint64_t m_fingerprint = 0;
};

// Where the dictionaries are: MORVESSA_VARIANT_DATA when set, else the system's folder.
QString variantDataFolder();

// The table of variantDataFolder(), loaded on first use and kept for the process. A failed
// load is tried again on the next call.
Result<std::shared_ptr<const VariantTable>> variantTable();

} // namespace morvessa
