#pragma once
// Larger collections made from a Jet 4 collection (the poem corpus) page by page, for
// measuring how the store's cost grows: its table's pages repeated with varied text, or
// its records given long contents. The result reads with libmdb and mdb-export like the
// original; it is meant for measuring, not as a model of a Jet writer.
#include <cstdint>
#include <string>

namespace bench {

// The table maindata of source repeated `copies` times over (copy 0 is the original),
// each copy's texts varied in a few characters. Throws std::runtime_error.
void writeRepeated(const std::string &source, const std::string &target, int copies);

// The first `records` records of source, each with a content of minBytes..maxBytes of
// stored text (made from the corpus's own poems) in a chain of long-value pages, the pages
// spread over the file in a random order as a Jet writer leaves them.
void writeLongRecords(const std::string &source, const std::string &target, std::uint32_t records,
                      std::uint32_t minBytes, std::uint32_t maxBytes);

} // namespace bench
