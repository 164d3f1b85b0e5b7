#pragma once
// Rows of a text column read in ascending order, a stretch of a kept file at a time: rows
// found close together cost one read instead of one each (each read of a kept file is a
// call into the system, several times the cost of copying a short row).
#include "store/storetable.h"

#include <string>
#include <string_view>

namespace morvessa {

class ColumnCursor {
public:
    explicit ColumnCursor(const TextColumn &column) : m_column(column) {}

    // Row's bytes, valid until the next call; rows asked for go up, never down. Ends that
    // say nothing sensible (a kept file not yet checked) give nothing.
    std::string_view at(std::size_t row);

private:
    const TextColumn &m_column;
    std::string m_buffer; // bytes [m_from, m_from + size) of the column
    std::uint64_t m_from = 0;
};

} // namespace morvessa
