#include "engine/foldedcolumn.h"

#include "text/textfold.h"

namespace morvessa {

FoldedColumn::FoldedColumn(TextColumn column, bool alreadyFolded)
{
    if (alreadyFolded) {
        m_view = column;
        return;
    }
    m_copy.bytes.reserve(column.bytes.size() + column.bytes.size() / 16);
    m_copy.ends.reserve(column.size());
    m_copy.isNull.reserve(column.size());
    for (std::size_t r = 0; r < column.size(); ++r) {
        if (!column.null(r))
            appendFolded(m_copy.bytes, column.at(r));
        m_copy.endValue(column.null(r));
    }
    m_view = m_copy.view();
}

} // namespace morvessa
