#include "store/columncursor.h"

#include "store/chunkcheck.h"

#include <algorithm>

namespace morvessa {

std::string_view ColumnCursor::at(std::size_t row)
{
    if (row >= m_column.size())
        return {};
    const std::uint64_t begin = row == 0 ? 0 : m_column.ends[row - 1], end = m_column.ends[row];
    if (begin > end || end > m_column.bytes.size())
        return {};
    if (!m_column.check || begin == end)
        return m_column.bytes.substr(std::size_t(begin), std::size_t(end - begin));
    if (begin < m_from || end > m_from + m_buffer.size()) {
        // The whole chunks of the file that hold the row: the rows that follow mostly lie
        // there, and a chunk read whole is checked on the spot (store/chunkcheck.h) rather
        // than read again when the search settles.
        const char *at = m_column.bytes.data() + begin;
        const std::uint64_t chunkStart = kChunkBytes - m_column.check->toChunkEnd(at);
        m_from = begin - std::min(begin, chunkStart);
        const std::uint64_t to = std::max(end, begin + m_column.check->toChunkEnd(at));
        m_buffer.resize(std::size_t(std::min<std::uint64_t>(m_column.bytes.size(), to) - m_from));
        if (!m_column.check->read(m_column.bytes.data() + m_from, m_buffer.size(), m_buffer.data())) {
            m_buffer.clear();
            return {}; // the file failed its checks: nothing found in it is used
        }
    }
    return std::string_view(m_buffer).substr(std::size_t(begin - m_from), std::size_t(end - begin));
}

} // namespace morvessa
