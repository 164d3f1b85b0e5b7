#pragma once
// Text as a Jet database stores it, decoded to UTF-8.
#include <cstddef>
#include <string>
#include <string_view>

namespace morvessa {

// Jet 4 stored text (UTF-16LE, or the compressed form that starts with FF FE) appended
// to out as UTF-8. Surrogate pairs become one character; a lone surrogate becomes U+FFFD.
void appendJet4Text(const unsigned char *src, std::size_t len, std::string &out);

std::string jet4TextToUtf8(std::string_view stored);

} // namespace morvessa
