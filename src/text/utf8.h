#pragma once
// UTF-8, the one codec of the program's text: the table's columns, the like patterns
// and the statements are UTF-8 throughout.
#include <cstddef>
#include <string>
#include <string_view>

namespace morvessa {

// A byte that starts no well-formed character counts as one character of its own, with
// code kInvalidUtf8 + byte; encoding such a code gives the byte back.
constexpr char32_t kInvalidUtf8 = 0x200000;
constexpr char32_t kMaxCodePoint = 0x10FFFF;

// Decodes one character at text[pos] (pos inside text); returns its length in bytes (at least 1).
int decodeUtf8(std::string_view text, std::size_t pos, char32_t &c);

// The position of the character that ends at pos (pos > 0).
std::size_t previousUtf8(std::string_view text, std::size_t pos);

// Writes c at out (room for 4 bytes) and returns the number of bytes written.
inline int encodeUtf8(char32_t c, unsigned char *out)
{
    if (c >= kInvalidUtf8) {
        out[0] = static_cast<unsigned char>(c - kInvalidUtf8);
        return 1;
    }
    if (c < 0x80) {
        out[0] = static_cast<unsigned char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
        out[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
        out[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
    out[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 4;
}

void appendUtf8(std::string &out, char32_t c);

// True when every byte of text belongs to a well-formed character.
bool wellFormedUtf8(std::string_view text);

// How many bytes of [p, p + n) begin a character: the characters of well-formed UTF-8.
std::size_t countCharacterStarts(const char *p, std::size_t n);

// True when text holds at least k characters.
bool atLeastUtf8Chars(std::string_view text, std::size_t k);

} // namespace morvessa
