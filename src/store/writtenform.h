#pragma once
// The content as written, kept beside the folded content (text/textfold.h) as the places
// where the two differ: folding maps one character to one character and changes few of
// them (Latin capitals, full-width forms), so the differences are a small part of the text.
//
// The differences of one record: for each character the fold changed, the bytes of folded
// text since the previous one (a varint), a tag (the folded character's length, and the
// written character as one of three common relations to it or its bytes given after).
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace morvessa {

// Appends to out the differences of written from folded, its fold.
void appendDifferences(std::string &out, std::string_view folded, std::string_view written);

// One record's folded text with its differences, read for pieces of the text as written.
// Differences that do not fit the folded text (a damaged file) are used only up to the
// first that does not: a piece is then partly folded, never read out of bounds.
class WrittenForm {
public:
    WrittenForm() = default;
    // Only the part of folded before upTo will be asked for.
    WrittenForm(std::string_view folded, std::string_view differences, std::size_t upTo = std::string_view::npos);
    // Only pieces [first, second) of folded will be asked for: the differences elsewhere
    // are passed over, not kept.
    WrittenForm(std::string_view folded, std::string_view differences,
                std::vector<std::pair<std::size_t, std::size_t>> pieces);
    // The same for another record, reusing this one's room (the pieces are sorted).
    void read(std::string_view folded, std::string_view differences,
              std::vector<std::pair<std::size_t, std::size_t>> &pieces);

    // Appends folded[from, to) as written; from and to are character starts of folded
    // (to at most upTo).
    void appendWritten(std::size_t from, std::size_t to, std::string &out) const;
    std::string text() const;

private:
    struct Change {
        std::size_t at;       // in folded
        unsigned char length; // of the folded character
        unsigned char size;   // of the written one
        char written[4];
    };
    std::string_view m_folded;
    std::vector<Change> m_changes;                             // by place
    std::vector<std::pair<std::size_t, std::size_t>> m_merged; // the pieces asked for, merged
};

} // namespace morvessa
